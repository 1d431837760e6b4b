#include "platform/WaylandActivation.h"

#include "log/DebugLog.h"
#include "platform/DisplayPlatform.h"

#include "xdg-activation-v1-client-protocol.h"

#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

#include <cstring>

namespace {

QString &keptToken()
{
    static QString token;
    return token;
}

// Binds the activation interface on a queue of its own, so that Qt's queue is left alone.
bool sendActivation(QWindow &window, const QString &token)
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    auto *display = native ? static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display")) : nullptr;
    auto *surface = native ? static_cast<wl_surface *>(native->nativeResourceForWindow("surface", &window)) : nullptr;
    if (!display || !surface)
        return false;
    wl_event_queue *queue = wl_display_create_queue(display);
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), queue);
    wl_registry *registry = wl_display_get_registry(wrapper);
    xdg_activation_v1 *activation = nullptr;
    static const wl_registry_listener listener = {
        [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
            if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
                *static_cast<xdg_activation_v1 **>(data) =
                    static_cast<xdg_activation_v1 *>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
        },
        [](void *, wl_registry *, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &activation);
    wl_display_roundtrip_queue(display, queue);
    if (activation) {
        xdg_activation_v1_activate(activation, token.toUtf8().constData(), surface);
        xdg_activation_v1_destroy(activation);
        wl_display_flush(display);
    }
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(wrapper);
    wl_event_queue_destroy(queue);
    return activation != nullptr;
}

// Activates once the window is on screen: a desktop activates only a window it shows, and shows it once
// its first frame is in, which is drawn right after the expose event.
class WhenExposed : public QObject {
public:
    WhenExposed(QWindow &window, QString token)
        : QObject(&window)
        , token_(std::move(token))
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = static_cast<QWindow *>(watched);
        if (event->type() == QEvent::Expose && window->isExposed()) {
            window->removeEventFilter(this);
            QTimer::singleShot(0, this, [this, window] {
                const bool sent = sendActivation(*window, token_);
                DebugLog::log(QStringLiteral("App"),
                              sent ? QStringLiteral("Activated a window with the desktop's token")
                                   : QStringLiteral("The desktop's activation token went unused"));
                deleteLater();
            });
        }
        return false;
    }

private:
    QString token_;
};

} // namespace

void WaylandActivation::offerToken(const QString &token)
{
    if (!token.isEmpty())
        keptToken() = token;
}

void WaylandActivation::activate(QWindow &window)
{
    if (!DisplayPlatform::isWayland() || keptToken().isEmpty())
        return;
    const QString token = std::exchange(keptToken(), {});
    if (window.isExposed())
        sendActivation(window, token);
    else
        new WhenExposed(window, token);
}

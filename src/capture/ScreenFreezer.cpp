#include "capture/ScreenFreezer.h"

#include "capture/ScreenGrabber.h"
#include "platform/DisplayPlatform.h"
#include "session/WindowLayer.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

// An icon docked in an XEmbed tray is a top-level widget of ours, but it lives inside the tray host's
// panel: it belongs in a picture of the desktop, and hiding it would make it flicker or be docked anew.
bool isTrayIcon(const QWidget *widget)
{
    return widget->inherits("QSystemTrayIconSys");
}

// This application's windows taken off the screen for a grab; they come back exactly once.
class HiddenWindows {
public:
    // Hides every visible top-level window but a docked tray icon. Windows come back; tool tips, menus
    // and hints that take no input (the quick-draw hint, which is on its way out when a drawing starts)
    // close for good.
    HiddenWindows()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible() || isTrayIcon(widget))
                continue;
            const bool transient = widget->windowType() == Qt::ToolTip || widget->windowType() == Qt::Popup ||
                                   widget->windowFlags().testFlag(Qt::WindowTransparentForInput);
            if (!transient)
                windows_.append({widget, widget->pos()});
            widget->hide();
            anyHidden_ = true;
        }
    }

    bool anyHidden() const { return anyHidden_; }

    // Where they were: a window manager places a window mapped anew that has no position of its own.
    // `which` picks the windows to show; the others wait for a later call.
    void showAgain(const std::function<bool(const QWidget &)> &which = {})
    {
        for (auto it = windows_.begin(); it != windows_.end();) {
            QWidget *window = it->window;
            if (window && which && !which(*window)) {
                ++it;
                continue;
            }
            const QPoint position = it->position;
            it = windows_.erase(it);
            if (!window)
                continue;
            window->move(position);
            window->setProperty(ScreenFreezer::puttingBackProperty, true);
            window->show();
            window->setProperty(ScreenFreezer::puttingBackProperty, QVariant());
        }
    }

private:
    struct Hidden {
        QPointer<QWidget> window;
        QPoint position;
    };
    QList<Hidden> windows_;
    bool anyHidden_ = false;
};

// An X11 window manager places anew a window mapped while a full-screen one is up, so there the windows
// come back before the overlay does, and the window order is set after. A Wayland compositor stacks and
// focuses what maps last, so there only the session's own windows (the panel of another capture) come
// back after it; a window opened before the session comes back under it, without taking the keyboard.
void putUp(HiddenWindows &hidden, const std::function<void()> &overlay)
{
    if (DisplayPlatform::isWayland())
        hidden.showAgain([](const QWidget &window) { return !window.property(windowLayerProperty).isValid(); });
    else
        hidden.showAgain();
    overlay();
    hidden.showAgain();
}

} // namespace

std::shared_ptr<const FrozenFrame> ScreenFreezer::adopt(FrozenFrame frame)
{
    auto shared = std::make_shared<const FrozenFrame>(std::move(frame));
    current_ = shared;
    return shared;
}

void ScreenFreezer::freeze(QObject *context, std::function<void(std::shared_ptr<const FrozenFrame>)> frozen)
{
    auto hidden = std::make_shared<HiddenWindows>();
    // A desktop that has to be asked answers when it likes, maybe after asking the user; our windows stay
    // hidden until then.
    auto take = [this, context, hidden, frozen = std::move(frozen)] {
        grabber_.take(context, [this, hidden, frozen](FrozenFrame frame) {
            std::shared_ptr<const FrozenFrame> adopted = adopt(std::move(frame));
            putUp(*hidden, [&] { frozen(std::move(adopted)); });
        });
    };
    if (!hidden->anyHidden()) {
        take();
        return;
    }
    QTimer::singleShot(settleDelayMs, context, std::move(take));
    // Should the context go away while waiting, the windows still come back.
    QObject::connect(context, &QObject::destroyed, qApp, [hidden] { hidden->showAgain(); });
}

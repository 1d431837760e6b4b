#include "app/AppSessionWindows.h"

#include "app/IdleMemory.h"
#include "capture/DesktopWindows.h"
#include "drawing/OverlayWindow.h"
#include "drawing/OverlayWindowController.h"
#include "log/DebugLog.h"
#include "panel/QueryPanelContentView.h"
#include "panel/QueryPanelController.h"
#include "panel/WindowPlacement.h"
#include "platform/DisplayPlatform.h"
#include "session/AnnotationSession.h"

#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

AppSessionWindows::AppSessionWindows(ScreenFreezer &freezer, PanelServices panelServices,
                                     std::function<void()> openSettings)
    : overlayWindows_(freezer)
    , panelServices_(panelServices)
    , openSettings_(std::move(openSettings))
    , placement_(PlatformBackends::panelPlacement())
{
    // A while after start-up, which it would otherwise hold up, and well before anyone draws, so that the
    // first drawing finds its windows ready.
    QTimer::singleShot(prepareDelayMs, &overlayWindows_, &OverlayWindows::prepare);
    QObject::connect(&overlayWindows_, &OverlayWindows::buffersReleased, &IdleMemory::giveBack);
}

std::unique_ptr<Overlay> AppSessionWindows::createOverlay(AnnotationSession &session, bool showToolbar)
{
    auto overlay = std::make_unique<OverlayWindowController>(session, showToolbar, overlayWindows_);
    for (OverlayWindow *window : overlay->windows())
        window->setProperty(windowLayerProperty, int(WindowLayer::Overlay));
    return overlay;
}

OverlayWindow *AppSessionWindows::overlayShowing(const QRect &screenFrame)
{
    for (OverlayWindow *overlay : overlayWindows_.windows()) {
        if (overlay->geometry() == screenFrame)
            return overlay;
    }
    return nullptr;
}

// A Wayland client cannot place its windows, and the compositor keeps a window that belongs to nobody
// behind a full-screen one: as a child of the overlay on the locked output, the panel shows above it there.
void AppSessionWindows::attachToOverlay(QWidget &panel, OverlayWindow &overlay)
{
    panel.winId();
    overlay.winId();
    panel.windowHandle()->setTransientParent(overlay.windowHandle());
}

// Where nothing places the panel's window (GNOME puts a new window at the top left of the output under the
// pointer, over what the user just circled), the panel is part of the overlay of the output drawn on while the
// overlay shows the stroke: in its place at the bottom, typed into through the keyboard focus the overlay
// holds. Once the overlay goes (the question is sent), the panel goes on as a window of its own, which the
// compositor places.
void AppSessionWindows::embedInOverlay(QueryPanelController &controller, OverlayWindow &overlay,
                                       AnnotationSession &session)
{
    QWidget &panel = *controller.window();
    const Qt::WindowFlags flags = panel.windowFlags();
    const QPoint offset = overlay.geometry().topLeft();
    panel.setParent(&overlay);
    panel.move(panel.pos() - offset);
    // At once, while the overlay still has the keyboard to hand on; only for a question on its way (a
    // cancelled session takes the panel with it).
    QObject::connect(&overlay, &OverlayWindow::hidden, &controller, [&controller, &session, flags, offset] {
        QWidget *window = controller.window();
        if (!window || !window->parentWidget() || session.state() != SessionState::Streaming)
            return;
        window->setParent(nullptr, flags);
        window->move(window->pos() + offset);
        DebugLog::log(QStringLiteral("QueryPanel"),
                      QStringLiteral("Panel placement=compositor once the overlay has gone"));
        controller.bringToFront();
    });
}

std::unique_ptr<QueryPanel> AppSessionWindows::createQueryPanel(AnnotationSession &session,
                                                                const std::optional<ScreenInfo> &screen)
{
    auto panel = std::make_unique<QueryPanelController>(session, screen, panelServices_, openSettings_);
    panel->window()->setProperty(windowLayerProperty, int(WindowLayer::Panel));
    panel->setCornersMasked(!DesktopWindows::compositorRuns());
    OverlayWindow *overlay = screen && DisplayPlatform::isWayland() ? overlayShowing(screen->frame) : nullptr;
    if (overlay && placement_)
        attachToOverlay(*panel->window(), *overlay);
    else if (overlay)
        embedInOverlay(*panel, *overlay, session);
    if (placement_)
        panel->setPlacement(placement_(*panel->window()));
    // The compositor gives the keyboard to the overlay it was pressed on; outside a drawing the panel takes
    // it back (a window's own activation goes unheard on Wayland).
    if (placement_) {
        QObject::connect(qApp, &QGuiApplication::focusWindowChanged, panel.get(),
                         [this, controller = panel.get(), &session](QWindow *focused) {
                             if (session.state() == SessionState::Drawing || !controller->window()->isVisible())
                                 return;
                             for (OverlayWindow *overlay : overlayWindows_.windows()) {
                                 if (focused && overlay->windowHandle() == focused)
                                     controller->bringToFront();
                             }
                         });
    }
    return panel;
}

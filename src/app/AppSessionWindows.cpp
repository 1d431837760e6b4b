#include "app/AppSessionWindows.h"

#include "app/IdleMemory.h"
#include "capture/DesktopWindows.h"
#include "capture/DisplayPlatform.h"
#include "drawing/OverlayWindow.h"
#include "drawing/OverlayWindowController.h"
#include "log/DebugLog.h"
#include "panel/QueryPanelContentView.h"
#include "panel/QueryPanelController.h"
#include "panel/SwayWindowPlacement.h"

#include <QTimer>
#include <QWindow>

AppSessionWindows::AppSessionWindows(ScreenFreezer &freezer, PanelServices panelServices,
                                     std::function<void()> openSettings)
    : overlayWindows_(freezer)
    , panelServices_(panelServices)
    , openSettings_(std::move(openSettings))
    , swaySocket_(SwayWindowPlacement::socketPath())
{
    const bool wayland = DisplayPlatform::isWayland();
    DebugLog::log(QStringLiteral("App"), !wayland                ? QStringLiteral("Panel placement=window-manager")
                                         : swaySocket_.isEmpty() ? QStringLiteral("Panel placement=compositor-centred")
                                                                 : QStringLiteral("Panel placement=sway-ipc"));
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

// A Wayland client cannot place its windows, and the compositor keeps a window that belongs to nobody
// behind a full-screen one: as a child of the overlay on the locked output, the panel shows above it there.
void AppSessionWindows::attachToOverlay(QWidget &panel, const QRect &screenFrame)
{
    for (OverlayWindow *overlay : overlayWindows_.windows()) {
        if (overlay->geometry() != screenFrame)
            continue;
        panel.winId();
        overlay->winId();
        panel.windowHandle()->setTransientParent(overlay->windowHandle());
        return;
    }
}

std::unique_ptr<QueryPanel> AppSessionWindows::createQueryPanel(AnnotationSession &session,
                                                                const std::optional<ScreenInfo> &screen)
{
    auto panel = std::make_unique<QueryPanelController>(session, screen, panelServices_, openSettings_);
    panel->window()->setProperty(windowLayerProperty, int(WindowLayer::Panel));
    panel->setCornersMasked(!DesktopWindows::compositorRuns());
    if (screen && DisplayPlatform::isWayland())
        attachToOverlay(*panel->window(), screen->frame);
    if (!swaySocket_.isEmpty())
        panel->setPlacement(std::make_unique<SwayWindowPlacement>(*panel->window(), swaySocket_));
    return panel;
}

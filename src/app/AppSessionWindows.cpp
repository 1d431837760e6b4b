#include "app/AppSessionWindows.h"

#include "drawing/OverlayWindowController.h"
#include "panel/QueryPanelContentView.h"
#include "panel/QueryPanelController.h"

#include <QTimer>

AppSessionWindows::AppSessionWindows(ScreenFreezer &freezer, std::function<void()> openSettings)
    : overlayWindows_(freezer)
    , openSettings_(std::move(openSettings))
{
    // Once the application is up, so that the first drawing finds its windows made.
    QTimer::singleShot(0, &overlayWindows_, &OverlayWindows::prepare);
}

std::unique_ptr<Overlay> AppSessionWindows::createOverlay(AnnotationSession &session, bool showToolbar)
{
    return std::make_unique<OverlayWindowController>(session, showToolbar, overlayWindows_);
}

std::unique_ptr<QueryPanel> AppSessionWindows::createQueryPanel(AnnotationSession &session,
                                                                const std::optional<ScreenInfo> &screen)
{
    return std::make_unique<QueryPanelController>(session, screen, openSettings_);
}

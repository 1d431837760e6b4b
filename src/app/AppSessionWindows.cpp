#include "app/AppSessionWindows.h"

#include "drawing/OverlayWindowController.h"
#include "panel/QueryPanelContentView.h"
#include "panel/QueryPanelController.h"

AppSessionWindows::AppSessionWindows(ScreenFreezer &freezer, std::function<void()> openSettings)
    : freezer_(freezer)
    , openSettings_(std::move(openSettings))
{
}

std::unique_ptr<Overlay> AppSessionWindows::createOverlay(AnnotationSession &session, bool showToolbar)
{
    return std::make_unique<OverlayWindowController>(session, showToolbar, freezer_);
}

std::unique_ptr<QueryPanel> AppSessionWindows::createQueryPanel(AnnotationSession &session,
                                                                const std::optional<ScreenInfo> &screen)
{
    return std::make_unique<QueryPanelController>(session, screen, openSettings_);
}

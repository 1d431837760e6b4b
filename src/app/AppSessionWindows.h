#pragma once

#include "app/WindowStacking.h"
#include "drawing/OverlayWindows.h"
#include "panel/PanelServices.h"
#include "platform/PlatformBackends.h"
#include "session/SessionWindows.h"

#include <functional>

class OverlayWindow;
class QueryPanelController;
class ScreenFreezer;

// The real windows of a session, the freeze-frame overlay and the query panel, kept in their order.
class AppSessionWindows : public SessionWindows {
public:
    // `openSettings` runs when the panel needs the settings window (no API key stored yet).
    AppSessionWindows(ScreenFreezer &freezer, PanelServices panelServices, std::function<void()> openSettings);

    std::unique_ptr<Overlay> createOverlay(AnnotationSession &session, bool showToolbar) override;
    std::unique_ptr<QueryPanel> createQueryPanel(AnnotationSession &session,
                                                 const std::optional<ScreenInfo> &screen) override;

private:
    static constexpr int prepareDelayMs = 1000;

    OverlayWindow *overlayShowing(const QRect &screenFrame);
    static void attachToOverlay(QWidget &panel, OverlayWindow &overlay);
    static void embedInOverlay(QueryPanelController &controller, OverlayWindow &overlay, AnnotationSession &session);

    OverlayWindows overlayWindows_;
    WindowStacking stacking_;
    PanelServices panelServices_;
    std::function<void()> openSettings_;
    PlatformBackends::PanelPlacement placement_;
};

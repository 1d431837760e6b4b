#pragma once

#include "session/Overlay.h"
#include "session/QueryPanel.h"
#include "session/ScreenCatalog.h"

#include <memory>

class AnnotationSession;

// Builds the windows of one session.
class SessionWindows {
public:
    virtual ~SessionWindows() = default;
    virtual std::unique_ptr<Overlay> createOverlay(AnnotationSession &session, bool showToolbar) = 0;
    virtual std::unique_ptr<QueryPanel> createQueryPanel(AnnotationSession &session,
                                                         const std::optional<ScreenInfo> &screen) = 0;
};

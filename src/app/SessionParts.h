#pragma once

#include "app/AppSessionWindows.h"
#include "capture/ScreenCaptureService.h"
#include "capture/ScreenFreezer.h"
#include "capture/SystemScreenCatalog.h"
#include "platform/PlatformBackends.h"
#include "providers/ModelCatalog.h"
#include "providers/StandardProviderFactory.h"
#include "session/AnnotationSession.h"
#include "voice/StandardTranscriptionFactory.h"

#include <functional>
#include <memory>

// The real neighbours of the annotation session, owned for the whole run. The one place where the
// session is connected to the windows, capture, screens, focus handling, providers and transcription.
class SessionParts {
public:
    explicit SessionParts(std::function<void()> openSettings);

    SessionNeighbours neighbours();

private:
    ScreenFreezer freezer_{PlatformBackends::screenGrabber()};
    ScreenCaptureService capturer_{freezer_};
    SystemScreenCatalog screens_;
    ModelCatalog models_;
    StandardTranscriptionFactory transcription_;
    AppSessionWindows windows_;
    StandardProviderFactory providers_;
    // None where the platform offers no way back.
    std::unique_ptr<FocusTracker> focus_ = PlatformBackends::focusTracker();
};

#pragma once

#include "providers/StandardProviderFactory.h"
#include "session/AnnotationSession.h"

// The real neighbours of the annotation session, owned for the whole run. The one place where the
// session is connected to the windows, capture, screens, focus handling and providers.
class SessionParts {
public:
    SessionNeighbours neighbours();

private:
    StandardProviderFactory providers_;
};

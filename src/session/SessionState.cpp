#include "session/SessionState.h"

QString caseName(SessionState state)
{
    switch (state) {
    case SessionState::Idle:
        return QStringLiteral("idle");
    case SessionState::Drawing:
        return QStringLiteral("drawing");
    case SessionState::Querying:
        return QStringLiteral("querying");
    case SessionState::Streaming:
        return QStringLiteral("streaming");
    }
    return {};
}

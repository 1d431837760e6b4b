#include "app/SessionParts.h"

#include "voice/RecordingDirectory.h"

SessionParts::SessionParts(std::function<void()> openSettings)
    : windows_(freezer_, std::move(openSettings))
{
    // Recordings are deleted as soon as they are read; these are from a run that was killed.
    RecordingDirectory::removeLeftovers();
}

SessionNeighbours SessionParts::neighbours()
{
    return SessionNeighbours{&windows_, &capturer_, &screens_, nullptr, &providers_};
}

#include "app/SessionParts.h"

#include "capture/ScreenGrabber.h"
#include "log/DebugLog.h"
#include "voice/RecordingDirectory.h"

SessionParts::SessionParts(std::function<void()> openSettings)
    : windows_(freezer_, PanelServices{models_, &transcription_}, std::move(openSettings))
{
    // Recordings are deleted as soon as they are read; these are from a run that was killed.
    RecordingDirectory::removeLeftovers();
    DebugLog::log(QStringLiteral("Capture"), u"Screen capture method=" + freezer_.grabber().method());
}

SessionNeighbours SessionParts::neighbours()
{
    return SessionNeighbours{&windows_, &capturer_, &screens_, focus_.get(), &providers_};
}

#include "app/SessionParts.h"

#include "log/DebugLog.h"
#include "session/X11FocusTracker.h"
#include "voice/RecordingDirectory.h"

#include <QGuiApplication>

SessionParts::SessionParts(std::function<void()> openSettings)
    : windows_(freezer_, PanelServices{models_, &transcription_}, std::move(openSettings))
{
    // Recordings are deleted as soon as they are read; these are from a run that was killed.
    RecordingDirectory::removeLeftovers();
    DebugLog::log(QStringLiteral("Capture"), u"Screen capture method=" + FrozenFrame::grabMethod());
    // On Wayland the compositor hands the focus back itself.
    if (QGuiApplication::platformName() == u"xcb")
        focus_ = std::make_unique<X11FocusTracker>();
}

SessionNeighbours SessionParts::neighbours()
{
    return SessionNeighbours{&windows_, &capturer_, &screens_, focus_.get(), &providers_};
}

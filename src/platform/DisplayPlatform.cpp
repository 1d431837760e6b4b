#include "platform/DisplayPlatform.h"

#include "log/DebugLog.h"

#include <QGuiApplication>

#include <X11/Xlib.h>

#include <algorithm>

namespace {
QString &chosenReason()
{
    static QString reason;
    return reason;
}

// Qt tries the platforms of the list in turn; only Wayland's never touches Xlib.
bool mayUseXlib(const QByteArray &qtPlatforms)
{
    const QList<QByteArray> platforms = qtPlatforms.split(';');
    return !std::all_of(platforms.begin(), platforms.end(),
                        [](const QByteArray &platform) { return platform.startsWith("wayland"); });
}
} // namespace

DisplayPlatform::Choice DisplayPlatform::decide(const Environment &environment)
{
    if (environment.forced == "x11")
        return {"xcb", QStringLiteral("GLINT_PLATFORM")};
    if (environment.forced == "wayland")
        return {"wayland", QStringLiteral("GLINT_PLATFORM"), false};
    if (!environment.qtPlatform.isEmpty())
        return {{}, QStringLiteral("QT_QPA_PLATFORM"), mayUseXlib(environment.qtPlatform)};
    if (!environment.waylandDisplay.isEmpty())
        // XWayland, when the Wayland plugin cannot start, still gives a working tray and settings.
        return {"wayland;xcb", QStringLiteral("WAYLAND_DISPLAY")};
    return {{}, QStringLiteral("default")};
}

void DisplayPlatform::choose()
{
    const Choice choice = decide({qgetenv("GLINT_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("QT_QPA_PLATFORM")});
    if (!choice.qtPlatform.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice.qtPlatform);
    chosenReason() = choice.reason;
    // The X11 hotkey monitor talks to the server from a thread of its own.
    if (choice.mayUseXlib)
        XInitThreads();
}

void DisplayPlatform::logChoice()
{
    const QString name = isWayland() ? QStringLiteral("wayland")
                         : isX11()   ? QStringLiteral("x11")
                                     : QGuiApplication::platformName();
    DebugLog::log(QStringLiteral("App"), u"Display platform=" + name + u" chosenBy=" +
                                             (chosenReason().isEmpty() ? QStringLiteral("default") : chosenReason()));
}

bool DisplayPlatform::isWayland()
{
    return QGuiApplication::platformName() == u"wayland";
}

bool DisplayPlatform::isX11()
{
    return QGuiApplication::platformName() == u"xcb";
}

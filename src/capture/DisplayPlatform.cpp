#include "capture/DisplayPlatform.h"

#include "log/DebugLog.h"

#include <QGuiApplication>

namespace {
QString &chosenReason()
{
    static QString reason;
    return reason;
}
} // namespace

DisplayPlatform::Choice DisplayPlatform::decide(const Environment &environment)
{
    if (environment.forced == "x11")
        return {"xcb", QStringLiteral("GLINT_PLATFORM")};
    if (environment.forced == "wayland")
        return {"wayland", QStringLiteral("GLINT_PLATFORM")};
    if (!environment.qtPlatform.isEmpty())
        return {{}, QStringLiteral("QT_QPA_PLATFORM")};
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
}

void DisplayPlatform::logChoice()
{
    const QString name = isWayland()                                 ? QStringLiteral("wayland")
                         : QGuiApplication::platformName() == u"xcb" ? QStringLiteral("x11")
                                                                     : QGuiApplication::platformName();
    DebugLog::log(QStringLiteral("App"), u"Display platform=" + name + u" chosenBy=" +
                                             (chosenReason().isEmpty() ? QStringLiteral("default") : chosenReason()));
}

bool DisplayPlatform::isWayland()
{
    return QGuiApplication::platformName() == u"wayland";
}

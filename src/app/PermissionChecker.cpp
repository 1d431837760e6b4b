#include "app/PermissionChecker.h"

#include "capture/FrozenFrame.h"
#include "input/X11InputEventSource.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

namespace {
bool onX11()
{
    return QGuiApplication::platformName() == u"xcb";
}

bool onWayland()
{
    return QGuiApplication::platformName() == u"wayland";
}

struct SettingsCommand {
    QString program;
    QStringList arguments;
};

QList<SettingsCommand> settingsCommands(MissingPermission permission)
{
    // A missing microphone is hardware, not a setting: there is nothing to open for it.
    if (permission == MissingPermission::Microphone)
        return {};
    // Global input and screen capture depend on the kind of session, chosen at login; the desktop's
    // privacy settings are the nearest place that explains it.
    return {{QStringLiteral("gnome-control-center"), {QStringLiteral("privacy")}},
            {QStringLiteral("systemsettings"), {}}};
}
} // namespace

QList<MissingPermission> PermissionChecker::checkRequired() const
{
    QList<MissingPermission> missing;
    if (!hasGlobalInput())
        missing << MissingPermission::Accessibility;
    if (!canCaptureScreen())
        missing << MissingPermission::ScreenRecording;
    return missing;
}

QList<MissingPermission> PermissionChecker::checkAll() const
{
    QList<MissingPermission> missing = checkRequired();
    if (!hasMicrophone())
        missing << MissingPermission::Microphone;
    return missing;
}

bool PermissionChecker::isGranted(MissingPermission permission) const
{
    switch (permission) {
    case MissingPermission::Accessibility:
        return hasGlobalInput();
    case MissingPermission::ScreenRecording:
        return canCaptureScreen();
    case MissingPermission::Microphone:
        return hasMicrophone();
    }
    return false;
}

bool PermissionChecker::openSettings(MissingPermission permission) const
{
    for (const SettingsCommand &command : settingsCommands(permission)) {
        const QString program = QStandardPaths::findExecutable(command.program);
        if (!program.isEmpty() && QProcess::startDetached(program, command.arguments))
            return true;
    }
    return false;
}

// On Wayland the desktop's own shortcut settings always reach Glint through `glint annotate`.
bool PermissionChecker::hasGlobalInput() const
{
    return onWayland() || (onX11() && X11InputEventSource::isAvailable());
}

bool PermissionChecker::canCaptureScreen() const
{
    return (onX11() || (onWayland() && FrozenFrame::grabMethod() != u"qt")) && QGuiApplication::primaryScreen();
}

bool PermissionChecker::hasMicrophone() const
{
    return microphone_.hasMicrophone();
}

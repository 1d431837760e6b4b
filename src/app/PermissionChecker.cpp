#include "app/PermissionChecker.h"

#include "input/X11InputEventSource.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

namespace {
bool onX11()
{
    return QGuiApplication::platformName() == u"xcb";
}

struct SettingsCommand {
    QString program;
    QStringList arguments;
};

QList<SettingsCommand> settingsCommands(MissingPermission permission)
{
    if (permission == MissingPermission::Microphone)
        return {{QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}},
                {QStringLiteral("systemsettings"), {QStringLiteral("kcm_pulseaudio")}},
                {QStringLiteral("pavucontrol"), {QStringLiteral("--tab=4")}}};
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

bool PermissionChecker::hasGlobalInput() const
{
    return onX11() && X11InputEventSource::isAvailable();
}

bool PermissionChecker::canCaptureScreen() const
{
    return onX11() && QGuiApplication::primaryScreen() != nullptr;
}

bool PermissionChecker::hasMicrophone() const
{
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        return true;
    const QDir runtime(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    return !runtime.path().isEmpty() && (QFileInfo::exists(runtime.filePath(QStringLiteral("pulse/native"))) ||
                                         QFileInfo::exists(runtime.filePath(QStringLiteral("pipewire-0"))));
}

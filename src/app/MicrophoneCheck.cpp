#include "app/MicrophoneCheck.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

namespace {
const std::pair<QString, QStringList> soundSettings[] = {
    {QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}},
    {QStringLiteral("systemsettings"), {QStringLiteral("kcm_pulseaudio")}},
    {QStringLiteral("pavucontrol"), {QStringLiteral("--tab=4")}}, // its input devices
};

QString soundSettingsProgram(QStringList *arguments = nullptr)
{
    for (const auto &[program, programArguments] : soundSettings) {
        const QString path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            continue;
        if (arguments)
            *arguments = programArguments;
        return path;
    }
    return {};
}
} // namespace

PermissionStatus MicrophoneCheck::status() const
{
    if (probe_.hasMicrophone())
        return {true, false, {}, {}};
    return {false, false,
            QCoreApplication::translate("PermissionCheck", "No microphone found. Connect one, or choose an input "
                                                           "in your sound settings."),
            soundSettingsProgram().isEmpty() ? QString()
                                             : QCoreApplication::translate("PermissionCheck", "Sound Settings...")};
}

void MicrophoneCheck::act() const
{
    QStringList arguments;
    const QString program = soundSettingsProgram(&arguments);
    if (!program.isEmpty())
        QProcess::startDetached(program, arguments);
}

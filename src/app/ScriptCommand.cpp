#include "app/ScriptCommand.h"

#include "log/DebugLog.h"
#include "settings/SettingsManager.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

int ScriptCommand::main(int &argc, char **argv, const Run &run)
{
    QCoreApplication application(argc, argv);
    // The tray application owns its log file; a command from a script never touches it.
    DebugLog::setFilePath(QString());
    DebugLog::setEcho(QCoreApplication::arguments().contains(u"--verbose"_qs) ? stderr : nullptr);

    QFile input, output, errors;
    // On the descriptor, not the FILE: Qt reads a FILE by switching it to non-blocking, and a pipe
    // whose writer is slower than us then ends early. A descriptor is read until the end of input.
    input.open(STDIN_FILENO, QIODevice::ReadOnly | QIODevice::Unbuffered);
    output.open(stdout, QIODevice::WriteOnly);
    errors.open(stderr, QIODevice::WriteOnly);
    SettingsManager settings;
    return run(QCoreApplication::arguments(), settings, input, output, errors);
}

void ScriptCommand::write(QIODevice &device, const QString &text)
{
    device.write(text.toUtf8());
    if (auto *file = qobject_cast<QFile *>(&device))
        file->flush(); // each fragment shows as it arrives
}

std::optional<bool> ScriptCommand::parse(QCommandLineParser &parser, const QStringList &arguments, QIODevice &output)
{
    parser.addOption({u"verbose"_qs, u"Write the debug log to standard error."_qs});
    const QCommandLineOption help = parser.addHelpOption();
    QStringList commandLine = arguments;
    if (commandLine.size() > 1)
        commandLine.removeAt(1); // the command's name
    const bool parsed = parser.parse(commandLine);
    if (parsed && parser.isSet(help)) {
        write(output, parser.helpText());
        return std::nullopt;
    }
    return parsed;
}

int ScriptCommand::usageError(const QCommandLineParser &parser, const QStringList &arguments, const QString &problem,
                              QIODevice &errors)
{
    write(errors, u"glint " + arguments.value(1) + u": " + problem + u"\n\n" + parser.helpText());
    return 2;
}

std::variant<QByteArray, QString> ScriptCommand::read(const QString &source, QIODevice &input, qint64 limit)
{
    QFile file(source);
    QIODevice &device = source == u"-" ? input : file;
    if (source != u"-" && !file.open(QIODevice::ReadOnly))
        return u"Cannot open " + source + u": " + file.errorString();
    return limit < 0 ? device.readAll() : device.read(limit + 1);
}

QString ScriptCommand::sourceName(const QString &source)
{
    return source == u"-" ? QStringLiteral("standard input") : source;
}

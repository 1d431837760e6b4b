#include "app/AppDelegate.h"
#include "app/AskCommand.h"
#include "app/CommandLine.h"
#include "app/InstanceChannel.h"
#include "app/InstanceHandOver.h"
#include "app/TerminationSignalHandler.h"
#include "app/TranscribeCommand.h"
#include "log/DebugLog.h"
#include "platform/DisplayPlatform.h"
#include "platform/WaylandActivation.h"

#include <QApplication>

#include <cstdio>

#include <malloc.h>

namespace {
// The tray application: `annotate` starts an annotation in the running instance, starting one first
// if there is none; plain `glint` opens the running instance's settings window.
int runTrayApplication(int argc, char *argv[], InstanceChannel::Command command)
{
    // Screen-sized images (captures and their encodings) are mapped for their own and unmapped when
    // freed. Left to itself the allocator raises this threshold once such an image is freed, and the
    // next ones stay in the arena of the worker thread that made them after use, for good.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    DisplayPlatform::choose();
    QString socketError;
    const QString socketPath = InstanceChannel::defaultSocketPath(&socketError);
    if (socketPath.isEmpty()) {
        std::fputs(qPrintable(u"glint: " + socketError + u'\n'), stderr);
        return 1;
    }
    // A running instance takes the command without this process connecting to the display first:
    // that connection is most of the time a desktop shortcut for `glint annotate` would take.
    if (InstanceChannel(socketPath).sendToRunning(command))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("glint"));
    QApplication::setApplicationVersion(QStringLiteral(GLINT_VERSION));
    QApplication::setOrganizationDomain(QStringLiteral("glint.org"));
    QApplication::setDesktopFileName(QStringLiteral("org.glint.Glint"));
    QApplication::setQuitOnLastWindowClosed(false); // a tray utility has no main window

    InstanceChannel channel(socketPath);
    if (!channel.listen()) {
        // Another instance started at the same moment and won.
        if (channel.sendToRunning(command))
            return 0;
        std::fputs("glint: cannot reach or become the running instance\n", stderr);
        return 1;
    }

    DebugLog::setFilePath(qEnvironmentVariable("GLINT_LOG_FILE", QString::fromLatin1(DebugLog::defaultFilePath)));
    TerminationSignalHandler terminationSignals;
    AppDelegate delegate;
    QObject::connect(&channel, &InstanceChannel::commandReceived, &delegate,
                     [&delegate](InstanceChannel::Command c, const QString &activationToken) {
                         WaylandActivation::offerToken(activationToken);
                         if (c == InstanceChannel::Command::Annotate)
                             delegate.requestAnnotation();
                         else
                             delegate.reopen();
                     });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::shutDown);
    delegate.start();
    if (command == InstanceChannel::Command::Annotate) {
        // Started by a desktop shortcut: the token is this process's own, and for no program it starts.
        if (const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN"); InstanceHandOver::isToken(token.toStdString()))
            WaylandActivation::offerToken(QString::fromLatin1(token));
        delegate.requestAnnotation();
    }
    qunsetenv("XDG_ACTIVATION_TOKEN");
    return QApplication::exec();
}
} // namespace

// What the program runs once it has opened this module.
extern "C" Q_DECL_EXPORT int glint_application_main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(arguments);
    switch (commandLine.command) {
    case CommandLine::Command::Tray:
        return runTrayApplication(argc, argv, InstanceChannel::Command::Reopen);
    case CommandLine::Command::Annotate:
        return runTrayApplication(argc, argv, InstanceChannel::Command::Annotate);
    case CommandLine::Command::Ask:
        return AskCommand::main(argc, argv);
    case CommandLine::Command::Transcribe:
        return TranscribeCommand::main(argc, argv);
    case CommandLine::Command::Help:
        std::fputs(CommandLine::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Command::Version:
        std::fputs(CommandLine::versionText().toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Command::UsageError:
        break;
    }
    const QString message = u"glint: " + commandLine.error + u"\n" + CommandLine::usageText() +
                            u"Try 'glint --help' for more information.\n";
    std::fputs(message.toLocal8Bit().constData(), stderr);
    return 2;
}

#include "app/AppDelegate.h"
#include "app/AskCommand.h"
#include "app/InstanceChannel.h"
#include "app/TerminationSignalHandler.h"
#include "input/X11InputEventSource.h"
#include "log/DebugLog.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

#include <malloc.h>

namespace {
void printUsage()
{
    std::fputs("usage: glint                  start Glint, or open the settings of the running one\n"
               "       glint annotate         start an annotation, as the hotkey does\n"
               "       glint ask [options] QUESTION\n",
               stderr);
}

// The tray application: `annotate` starts an annotation in the running instance, starting one first
// if there is none; plain `glint` opens the running instance's settings window.
int runTrayApplication(int argc, char *argv[], InstanceChannel::Command command)
{
    // Screen-sized images (captures and their encodings) are mapped for their own and unmapped when
    // freed. Left to itself the allocator raises this threshold once such an image is freed, and the
    // next ones stay in the arena of the worker thread that made them after use, for good.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    X11InputEventSource::prepareThreads();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("glint"));
    QApplication::setApplicationVersion(QStringLiteral(GLINT_VERSION));
    QApplication::setOrganizationDomain(QStringLiteral("glint.org"));
    QApplication::setDesktopFileName(QStringLiteral("org.glint.Glint"));
    QApplication::setQuitOnLastWindowClosed(false); // a tray utility has no main window

    InstanceChannel channel;
    if (channel.sendToRunning(command))
        return 0;
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
    QObject::connect(&channel, &InstanceChannel::commandReceived, &delegate, [&delegate](InstanceChannel::Command c) {
        if (c == InstanceChannel::Command::Annotate)
            delegate.requestAnnotation();
        else
            delegate.applicationShouldHandleReopen();
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    delegate.applicationDidFinishLaunching();
    if (command == InstanceChannel::Command::Annotate)
        delegate.requestAnnotation();
    return QApplication::exec();
}
} // namespace

int main(int argc, char *argv[])
{
    const char *subcommand = argc > 1 ? argv[1] : nullptr;
    if (!subcommand)
        return runTrayApplication(argc, argv, InstanceChannel::Command::Reopen);
    if (std::strcmp(subcommand, "annotate") == 0 && argc == 2)
        return runTrayApplication(argc, argv, InstanceChannel::Command::Annotate);
    if (std::strcmp(subcommand, "ask") == 0)
        return AskCommand::main(argc, argv);
    printUsage();
    return 2;
}

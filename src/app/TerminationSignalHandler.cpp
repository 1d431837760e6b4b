#include "app/TerminationSignalHandler.h"

#include "log/DebugLog.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};
}

TerminationSignalHandler::TerminationSignalHandler(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        DebugLog::log(QStringLiteral("App"), QStringLiteral("Cannot watch for termination signals"));
        return;
    }
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [] {
        char signal = 0;
        while (::read(pipe_[0], &signal, 1) == 1) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = &TerminationSignalHandler::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : handledSignals)
        sigaction(signal, &action, nullptr);
}

TerminationSignalHandler::~TerminationSignalHandler()
{
    if (!notifier_)
        return;
    for (int signal : handledSignals)
        std::signal(signal, SIG_DFL);
    delete notifier_;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
    pipe_[0] = pipe_[1] = -1;
}

void TerminationSignalHandler::handle(int signal)
{
    const int savedErrno = errno;
    const char byte = char(signal);
    // Nothing but async-signal-safe calls here; a full pipe already holds a pending quit.
    [[maybe_unused]] const ssize_t written = ::write(pipe_[1], &byte, 1);
    errno = savedErrno;
}

#pragma once

#include <QObject>
#include <QSocketNotifier>

// Turns SIGTERM, SIGINT and SIGHUP into an orderly quit of the event loop, so that a logout or a
// `kill` still stops the hotkey monitor, flushes the log and removes the instance socket. The signal
// handler only writes to a pipe; the quit happens on the main thread.
class TerminationSignalHandler : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignalHandler(QObject *parent = nullptr);
    ~TerminationSignalHandler() override;

private:
    static void handle(int signal);

    static inline int pipe_[2] = {-1, -1};
    QSocketNotifier *notifier_ = nullptr;
};

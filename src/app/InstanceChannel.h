#pragma once

#include <QLocalServer>
#include <QObject>

// Keeps Glint to one instance per user session: the first instance listens on a local socket in
// $XDG_RUNTIME_DIR, later invocations hand it their command and exit.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    enum class Command { Reopen, Annotate };

    static QString defaultSocketPath();

    explicit InstanceChannel(QString socketPath = defaultSocketPath(), QObject *parent = nullptr);

    // True when a running instance accepted the command.
    bool sendToRunning(Command command) const;
    // Starts receiving commands; false when another live instance already does.
    bool listen();

Q_SIGNALS:
    void commandReceived(InstanceChannel::Command command);

private:
    void acceptConnection();

    QString socketPath_;
    QLocalServer server_;
};

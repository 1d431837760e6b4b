#pragma once

#include <QLocalServer>
#include <QObject>

// Keeps Glint to one instance per user session: the first instance listens on a local socket in
// $XDG_RUNTIME_DIR (or a private directory of the user's), later invocations hand it their command and exit.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    enum class Command { Reopen, Annotate };

    // Empty, with the reason in `error`, when there is no safe place for the socket.
    static QString defaultSocketPath(QString *error = nullptr);

    explicit InstanceChannel(QString socketPath, QObject *parent = nullptr);
    ~InstanceChannel() override;

    // True when a running instance accepted the command.
    bool sendToRunning(Command command) const;
    // Starts receiving commands; false when another live instance already does (or is about to).
    bool listen();

Q_SIGNALS:
    // `activationToken`: what the desktop gave the program that sent the command, to activate a window with;
    // usually empty.
    void commandReceived(InstanceChannel::Command command, const QString &activationToken);

private:
    bool takeLock();
    void acceptConnection();

    QString socketPath_;
    QLocalServer server_;
    int lockFd_ = -1;
};

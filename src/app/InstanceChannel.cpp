#include "app/InstanceChannel.h"

#include "log/DebugLog.h"

#include <QDir>
#include <QLocalSocket>

#include <unistd.h>

namespace {
constexpr int timeoutMs = 2000;
constexpr qint64 maxLineLength = 64;

QByteArray wireName(InstanceChannel::Command command)
{
    return command == InstanceChannel::Command::Annotate ? QByteArrayLiteral("annotate\n")
                                                         : QByteArrayLiteral("reopen\n");
}
} // namespace

QString InstanceChannel::defaultSocketPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(QStringLiteral("glint.socket"));
    return QDir::temp().filePath(u"glint-" + QString::number(getuid()) + u".socket");
}

InstanceChannel::InstanceChannel(QString socketPath, QObject *parent)
    : QObject(parent)
    , socketPath_(std::move(socketPath))
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceChannel::acceptConnection);
}

bool InstanceChannel::sendToRunning(Command command) const
{
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(wireName(command));
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The answer says the instance took the command, not merely that something held the socket.
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    return socket.readLine() == "ok\n";
}

bool InstanceChannel::listen()
{
    // Listening with restricted access replaces any file at the path, so a live instance is asked first.
    // A socket nobody answers on is left over from an instance that ended abruptly.
    QLocalSocket probe;
    probe.connectToServer(socketPath_);
    if (probe.waitForConnected(timeoutMs))
        return false;
    QLocalServer::removeServer(socketPath_);
    return server_.listen(socketPath_);
}

void InstanceChannel::acceptConnection()
{
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > maxLineLength)
                    socket->abort();
                return;
            }
            const QByteArray line = socket->readLine(maxLineLength + 1);
            std::optional<Command> command;
            if (line == wireName(Command::Reopen))
                command = Command::Reopen;
            else if (line == wireName(Command::Annotate))
                command = Command::Annotate;
            socket->write(command ? "ok\n" : "unknown\n");
            // The caller goes on its way now, not once the annotation below is up.
            socket->flush();
            socket->disconnectFromServer();
            if (command)
                Q_EMIT commandReceived(*command);
            else
                DebugLog::log(QStringLiteral("App"), QStringLiteral("Ignored unknown instance command"));
        });
    }
}

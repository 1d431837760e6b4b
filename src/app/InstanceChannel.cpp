#include "app/InstanceChannel.h"

#include "app/InstanceHandOver.h"
#include "log/DebugLog.h"

#include <QFile>
#include <QLocalSocket>

namespace {
constexpr qint64 maxLineLength = 64;

std::string_view wireName(InstanceChannel::Command command)
{
    return command == InstanceChannel::Command::Annotate ? InstanceHandOver::annotate : InstanceHandOver::reopen;
}
} // namespace

QString InstanceChannel::defaultSocketPath()
{
    return QFile::decodeName(QByteArray::fromStdString(InstanceHandOver::socketPath()));
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
    return InstanceHandOver::send(QFile::encodeName(socketPath_).toStdString(), wireName(command));
}

bool InstanceChannel::listen()
{
    // Listening with restricted access replaces any file at the path, so a live instance is asked first.
    // A socket nobody answers on is left over from an instance that ended abruptly.
    QLocalSocket probe;
    probe.connectToServer(socketPath_);
    if (probe.waitForConnected(InstanceHandOver::timeoutMs))
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
            for (const Command candidate : {Command::Reopen, Command::Annotate}) {
                if (line == QByteArray::fromStdString(std::string(wireName(candidate)) + '\n'))
                    command = candidate;
            }
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

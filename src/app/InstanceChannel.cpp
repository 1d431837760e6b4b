#include "app/InstanceChannel.h"

#include "app/InstanceHandOver.h"
#include "log/DebugLog.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
constexpr qint64 maxLineLength = 300; // a command and a token

std::string_view wireName(InstanceChannel::Command command)
{
    return command == InstanceChannel::Command::Annotate ? InstanceHandOver::annotate : InstanceHandOver::reopen;
}
} // namespace

QString InstanceChannel::defaultSocketPath(QString *error)
{
    std::string problem;
    const std::string path = InstanceHandOver::socketPath(&problem);
    if (error)
        *error = QString::fromLocal8Bit(problem);
    return QFile::decodeName(QByteArray::fromStdString(path));
}

InstanceChannel::InstanceChannel(QString socketPath, QObject *parent)
    : QObject(parent)
    , socketPath_(std::move(socketPath))
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceChannel::acceptConnection);
}

InstanceChannel::~InstanceChannel()
{
    // The socket goes before the lock: an instance that takes the lock next must find its own socket kept.
    server_.close();
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

bool InstanceChannel::sendToRunning(Command command) const
{
    return InstanceHandOver::send(QFile::encodeName(socketPath_).toStdString(),
                                  InstanceHandOver::line(wireName(command)));
}

bool InstanceChannel::listen()
{
    // Each instance holds the lock while it runs, so the one that takes it is alone and any socket at the
    // path was left by an instance that ended abruptly. Without the lock this waits until the holder
    // answers: it may still be starting, or ending and about to let go.
    const QDeadlineTimer deadline(InstanceHandOver::timeoutMs);
    for (;;) {
        if (takeLock()) {
            QLocalServer::removeServer(socketPath_);
            return server_.listen(socketPath_);
        }
        QLocalSocket probe;
        probe.connectToServer(socketPath_);
        if (probe.waitForConnected(int(deadline.remainingTime())) || deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
}

bool InstanceChannel::takeLock()
{
    if (lockFd_ < 0)
        lockFd_ = ::open(QFile::encodeName(socketPath_ + u".lock").constData(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    return lockFd_ >= 0 && ::flock(lockFd_, LOCK_EX | LOCK_NB) == 0;
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
            const qsizetype blank = line.endsWith('\n') ? line.indexOf(' ') : 0; // an unended line is no command
            const QByteArray word = blank < 0 ? line.chopped(1) : line.left(blank);
            const QByteArray token = blank < 0 ? QByteArray() : line.mid(blank + 1).chopped(1);
            std::optional<Command> command;
            for (const Command candidate : {Command::Reopen, Command::Annotate}) {
                if (word == QByteArray::fromStdString(std::string(wireName(candidate))) &&
                    (token.isNull() ||
                     (candidate == Command::Annotate && InstanceHandOver::isToken(token.toStdString()))))
                    command = candidate;
            }
            socket->write(command ? "ok\n" : "unknown\n");
            // The caller goes on its way now, not once the annotation below is up.
            socket->flush();
            socket->disconnectFromServer();
            if (command)
                Q_EMIT commandReceived(*command, QString::fromLatin1(token));
            else
                DebugLog::log(QStringLiteral("App"), QStringLiteral("Ignored unknown instance command"));
        });
    }
}

#include "app/InstanceChannel.h"
#include "app/InstanceHandOver.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// The client side blocks, so it runs on a worker while the listening side's event loop runs here.
bool sendFromWorker(const QString &path, InstanceChannel::Command command)
{
    QFuture<bool> sent = QtConcurrent::run([path, command] { return InstanceChannel(path).sendToRunning(command); });
    while (!sent.isFinished())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return sent.result();
}

TEST(InstanceChannelTest, SecondInvocationHandsItsCommandToTheFirst)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"glint.socket"_qs);
    EXPECT_FALSE(InstanceChannel(path).sendToRunning(InstanceChannel::Command::Reopen));

    InstanceChannel first(path);
    ASSERT_TRUE(first.listen());
    QSignalSpy received(&first, &InstanceChannel::commandReceived);
    EXPECT_FALSE(InstanceChannel(path).listen()); // the name is taken

    EXPECT_TRUE(sendFromWorker(path, InstanceChannel::Command::Reopen));
    EXPECT_TRUE(sendFromWorker(path, InstanceChannel::Command::Annotate));
    ASSERT_EQ(received.count(), 2);
    EXPECT_EQ(received.at(0).first().value<InstanceChannel::Command>(), InstanceChannel::Command::Reopen);
    EXPECT_EQ(received.at(1).first().value<InstanceChannel::Command>(), InstanceChannel::Command::Annotate);
}

TEST(InstanceChannelTest, SocketLeftByACrashedInstanceIsTakenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"glint.socket"_qs);
    // What a killed instance leaves behind: the socket file, with nobody listening on it.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(fd);
    ASSERT_TRUE(QFile::exists(path));

    InstanceChannel next(path);
    EXPECT_TRUE(next.listen());
    EXPECT_TRUE(sendFromWorker(path, InstanceChannel::Command::Reopen));
}

// Only an instance that says it took the command counts: not whatever else holds the socket.
TEST(InstanceChannelTest, HandOverCountsOnlyAnAcceptedCommand)
{
    const struct {
        QByteArray answer;
        bool handedOver;
    } cases[] = {{"ok\n", true}, {"unknown\n", false}, {"ok", false}, {"", false}};
    for (const auto &c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("glint.socket"));
        QLocalServer listener;
        ASSERT_TRUE(listener.listen(path));
        QByteArray received;
        QObject::connect(&listener, &QLocalServer::newConnection, [&] {
            QLocalSocket *socket = listener.nextPendingConnection();
            QObject::connect(socket, &QLocalSocket::readyRead, [&, socket] {
                received += socket->readAll();
                socket->write(c.answer);
                socket->disconnectFromServer();
            });
        });
        QFuture<bool> sent = QtConcurrent::run([path] {
            return InstanceHandOver::send(QFile::encodeName(path).toStdString(), InstanceHandOver::annotate);
        });
        while (!sent.isFinished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(sent.result(), c.handedOver) << c.answer.constData();
        EXPECT_EQ(received, "annotate\n");
    }
}
} // namespace

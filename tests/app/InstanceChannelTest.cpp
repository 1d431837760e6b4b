#include "app/InstanceChannel.h"
#include "app/InstanceHandOver.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

sockaddr_un socketAddress(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    return address;
}

// A socket bound at `path` by nobody who will ever accept on it.
int boundSocket(const QString &path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = socketAddress(path);
    return bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 ? fd : -1;
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

// `glint annotate` passes on the activation token its desktop gave it; a line with anything else after the
// command is refused.
TEST(InstanceChannelTest, AnnotateCarriesTheDesktopsActivationToken)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"glint.socket"_qs);
    InstanceChannel first(path);
    ASSERT_TRUE(first.listen());
    QSignalSpy received(&first, &InstanceChannel::commandReceived);
    const struct {
        const char *environment; // XDG_ACTIVATION_TOKEN of the sender, unset when null
        const char *line;        // sent as it is; when null, `annotate` as the program sends it
        bool accepted;
        QString token;
    } cases[] = {
        {nullptr, nullptr, true, {}},
        {"kwin-1234_ab:cd/5", nullptr, true, u"kwin-1234_ab:cd/5"_qs},
        {"two words", nullptr, true, {}},
        {nullptr, "annotate t0ken", true, u"t0ken"_qs},
        {nullptr, "annotate two words", false, {}},
        {nullptr, "reopen t0ken", false, {}},
        {nullptr, "annotate ", false, {}},
    };
    for (const auto &c : cases) {
        if (c.environment)
            qputenv("XDG_ACTIVATION_TOKEN", c.environment);
        else
            qunsetenv("XDG_ACTIVATION_TOKEN");
        received.clear();
        const std::string line = c.line ? c.line : InstanceHandOver::line(InstanceHandOver::annotate);
        QFuture<bool> sent = QtConcurrent::run(
            [path, line] { return InstanceHandOver::send(QFile::encodeName(path).toStdString(), line); });
        while (!sent.isFinished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(sent.result(), c.accepted) << line;
        ASSERT_EQ(received.count(), c.accepted ? 1 : 0) << line;
        if (c.accepted)
            EXPECT_EQ(received.at(0).at(1).toString(), c.token) << line;
    }
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

TEST(InstanceChannelTest, SocketLeftByACrashedInstanceIsTakenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"glint.socket"_qs);
    // What a killed instance leaves behind: the socket file, with nobody listening on it.
    const int fd = boundSocket(path);
    ASSERT_GE(fd, 0);
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

// Starts the built program with its runtime directory in `dir`; with a `gate`, it starts once a line comes
// through that pipe.
void startGlint(QProcess &process, const QTemporaryDir &dir, const QString &gate = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_qs, dir.path());
    environment.insert(u"XDG_CONFIG_HOME"_qs, dir.filePath(u"config"_qs));
    environment.insert(u"GLINT_LOG_FILE"_qs, dir.filePath(u"glint.log"_qs));
    environment.remove(u"GLINT_UPDATE_FEED_URL"_qs);
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (gate.isEmpty())
        process.start(QStringLiteral(GLINT_BINARY));
    else
        process.start(u"/bin/sh"_qs,
                      {u"-c"_qs, u"read -r _ < \"$0\" && exec \"$1\""_qs, gate, QStringLiteral(GLINT_BINARY)});
    ASSERT_TRUE(process.waitForStarted());
}

bool answers(const QString &socketPath)
{
    return InstanceHandOver::send(QFile::encodeName(socketPath).toStdString(), InstanceHandOver::reopen);
}

// Two invocations let go at the same instant: one becomes the instance and keeps its socket, the other
// hands it its command and ends.
TEST(InstanceChannelTest, SimultaneousStartsLeaveOneInstance)
{
    for (int round = 0; round < 3; ++round) {
        QTemporaryDir dir;
        const QByteArray gatePath = QFile::encodeName(dir.filePath(u"gate"_qs));
        ASSERT_EQ(::mkfifo(gatePath.constData(), 0600), 0);
        const int gate = ::open(gatePath.constData(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(gate, 0);
        QProcess instances[2];
        for (QProcess &instance : instances)
            startGlint(instance, dir, QFile::decodeName(gatePath));
        QTest::qWait(200); // both wait at the gate
        ASSERT_EQ(::write(gate, "\n\n", 2), 2);
        const auto ended = [&](const QProcess &p) { return p.state() == QProcess::NotRunning; };
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended(instances[0]) || ended(instances[1]); }, 30000))
            << "round " << round << ": both became the instance";
        QProcess &handedOver = ended(instances[0]) ? instances[0] : instances[1];
        QProcess &running = ended(instances[0]) ? instances[1] : instances[0];
        EXPECT_EQ(handedOver.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(handedOver.exitCode(), 0) << "round " << round << ": its command was not taken";
        EXPECT_FALSE(ended(running)) << "round " << round;
        EXPECT_TRUE(answers(dir.filePath(u"glint.socket"_qs))) << "round " << round << ": the instance lost its socket";
        running.terminate();
        EXPECT_TRUE(running.waitForFinished(10000));
        ::close(gate);
    }
}

// An instance too busy to take anyone (stopped here, with its queue full) is still the instance: a start
// meanwhile waits for it instead of taking its place, then hands it its command.
TEST(InstanceChannelTest, StartWhileTheInstanceIsBusyWaitsForIt)
{
    QTemporaryDir dir;
    const QString socketPath = dir.filePath(u"glint.socket"_qs);
    QProcess first;
    startGlint(first, dir);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers(socketPath); }, 30000));
    ASSERT_EQ(::kill(pid_t(first.processId()), SIGSTOP), 0);
    std::vector<int> queued;
    const sockaddr_un address = socketAddress(socketPath);
    for (int fd; (fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) >= 0;) {
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd);
            break;
        }
        queued.push_back(fd);
    }

    QProcess second;
    startGlint(second, dir);
    QTest::qWait(5000); // past the wait for a running instance to answer, without its lock
    ::kill(pid_t(first.processId()), SIGCONT);
    const auto ended = [](const QProcess &p) { return p.state() == QProcess::NotRunning; };
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended(second); }, 15000)) << "the second start became an instance";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << "its command was not taken";
    EXPECT_FALSE(ended(first));
    EXPECT_TRUE(answers(socketPath)) << "the instance lost its socket";
    for (const int fd : queued)
        ::close(fd);
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(10000));
}

// Without a runtime directory the socket lives in a directory only this user may enter: made so, or refused.
TEST(InstanceChannelTest, FallbackSocketDirectoryIsPrivate)
{
    QTemporaryDir temp;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray tmpdir = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const QString directory = temp.filePath(u"glint-%1"_qs.arg(::getuid()));
    const QByteArray native = QFile::encodeName(directory);
    const struct {
        const char *found;
        mode_t mode; // 0: nothing there
        bool foreign;
        bool symbolic;
        bool usable;
    } cases[] = {
        {"nothing", 0, false, false, true},
        {"a private directory", 0700, false, false, true},
        {"a directory open to the group", 0750, false, false, false},
        {"a directory open to all", 0777, false, false, false},
        {"another user's directory", 0700, true, false, false},
        {"a link to a private directory", 0700, false, true, false},
    };
    for (const auto &c : cases) {
        if (c.foreign && ::geteuid() != 0)
            continue; // giving a directory away needs root
        QFile::remove(directory);
        QDir(directory).removeRecursively();
        const QString made = c.symbolic ? temp.filePath(u"elsewhere"_qs) : directory;
        if (c.mode) {
            ASSERT_TRUE(QDir().mkpath(made));
            ASSERT_EQ(::chmod(QFile::encodeName(made).constData(), c.mode), 0);
            if (c.foreign) {
                ASSERT_EQ(::chown(native.constData(), 65534, 65534), 0);
            }
            if (c.symbolic) {
                ASSERT_TRUE(QFile::link(made, directory));
            }
        }
        std::string error;
        const std::string path = InstanceHandOver::socketPath(&error);
        struct stat info {};
        if (c.usable) {
            EXPECT_EQ(QFile::decodeName(QByteArray::fromStdString(path)), directory + u"/glint.socket") << c.found;
            ASSERT_EQ(::lstat(native.constData(), &info), 0) << c.found;
            EXPECT_TRUE(S_ISDIR(info.st_mode)) << c.found;
            EXPECT_EQ(info.st_mode & 0777, 0700u) << c.found;
        } else {
            EXPECT_EQ(path, "") << c.found;
            EXPECT_NE(error.find(native.toStdString()), std::string::npos) << c.found << ": " << error;
        }
    }
    qputenv("XDG_RUNTIME_DIR", runtime);
    qputenv("TMPDIR", tmpdir);
}
} // namespace

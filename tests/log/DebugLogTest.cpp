#include "log/DebugLog.h"
#include "support/LogRecorder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    DebugLog::flush();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sends the log to `path` for one test and back to nowhere afterwards.
struct LogTo {
    explicit LogTo(const QString &path) { DebugLog::setFilePath(path); }
    ~LogTo()
    {
        DebugLog::flush();
        DebugLog::setFilePath(QString());
    }
};

} // namespace

TEST(DebugLog, ResetKeepsOnlyTheLinesLoggedAfterIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"glint.log"_qs);
    LogTo target(path);
    DebugLog::log(u"App"_qs, u"old run"_qs);
    DebugLog::reset();
    DebugLog::log(u"App"_qs, u"line one\nline two"_qs);
    DebugLog::log(u"Sessión"_qs, u"ünïcode ✓"_qs);
    const QStringList lines = QString::fromUtf8(readAll(path)).split(u'\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].endsWith(u"] [App] line one"_qs));
    EXPECT_EQ(lines[1], u"line two"_qs);
    EXPECT_TRUE(lines[2].endsWith(u"] [Sessión] ünïcode ✓"_qs));
    EXPECT_EQ(lines[3], QString());
}

TEST(DebugLog, FileFoundOrRecreatedIsPrivate)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"glint.log"_qs);
    const QByteArray native = QFile::encodeName(path);
    const auto mode = [&] {
        struct stat info {};
        return ::stat(native.constData(), &info) == 0 ? info.st_mode & 0777 : 0;
    };
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_EQ(::chmod(native.constData(), 0644), 0);
    LogTo target(path);
    DebugLog::log(u"App"_qs, u"first"_qs);
    DebugLog::flush();
    EXPECT_EQ(mode(), 0600u) << "a file from before is made private";
    ASSERT_TRUE(QFile::remove(path));
    DebugLog::log(u"App"_qs, u"second"_qs);
    const QByteArray content = readAll(path);
    EXPECT_TRUE(content.endsWith("] [App] second\n"));
    EXPECT_FALSE(content.contains("first"));
    EXPECT_EQ(mode(), 0600u);
}

TEST(DebugLog, ManyThreadsGiveWholeOrderedLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"glint.log"_qs);
    LogTo target(path);
    constexpr int threads = 8;
    constexpr int perThread = 2000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                DebugLog::log(u"T%1"_qs.arg(t), u"n=%1 %2"_qs.arg(i).arg(QString(40, u'x')));
        });
    for (std::thread &w : workers)
        w.join();

    const QStringList lines = QString::fromUtf8(readAll(path)).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), threads * perThread);
    const QRegularExpression shape(QStringLiteral(R"(^\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\] \[T(\d)\] n=(\d+) x{40}$)"));
    std::vector<int> next(threads, 0);
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = shape.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        const int t = m.captured(1).toInt();
        ASSERT_EQ(m.captured(2).toInt(), next[t]++) << "lines of one thread keep their order";
    }
}

TEST(DebugLog, NeverFollowsALinkOrWritesAnotherUsersFile)
{
    QTemporaryDir dir;
    const QString victim = dir.filePath(u"victim"_qs);
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious\n");
    }
    const struct {
        const char *name;
        bool symbolic;
    } links[] = {{"symbolic.log", true}, {"hard.log", false}};
    for (const auto &l : links) {
        const QString link = dir.filePath(QString::fromLatin1(l.name));
        ASSERT_TRUE(l.symbolic
                        ? QFile::link(victim, link)
                        : ::link(QFile::encodeName(victim).constData(), QFile::encodeName(link).constData()) == 0);
        FILE *echo = std::tmpfile();
        DebugLog::setEcho(echo);
        {
            LogTo target(link);
            DebugLog::reset();
            DebugLog::log(u"App"_qs, u"must not land in the victim"_qs);
            DebugLog::log(u"App"_qs, u"nor this"_qs);
        }
        DebugLog::setEcho(nullptr);
        EXPECT_EQ(readAll(victim), QByteArray("precious\n")) << l.name;
        std::rewind(echo);
        QFile echoed;
        ASSERT_TRUE(echoed.open(echo, QIODevice::ReadOnly));
        const QString printed = QString::fromUtf8(echoed.readAll());
        echoed.close();
        std::fclose(echo);
        EXPECT_EQ(printed.count(u"[DebugLog] Not writing log file"_qs), 1) << l.name << printed.toStdString();
        EXPECT_TRUE(printed.contains(u"] [App] nor this\n"_qs)) << "lines still reach standard output";
    }

    // A regular file that is not ours (a directory stands in for a foreign file: same refusal path).
    const QString notAFile = dir.filePath(u"dir.log"_qs);
    ASSERT_TRUE(QDir().mkpath(notAFile));
    LogTo target(notAFile);
    DebugLog::log(u"App"_qs, u"nowhere"_qs);
    DebugLog::flush();
    EXPECT_TRUE(QFileInfo(notAFile).isDir());
}

TEST(DebugLog, FileOwnedByAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing a file's owner needs root";
    QTemporaryDir dir;
    const QString path = dir.filePath(u"glint.log"_qs);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("someone else's\n");
    }
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    {
        LogTo target(path);
        DebugLog::reset();
        DebugLog::log(u"App"_qs, u"refused"_qs);
    }
    EXPECT_EQ(readAll(path), QByteArray("someone else's\n"));
}

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {
// The built application, started as a user would, in a private configuration, runtime and log.
class GlintE2ETest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QProcess first;

    QString logPath() const { return dir.filePath(QStringLiteral("glint.log")); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GLINT_LOG_FILE"), logPath());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("GLINT_UPDATE_FEED_URL"));
        return env;
    }

    void start(QProcess &process, const QStringList &arguments = {})
    {
        process.setProcessEnvironment(environment());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(GLINT_BINARY), arguments);
        ASSERT_TRUE(process.waitForStarted());
    }

    // Runs a second invocation to its end; its exit status.
    int invoke(const QStringList &arguments = {})
    {
        QProcess process;
        start(process, arguments);
        if (!process.waitForFinished(10000))
            return -1;
        return process.exitCode();
    }

    QStringList logLines() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts))
            lines << line.mid(line.indexOf(u"] [") + 2); // without the time
        return lines;
    }

    bool waitForLog(const QString &line, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return logLines().contains(line); }, timeoutMs);
    }

    static bool settingsWindowShown()
    {
        QProcess search;
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--name"), QStringLiteral("^Glint Settings$")});
        search.waitForFinished();
        return !search.readAllStandardOutput().trimmed().isEmpty();
    }

    void TearDown() override
    {
        if (first.state() != QProcess::NotRunning) {
            first.terminate();
            if (!first.waitForFinished(5000))
                first.kill();
        }
    }
};

TEST_F(GlintE2ETest, SecondInvocationsReachTheRunningInstance)
{
    start(first);
    ASSERT_TRUE(waitForLog(QStringLiteral("[App] Application did finish launching")));
    EXPECT_EQ(logLines().first(), u"[App] Application did finish launching");
    EXPECT_FALSE(settingsWindowShown());

    EXPECT_EQ(invoke(), 0);
    EXPECT_TRUE(QTest::qWaitFor(settingsWindowShown, 5000));

    EXPECT_EQ(invoke({QStringLiteral("annotate")}), 0);
    EXPECT_TRUE(waitForLog(QStringLiteral("[Session] Begin annotation session showToolbar=true")));
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(logLines().count(u"[App] Application did finish launching"), 1);
}

TEST_F(GlintE2ETest, AnnotateStartsAnInstanceWhenNoneRuns)
{
    start(first, {QStringLiteral("annotate")});
    EXPECT_TRUE(waitForLog(QStringLiteral("[Session] Begin annotation session showToolbar=true")));
    EXPECT_EQ(logLines().first(), u"[App] Application did finish launching");
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(GlintE2ETest, UnknownCommandsAreRefused)
{
    EXPECT_EQ(invoke({QStringLiteral("frobnicate")}), 2);
    EXPECT_FALSE(QFile::exists(logPath()));
}
} // namespace

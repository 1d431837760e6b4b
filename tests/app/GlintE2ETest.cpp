#include "GlintE2EFixture.h"

#include <csignal>

namespace {
class GlintE2ETest : public GlintE2EFixture {};

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

// A logout or `kill` in the middle of a drawing: the instance quits in order and leaves no socket behind.
TEST_F(GlintE2ETest, TerminationSignalsQuitInOrder)
{
    for (int signal : {SIGTERM, SIGINT}) {
        QFile::remove(logPath());
        start(first, {QStringLiteral("annotate")});
        ASSERT_TRUE(waitForLog(QStringLiteral("[Session] Begin annotation session showToolbar=true")));
        ::kill(pid_t(first.processId()), signal);
        ASSERT_TRUE(first.waitForFinished(5000)) << "signal " << signal;
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(first.exitCode(), 0) << "signal " << signal;
        EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("glint.socket")))) << "signal " << signal;
    }
}

TEST_F(GlintE2ETest, UnknownCommandsAreRefused)
{
    EXPECT_EQ(invoke({QStringLiteral("frobnicate")}), 2);
    EXPECT_FALSE(QFile::exists(logPath()));
}
} // namespace

#include "GlintE2EFixture.h"

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

TEST_F(GlintE2ETest, UnknownCommandsAreRefused)
{
    EXPECT_EQ(invoke({QStringLiteral("frobnicate")}), 2);
    EXPECT_FALSE(QFile::exists(logPath()));
}
} // namespace

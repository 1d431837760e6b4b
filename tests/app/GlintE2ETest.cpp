#include "GlintE2EFixture.h"
#include "support/PrivateDisplay.h"

#include <QScopeGuard>

#include <csignal>

namespace {
class GlintE2ETest : public GlintE2EFixture {};

TEST_F(GlintE2ETest, SecondInvocationsReachTheRunningInstance)
{
    start(first);
    ASSERT_TRUE(waitForLog(u"[App] Application did finish launching"_qs));
    EXPECT_EQ(logLines().first(), u"[App] Application did finish launching");
    EXPECT_FALSE(settingsWindowShown());

    EXPECT_EQ(invoke(), 0);
    EXPECT_TRUE(QTest::qWaitFor(settingsWindowShown, 5000));

    EXPECT_EQ(invoke({u"annotate"_qs}), 0);
    EXPECT_TRUE(waitForLog(u"[Session] Begin annotation session showToolbar=true"_qs));
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(logLines().count(u"[App] Application did finish launching"), 1);
}

// `annotate` starts an instance when none runs; a logout or `kill` in the middle of its drawing quits it in
// order and leaves no socket behind.
TEST_F(GlintE2ETest, TerminationSignalsQuitInOrder)
{
    for (int signal : {SIGTERM, SIGINT}) {
        QFile::remove(logPath());
        start(first, {u"annotate"_qs});
        ASSERT_TRUE(waitForLog(u"[Session] Begin annotation session showToolbar=true"_qs));
        EXPECT_EQ(logLines().first(), u"[App] Application did finish launching");
        ::kill(pid_t(first.processId()), signal);
        ASSERT_TRUE(first.waitForFinished(5000)) << "signal " << signal;
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(first.exitCode(), 0) << "signal " << signal;
        EXPECT_FALSE(QFile::exists(dir.filePath(u"glint.socket"_qs))) << "signal " << signal;
    }
}

// With set-up over at the first start, Glint starts at login until the settings window's switch says no.
TEST_F(GlintE2ETest, StartAtLoginIsOnAfterSetUpAndTheSwitchTurnsItOffAndOn)
{
    const QString autostart = QDir(configHome()).filePath(u"autostart/org.glint.Glint.desktop"_qs);
    auto autostartIs = [&](bool present) {
        return QTest::qWaitFor([&] { return QFile::exists(autostart) == present; }, 10000);
    };
    start(first);
    ASSERT_TRUE(autostartIs(true));
    QFile entry(autostart);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("\nExec=" GLINT_BINARY "\n"));

    EXPECT_EQ(invoke(), 0);
    ASSERT_TRUE(QTest::qWaitFor(settingsWindowShown, 5000));
    for (bool present : {false, true}) {
        // Alt+L is the switch's keyboard shortcut.
        xdotool({u"search"_qs, u"--onlyvisible"_qs, u"--name"_qs, u"^Glint Settings$"_qs, u"windowactivate"_qs,
                 u"--sync"_qs, u"key"_qs, u"alt+l"_qs});
        EXPECT_TRUE(autostartIs(present)) << "after turning it " << (present ? "on" : "off");
    }
}

// A first start walks through set-up; the key it takes is in the keyring, and the next start asks nothing.
TEST_F(GlintE2ETest, FirstStartSetsUpOnceAndStoresTheKeyInTheKeyring)
{
    // A display of its own: the set-up window comes and goes without touching the other tests' desk.
    PrivateDisplay display(true, u"1920x1080x24"_qs);
    ASSERT_FALSE(display.name().isEmpty());
    const QByteArray sharedDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", display.name().toUtf8()); // for the application and xdotool alike
    const auto restoreDisplay = qScopeGuard([&] { qputenv("DISPLAY", sharedDisplay); });
    QFile::remove(preferencesPath());
    const QString setupWindow = u"^Glint — Setup$"_qs;
    const auto setupShown = [&] {
        return !xdotool({u"search"_qs, u"--onlyvisible"_qs, u"--name"_qs, setupWindow}).trimmed().isEmpty();
    };
    // Keys go to the window that has the focus, as a user's would.
    const auto press = [&](const QStringList &keys) {
        xdotool(QStringList{u"search"_qs, u"--onlyvisible"_qs, u"--name"_qs, setupWindow, u"windowactivate"_qs,
                            u"--sync"_qs} +
                keys);
    };
    const QStringList lookup{u"lookup"_qs, u"service"_qs, u"org.glint.Glint"_qs, u"account"_qs, u"apiKey.anthropic"_qs};

    start(first);
    ASSERT_TRUE(QTest::qWaitFor(setupShown, 10000));
    ASSERT_TRUE(waitForLog(u"[App] Setup step shown step=welcome"_qs));
    press({u"key"_qs, u"alt+F4"_qs}); // the window manager's close: refused
    QTest::qWait(300);
    ASSERT_TRUE(setupShown());
    press({u"key"_qs, u"Return"_qs});
    // This instance's runtime directory has no sound server: no microphone, and nothing here to help.
    ASSERT_TRUE(waitForLog(u"[App] Setup step shown step=microphone"_qs));
    press({u"key"_qs, u"Return"_qs});
    ASSERT_TRUE(waitForLog(u"[App] Setup step shown step=apiKey"_qs));
    press({u"type"_qs, u"sk-ant-first-start"_qs});
    press({u"key"_qs, u"Return"_qs});
    ASSERT_TRUE(waitForLog(u"[App] Setup step shown step=complete"_qs));
    press({u"key"_qs, u"Return"_qs});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !setupShown(); }, 5000));

    QProcess secretTool;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            secretTool.start(u"secret-tool"_qs, lookup);
            secretTool.waitForFinished();
            return secretTool.readAllStandardOutput() == "sk-ant-first-start";
        },
        5000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QFile preferences(preferencesPath());
            return preferences.open(QIODevice::ReadOnly) &&
                   preferences.readAll().contains("hasCompletedOnboarding=true");
        },
        5000));

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(5000));
    QFile::remove(logPath());
    start(first);
    ASSERT_TRUE(waitForLog(u"[App] Application did finish launching"_qs));
    QTest::qWait(1500); // a setup window would be up by now
    EXPECT_FALSE(setupShown());
    EXPECT_FALSE(logLines().join(u'\n').contains(u"Setup step"));

    // A logout while set-up is open: the window does not hold the quit up.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(5000));
    QFile::remove(preferencesPath());
    start(first);
    ASSERT_TRUE(QTest::qWaitFor(setupShown, 10000));
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(5000));
    QProcess::execute(u"secret-tool"_qs, QStringList{u"clear"_qs} + lookup.mid(1));
}

// Help, the version and usage errors need neither a display nor a running instance, and touch no log.
TEST_F(GlintE2ETest, HelpVersionAndUsageErrors)
{
    const struct {
        QStringList arguments;
        int status;
        QString output, errors;
    } cases[] = {
        {{u"--version"_qs}, 0, u"glint " GLINT_VERSION "\n"_qs, {}},
        {{u"-v"_qs}, 0, u"glint " GLINT_VERSION "\n"_qs, {}},
        {{u"--help"_qs}, 0, u"Usage: glint [annotate]"_qs, {}},
        {{u"-h"_qs}, 0, u"Usage: glint [annotate]"_qs, {}},
        {{u"frobnicate"_qs, u"annotate"_qs}, 2, {}, u"glint: unknown command 'frobnicate'\nUsage: glint [annotate]"_qs},
        {{u"--frobnicate"_qs}, 2, {}, u"glint: unknown option '--frobnicate'\n"_qs},
        {{u"annotate"_qs, u"--now"_qs}, 2, {}, u"glint: unexpected argument '--now' after 'annotate'\n"_qs},
        {{u"--version"_qs, u"--help"_qs}, 2, {}, u"glint: unexpected argument '--help' after '--version'\n"_qs},
        {{u"ask"_qs, u"--frobnicate"_qs}, 2, {}, u"glint ask: Unknown option 'frobnicate'."_qs}, // ask's own
        {{u"transcribe"_qs, u"--help"_qs}, 0, u"Usage: "_qs, {}},
        {{u"transcribe"_qs}, 2, {}, u"glint transcribe: Missing recording."_qs},
        {{u"transcribe"_qs, u"--service"_qs, u"whisper"_qs, u"q.m4a"_qs},
         2,
         {},
         u"glint transcribe: Unknown service whisper; use automatic, replicate, openai or compatible."_qs},
    };
    for (const auto &c : cases) {
        QProcess process;
        QProcessEnvironment env = environment();
        env.remove(u"DISPLAY"_qs);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(GLINT_BINARY), c.arguments);
        ASSERT_TRUE(process.waitForFinished(10000));
        const std::string command = c.arguments.join(u' ').toStdString();
        EXPECT_EQ(process.exitCode(), c.status) << command;
        // Each goes to one channel only.
        const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_TRUE(c.output.isEmpty() ? output.isEmpty() : output.startsWith(c.output)) << command;
        EXPECT_TRUE(c.errors.isEmpty() ? errors.isEmpty() : errors.startsWith(c.errors)) << command;
    }
    EXPECT_FALSE(QFile::exists(logPath()));
}
} // namespace

#include "settings/Keychain.h"
#include "settings/SettingsManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>

// These tests talk to a real Secret Service (gnome-keyring); scripts/test provides one.
namespace {

bool secretServiceExpected()
{
    return qEnvironmentVariableIsSet("GLINT_TEST_ENV");
}

// A fresh account name per test, so runs never see each other's items.
QString freshAccount()
{
    return u"test." + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

int run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    return process.waitForFinished() ? process.exitCode() : -1;
}

// Runs this test in a child process with `environment` added, or in a private session bus when `command`
// is given; the child's test result.
void runChild(const QString &test, QProcessEnvironment environment, const QStringList &command = {})
{
    QProcess child;
    environment.insert(u"GLINT_KEYCHAIN_CHILD"_qs, u"1"_qs);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    const QStringList self{QCoreApplication::applicationFilePath(), u"--gtest_filter=" + test};
    child.start(command.isEmpty() ? self.first() : command.first(),
                command.mid(1) + (command.isEmpty() ? self.mid(1) : self));
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().constData();
}

class KeychainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!secretServiceExpected())
            GTEST_SKIP() << "needs the Secret Service of scripts/test";
    }
    Keychain keychain{SettingsManager::keychainService};
};

} // namespace

TEST_F(KeychainTest, ReadsAndReplacesAKeyStoredWithSecretTool)
{
    const QString account = freshAccount();
    const QStringList attributes{u"service"_qs, u"org.glint.Glint"_qs, u"account"_qs, account};
    EXPECT_EQ(keychain.read(account), StoredSecret{});
    ASSERT_EQ(
        run(u"secret-tool"_qs, QStringList{u"store"_qs, u"--label=Glint"_qs} + attributes, "sk-ant-from-the-shell"), 0);
    EXPECT_EQ(keychain.read(account), StoredSecret::found(u"sk-ant-from-the-shell"_qs));
    // Another tool's item beside it, stored later (the service keeps times in seconds): the newest is the key.
    QThread::msleep(1100);
    ASSERT_EQ(run(u"secret-tool"_qs,
                  QStringList{u"store"_qs, u"--label=Other"_qs} + attributes + QStringList{u"tool"_qs, u"other"_qs},
                  "sk-ant-newer"),
              0);
    EXPECT_EQ(keychain.read(account), StoredSecret::found(u"sk-ant-newer"_qs));
    EXPECT_EQ(Keychain(u"org.other.App"_qs).read(account), StoredSecret{}) << "the service must match";

    // That one item per account is left is tested with the settings window (SettingsKeyringTest).
    for (const QString &value : {u"first ключ"_qs, u"second"_qs, QString()}) {
        keychain.write(account, value);
        EXPECT_EQ(keychain.read(account), StoredSecret::found(value)) << "an empty key is cleared, not deleted";
    }
}

// No Secret Service on the bus at all: no answer, quickly, and a write that is lost without a hang.
TEST(KeychainWithoutService, SaysThereWasNoAnswerWithoutBlocking)
{
    if (!qEnvironmentVariableIsSet("GLINT_KEYCHAIN_CHILD")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, u"unix:path=/nonexistent/glint-bus"_qs);
        runChild(u"KeychainWithoutService.*"_qs, env);
        return;
    }
    Keychain keychain(SettingsManager::keychainService, std::chrono::milliseconds(1500));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(keychain.read(u"apiKey.anthropic"_qs).status, StoredSecret::Status::NoAnswer);
    keychain.write(u"apiKey.anthropic"_qs, u"lost"_qs);
    EXPECT_LT(timer.elapsed(), 3500);
}

// A keyring of its own in a private session, locked after the key was stored: a read must not pass for
// "no key". Unlocking needs a prompt, which this session cannot show, so it stays locked.
TEST(KeychainLocked, ALockedKeyringIsNotAMissingKey)
{
    if (!qEnvironmentVariableIsSet("GLINT_KEYCHAIN_CHILD")) {
        if (!secretServiceExpected())
            GTEST_SKIP() << "needs the gnome-keyring of scripts/test";
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_qs, home.path());
        env.insert(u"XDG_DATA_HOME"_qs, home.filePath(u"data"_qs));
        env.insert(u"XDG_RUNTIME_DIR"_qs, home.path());
        env.remove(u"DISPLAY"_qs);
        const QString script = QStringLiteral(
            "printf glint-locked | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &"
            " keyring=$!; for i in $(seq 100); do dbus-send --session --print-reply --dest=org.freedesktop.DBus /"
            " org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets | grep -q 'boolean true' && break;"
            " sleep 0.05; done; \"$@\"; status=$?; kill $keyring; exit $status");
        runChild(u"KeychainLocked.*"_qs, env, {u"dbus-run-session"_qs, u"--"_qs, u"sh"_qs, u"-c"_qs, script, u"sh"_qs});
        return;
    }
    Keychain keychain(SettingsManager::keychainService, std::chrono::seconds(3));
    keychain.write(u"apiKey.anthropic"_qs, u"sk-ant-locked"_qs);
    ASSERT_EQ(keychain.read(u"apiKey.anthropic"_qs), StoredSecret::found(u"sk-ant-locked"_qs));
    ASSERT_EQ(run(u"dbus-send"_qs, {u"--session"_qs, u"--print-reply"_qs, u"--dest=org.freedesktop.secrets"_qs,
                                    u"/org/freedesktop/secrets"_qs, u"org.freedesktop.Secret.Service.Lock"_qs,
                                    u"array:objpath:/org/freedesktop/secrets/collection/login"_qs}),
              0);
    const StoredSecret locked = keychain.read(u"apiKey.anthropic"_qs);
    EXPECT_FALSE(locked.isKnown()) << int(locked.status);
    EXPECT_TRUE(locked.problem().startsWith(u"The keyring is locked")) << locked.problem().toStdString();
}

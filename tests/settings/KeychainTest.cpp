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
    environment.insert(QStringLiteral("GLINT_KEYCHAIN_CHILD"), QStringLiteral("1"));
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
    const QStringList attributes{QStringLiteral("service"), QStringLiteral("org.glint.Glint"),
                                 QStringLiteral("account"), account};
    EXPECT_EQ(keychain.read(account), StoredSecret{});
    ASSERT_EQ(run(QStringLiteral("secret-tool"),
                  QStringList{QStringLiteral("store"), QStringLiteral("--label=Glint")} + attributes,
                  "sk-ant-from-the-shell"),
              0);
    EXPECT_EQ(keychain.read(account), StoredSecret::found(QStringLiteral("sk-ant-from-the-shell")));
    // Another tool's item beside it, stored later (the service keeps times in seconds): the newest is the key.
    QThread::msleep(1100);
    ASSERT_EQ(run(QStringLiteral("secret-tool"),
                  QStringList{QStringLiteral("store"), QStringLiteral("--label=Other")} + attributes +
                      QStringList{QStringLiteral("tool"), QStringLiteral("other")},
                  "sk-ant-newer"),
              0);
    EXPECT_EQ(keychain.read(account), StoredSecret::found(QStringLiteral("sk-ant-newer")));
    EXPECT_EQ(Keychain(QStringLiteral("org.other.App")).read(account), StoredSecret{}) << "the service must match";

    // That one item per account is left is tested with the settings window (SettingsKeyringTest).
    for (const QString &value : {QStringLiteral("first ключ"), QStringLiteral("second"), QString()}) {
        keychain.write(account, value);
        EXPECT_EQ(keychain.read(account), StoredSecret::found(value)) << "an empty key is cleared, not deleted";
    }
}

// No Secret Service on the bus at all: no answer, quickly, and a write that is lost without a hang.
TEST(KeychainWithoutService, SaysThereWasNoAnswerWithoutBlocking)
{
    if (!qEnvironmentVariableIsSet("GLINT_KEYCHAIN_CHILD")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/glint-bus"));
        runChild(QStringLiteral("KeychainWithoutService.*"), env);
        return;
    }
    Keychain keychain(SettingsManager::keychainService, std::chrono::milliseconds(1500));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(keychain.read(QStringLiteral("apiKey.anthropic")).status, StoredSecret::Status::NoAnswer);
    keychain.write(QStringLiteral("apiKey.anthropic"), QStringLiteral("lost"));
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
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        env.remove(QStringLiteral("DISPLAY"));
        const QString script = QStringLiteral(
            "printf glint-locked | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &"
            " keyring=$!; for i in $(seq 100); do dbus-send --session --print-reply --dest=org.freedesktop.DBus /"
            " org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets | grep -q 'boolean true' && break;"
            " sleep 0.05; done; \"$@\"; status=$?; kill $keyring; exit $status");
        runChild(QStringLiteral("KeychainLocked.*"), env,
                 {QStringLiteral("dbus-run-session"), QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                  script, QStringLiteral("sh")});
        return;
    }
    Keychain keychain(SettingsManager::keychainService, std::chrono::seconds(3));
    keychain.write(QStringLiteral("apiKey.anthropic"), QStringLiteral("sk-ant-locked"));
    ASSERT_EQ(keychain.read(QStringLiteral("apiKey.anthropic")), StoredSecret::found(QStringLiteral("sk-ant-locked")));
    ASSERT_EQ(run(QStringLiteral("dbus-send"),
                  {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                   QStringLiteral("--dest=org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
                   QStringLiteral("org.freedesktop.Secret.Service.Lock"),
                   QStringLiteral("array:objpath:/org/freedesktop/secrets/collection/login")}),
              0);
    const StoredSecret locked = keychain.read(QStringLiteral("apiKey.anthropic"));
    EXPECT_FALSE(locked.isKnown()) << int(locked.status);
    EXPECT_TRUE(locked.problem().startsWith(u"The keyring is locked")) << locked.problem().toStdString();
}

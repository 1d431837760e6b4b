#include "settings/Keychain.h"
#include "settings/SettingsManager.h"
#include "support/PrivateKeyring.h"

#include <QElapsedTimer>
#include <QProcess>
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
        EXPECT_EQ(keychain.write(account, value, {}), QString());
        EXPECT_EQ(keychain.read(account), StoredSecret::found(value)) << "an empty key is cleared, not deleted";
    }
}

// No Secret Service on the bus at all: no answer, quickly, and a write that says it stored nothing.
TEST(KeychainWithoutService, SaysThereWasNoAnswerWithoutBlocking)
{
    if (!PrivateKeyring::isChild()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, u"unix:path=/nonexistent/glint-bus"_qs);
        PrivateKeyring::runChild(u"KeychainWithoutService.*"_qs, env);
        return;
    }
    Keychain keychain(SettingsManager::keychainService);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(keychain.read(u"apiKey.anthropic"_qs).status, StoredSecret::Status::NoAnswer);
    EXPECT_TRUE(keychain.write(u"apiKey.anthropic"_qs, u"lost"_qs, {}).startsWith(u"The key was not saved: "));
    EXPECT_LT(timer.elapsed(), 3500);
}

// The keyring locked after the key was stored, and its unlock prompt dismissed: a read must not pass for
// "no key", and a write must say it stored nothing, until the keyring is unlocked again.
TEST(KeychainLocked, ALockedKeyringIsNotAMissingKeyAndKeepsItsKey)
{
    if (!PrivateKeyring::isChild()) {
        if (!secretServiceExpected())
            GTEST_SKIP() << "needs the gnome-keyring of scripts/test";
        PrivateKeyring::runInPrivateSession(u"KeychainLocked.*"_qs);
        return;
    }
    const QString account = u"apiKey.anthropic"_qs;
    Keychain keychain(SettingsManager::keychainService);
    ASSERT_EQ(keychain.write(account, u"sk-ant-leaked"_qs, {}), QString());
    ASSERT_EQ(keychain.read(account), StoredSecret::found(u"sk-ant-leaked"_qs));
    ASSERT_TRUE(PrivateKeyring::lockLogin());
    const StoredSecret locked = keychain.read(account);
    EXPECT_FALSE(locked.isKnown()) << int(locked.status);
    EXPECT_TRUE(locked.problem().startsWith(u"The keyring is locked")) << locked.problem().toStdString();

    int waits = 0;
    EXPECT_EQ(keychain.write(account, u"sk-ant-new"_qs, [&] { ++waits; }), SecretStore::lockedOnWrite());
    EXPECT_EQ(waits, 1) << "the unlock prompt was waited on";
    ASSERT_TRUE(PrivateKeyring::unlockLogin());
    EXPECT_EQ(keychain.read(account), StoredSecret::found(u"sk-ant-leaked"_qs)) << "nothing stored while locked";
    EXPECT_EQ(keychain.write(account, u"sk-ant-new"_qs, [&] { ++waits; }), QString());
    EXPECT_EQ(keychain.read(account), StoredSecret::found(u"sk-ant-new"_qs));
    EXPECT_EQ(waits, 1);

    // Given up while a prompt is open (here: before it), a write ends at once instead of waiting on it.
    keychain.stopWaiting();
    EXPECT_FALSE(keychain.write(account, u"sk-ant-later"_qs, {}).isEmpty());
}

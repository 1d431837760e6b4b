#include "app/APIKeyRow.h"
#include "app/KeyStorageCheck.h"
#include "app/SettingsView.h"
#include "settings/Keychain.h"
#include "settings/SettingsManager.h"
#include "support/PrivateKeyring.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QByteArray secretTool(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels); // search lists the attributes on standard error
    tool.start(u"secret-tool"_qs, arguments);
    tool.write(input);
    tool.closeWriteChannel();
    tool.waitForFinished();
    return tool.readAll();
}

} // namespace

// A key stored from a shell as the README says, then changed in the settings window: the application
// reads the new key, and the keyring holds one item for the account, not two.
TEST(SettingsKeyringTest, AKeyStoredFromTheShellIsReplacedByTheSettingsWindow)
{
    const QString account = SettingsManager::openAIKeyAccount;
    const QStringList attributes{u"service"_qs, SettingsManager::keychainService, u"account"_qs, account};
    secretTool(QStringList{u"store"_qs, u"--label=Glint"_qs} + attributes, "sk-from-shell");

    QTemporaryDir dir;
    SettingsManager settings(dir.filePath(u"glint.conf"_qs));
    const Keychain keychain(SettingsManager::keychainService);
    SettingsView view(settings);
    view.show();
    APIKeyRow *row = view.openAIKeyRow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return row->isSet(); }));
    EXPECT_TRUE(row->input()->text().isEmpty()) << "the key itself is never shown";

    row->clearButton()->click();
    QTRY_VERIFY(!row->isSet());
    row->input()->setText(u"sk-from-settings"_qs);
    row->saveButton()->click();
    QTRY_VERIFY(row->isSet());
    EXPECT_EQ(keychain.read(account), StoredSecret::found(u"sk-from-settings"_qs));
    EXPECT_EQ(settings.keychainRead(account).value, u"sk-from-settings");
    EXPECT_EQ(secretTool(QStringList{u"search"_qs, u"--all"_qs} + attributes).count("attribute.account = "), 1);

    // A new window knows the key is set without reading it into a field.
    SettingsView reopened(settings);
    reopened.show();
    EXPECT_TRUE(reopened.openAIKeyRow()->isSet());
    reopened.openAIKeyRow()->clearButton()->click();
    QTRY_VERIFY(!reopened.openAIKeyRow()->isSet());
    EXPECT_EQ(keychain.read(account), StoredSecret::found(QString())) << "cleared, not deleted";
    EXPECT_FALSE(row->isSet()) << "every open window follows";
}

// A leaked key is replaced while the keyring is locked and its unlock prompt dismissed: neither Clear nor
// Save pretends to have worked, what is stored stays, and once the keyring is unlocked the new key is saved.
TEST(SettingsKeyringTest, ASaveIntoALockedKeyringSaysSoAndKeepsTheOldKey)
{
    if (!PrivateKeyring::isChild()) {
        if (!qEnvironmentVariableIsSet("GLINT_TEST_ENV"))
            GTEST_SKIP() << "needs the gnome-keyring of scripts/test";
        PrivateKeyring::runInPrivateSession(u"SettingsKeyringTest.ASaveIntoALockedKeyring*"_qs);
        return;
    }
    const QString account = SettingsManager::anthropicKeyAccount;
    secretTool(
        {u"store"_qs, u"--label=Glint"_qs, u"service"_qs, SettingsManager::keychainService, u"account"_qs, account},
        "sk-leaked");
    QTemporaryDir dir;
    SettingsManager settings(dir.filePath(u"glint.conf"_qs));
    const Keychain keychain(SettingsManager::keychainService);
    SettingsView view(settings);
    view.show();
    APIKeyRow *row = view.anthropicKeyRow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return row->isSet(); }));

    const auto lockedTry = [&](QPushButton *button, const QString &kept) {
        ASSERT_TRUE(PrivateKeyring::lockLogin());
        button->click();
        QTRY_COMPARE(row->noteLabel()->text(), SecretStore::lockedOnWrite());
        ASSERT_TRUE(PrivateKeyring::unlockLogin());
        EXPECT_EQ(keychain.read(account), StoredSecret::found(kept));
    };
    lockedTry(row->clearButton(), u"sk-leaked"_qs);
    EXPECT_TRUE(row->isSet()) << "the key is still there";
    row->clearButton()->click();
    QTRY_VERIFY(!row->isSet());

    row->input()->setText(u"sk-new"_qs);
    lockedTry(row->saveButton(), QString());
    EXPECT_FALSE(row->isSet()) << "no ✔ for a key that was not stored";
    EXPECT_EQ(row->input()->text(), u"sk-new") << "the typed key stays for the next try";
    row->saveButton()->click();
    QTRY_VERIFY(row->isSet());
    EXPECT_TRUE(row->noteLabel()->isHidden());
    EXPECT_EQ(keychain.read(account), StoredSecret::found(u"sk-new"_qs));
}

// The key storage row asks the bus: the test session's keyring answers, unlocked; on a bus where no
// Secret Service runs the row says what to install.
TEST(KeyStorageCheckTest, TheRowFollowsWhatTheBusAnswers)
{
    QProcess daemon;
    daemon.start(u"dbus-daemon"_qs, {u"--session"_qs, u"--nofork"_qs, u"--print-address=1"_qs});
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
        const struct {
            const char *name;
            QDBusConnection bus;
            bool granted;
        } cases[] = {
            {"the session's keyring", QDBusConnection::sessionBus(), true},
            {"no Secret Service", QDBusConnection::connectToBus(address, u"bare"_qs), false},
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(c.name);
            ASSERT_TRUE(c.bus.isConnected());
            const KeyStorageCheck check(c.bus);
            check.status();
            QTest::qWait(500); // the answer comes at once; a missing service is reported as quickly
            QTRY_COMPARE_WITH_TIMEOUT(check.status().granted, c.granted, 5000);
            if (!c.granted) {
                EXPECT_TRUE(check.status().problem.contains(u"gnome-keyring"));
                EXPECT_FALSE(check.status().blocking);
            }
        }
    }
    QDBusConnection::disconnectFromBus(u"bare"_qs);
    daemon.terminate();
    daemon.waitForFinished(5000);
}

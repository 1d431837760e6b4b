#include "settings/Keychain.h"
#include "settings/SettingsManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
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

TEST_F(KeychainTest, ReadsAKeyStoredWithSecretTool)
{
    const QString account = freshAccount();
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("store"), QStringLiteral("--label=Glint"), QStringLiteral("service"),
                QStringLiteral("org.glint.Glint"), QStringLiteral("account"), account});
    ASSERT_TRUE(tool.waitForStarted());
    tool.write("sk-ant-from-the-shell");
    tool.closeWriteChannel();
    ASSERT_TRUE(tool.waitForFinished());
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();

    EXPECT_EQ(keychain.read(account), QStringLiteral("sk-ant-from-the-shell"));
    EXPECT_EQ(Keychain(QStringLiteral("org.other.App")).read(account), std::nullopt) << "the service must match";
}

TEST_F(KeychainTest, WritesReplaceAndAnEmptyValueClears)
{
    const QString account = freshAccount();
    EXPECT_EQ(keychain.read(account), std::nullopt);
    keychain.write(account, QStringLiteral("first ключ"));
    EXPECT_EQ(keychain.read(account), QStringLiteral("first ключ"));
    keychain.write(account, QStringLiteral("second"));
    EXPECT_EQ(keychain.read(account), QStringLiteral("second"));
    keychain.write(account, QString());
    EXPECT_EQ(keychain.read(account), QString()) << "cleared, not deleted: callers treat empty as not set";

    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("account"), account});
    ASSERT_TRUE(tool.waitForFinished());
    EXPECT_EQ(QString::fromUtf8(tool.readAllStandardOutput()).count(QStringLiteral("attribute.account = ")), 1)
        << "one item per account";
}

// Run in a child process whose session bus address leads nowhere.
TEST(KeychainWithoutService, ReadYieldsNoKeyAndWriteIsSilentWithoutBlocking)
{
    if (!qEnvironmentVariableIsSet("GLINT_KEYCHAIN_CHILD")) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GLINT_KEYCHAIN_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/glint-bus"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=KeychainWithoutService.*")});
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().constData();
        return;
    }
    Keychain keychain(SettingsManager::keychainService, std::chrono::milliseconds(1500));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(keychain.read(QStringLiteral("apiKey.anthropic")), std::nullopt);
    keychain.write(QStringLiteral("apiKey.anthropic"), QStringLiteral("lost"));
    EXPECT_LT(timer.elapsed(), 3500);
}

#include "app/APIKeyRow.h"
#include "app/SettingsView.h"
#include "settings/Keychain.h"
#include "settings/SettingsManager.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The settings window's key rows against the session's real Secret Service.
TEST(SettingsKeyringTest, KeyRowsWriteToTheSecretService)
{
    QTemporaryDir dir;
    SettingsManager settings(dir.filePath(QStringLiteral("glint.conf")));
    const Keychain keychain(SettingsManager::keychainService);
    SettingsView view(settings);
    view.show();

    APIKeyRow *row = view.openAIKeyRow();
    row->input()->setText(QStringLiteral("sk-test-e2e"));
    row->saveButton()->click();
    EXPECT_EQ(keychain.read(SettingsManager::openAIKeyAccount), u"sk-test-e2e");

    // A new window reads only whether the key exists.
    SettingsView reopened(settings);
    reopened.show();
    EXPECT_TRUE(reopened.openAIKeyRow()->isSet());
    EXPECT_TRUE(reopened.openAIKeyRow()->input()->text().isEmpty());

    reopened.openAIKeyRow()->clearButton()->click();
    EXPECT_EQ(keychain.read(SettingsManager::openAIKeyAccount).value_or(QString()), QString());
    EXPECT_FALSE(reopened.openAIKeyRow()->isSet());
}

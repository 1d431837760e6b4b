#include "app/APIKeyRow.h"
#include "app/HotkeyCaptureSheet.h"
#include "app/PermissionChecker.h"
#include "app/PermissionRow.h"
#include "app/PermissionsView.h"
#include "app/SettingsRootView.h"
#include "app/SettingsView.h"
#include "input/ModifierFlags.h"
#include "settings/SettingsManager.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {
namespace Flag = ModifierFlags;

struct MemorySecrets : SecretStore {
    std::shared_ptr<QHash<QString, QString>> items = std::make_shared<QHash<QString, QString>>();
    std::optional<QString> read(const QString &account) const override
    {
        return items->contains(account) ? std::optional(items->value(account)) : std::nullopt;
    }
    void write(const QString &account, const QString &value) override { items->insert(account, value); }
};

struct SwitchablePermissions : PermissionChecker {
    bool input = true, screen = true, microphone = true;
    bool hasGlobalInput() const override { return input; }
    bool canCaptureScreen() const override { return screen; }
    bool hasMicrophone() const override { return microphone; }
    bool openSettings(MissingPermission) const override { return false; }
};

class SettingsWindowTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::shared_ptr<QHash<QString, QString>> keys;
    std::unique_ptr<SettingsManager> settings;
    SwitchablePermissions permissions;

    void SetUp() override
    {
        auto secrets = std::make_unique<MemorySecrets>();
        keys = secrets->items;
        settings = std::make_unique<SettingsManager>(dir.filePath(QStringLiteral("glint.conf")), std::move(secrets));
    }

    // The value stored on disk, as a fresh load sees it.
    QVariant stored(const QString &key) const
    {
        return QSettings(dir.filePath(QStringLiteral("glint.conf")), QSettings::IniFormat).value(key);
    }
};

TEST(SettingsViewTextTest, DescriptionsOfHotkeyAndQuickDraw)
{
    EXPECT_EQ(SettingsView::hotkeyDescription(49, 786432), u"⌃⌥Space");
    EXPECT_EQ(SettingsView::hotkeyDescription(40, Flag::command | Flag::shift), u"⇧⌘Key(40)");
    EXPECT_EQ(SettingsView::keyCodeToString(48), u"Tab");
    EXPECT_EQ(SettingsView::keyCodeToString(36), u"Return");

    EXPECT_EQ(SettingsView::quickDrawDescription(1572864, true), u"⌥⌘ + Click or Middle Mouse Button");
    EXPECT_EQ(SettingsView::quickDrawDescription(Flag::function, true), u"fn + Click or Middle Mouse Button");
    EXPECT_EQ(SettingsView::quickDrawDescription(Flag::control | Flag::shift, false), u"⌃ + Click");
    EXPECT_EQ(SettingsView::quickDrawDescription(0, false), u"Quick draw is disabled until a trigger is enabled.");
}

TEST_F(SettingsWindowTest, ActivationControlsWriteThroughAndFollowTheSettings)
{
    SettingsView view(*settings);
    QSignalSpy restarts(settings.get(), &SettingsManager::quickDrawModifiersChanged);
    EXPECT_TRUE(view.quickDrawToggle(Flag::command)->isChecked());
    EXPECT_TRUE(view.quickDrawToggle(Flag::option)->isChecked());
    EXPECT_FALSE(view.quickDrawToggle(Flag::control)->isChecked());

    view.quickDrawToggle(Flag::command)->click();
    view.quickDrawToggle(Flag::option)->click();
    view.middleMouseToggle()->click();
    EXPECT_EQ(settings->quickDrawModifiers(), 0);
    EXPECT_FALSE(settings->quickDrawMiddleMouseEnabled());
    EXPECT_EQ(stored(QStringLiteral("quickDrawModifiers")).toInt(), 0);
    EXPECT_EQ(view.quickDrawLabel()->text(), u"Quick draw is disabled until a trigger is enabled.");
    EXPECT_EQ(restarts.count(), 2);

    view.quickDrawToggle(Flag::function)->click();
    view.middleMouseToggle()->click();
    EXPECT_EQ(settings->quickDrawModifiers(), int(Flag::function));
    EXPECT_EQ(view.quickDrawLabel()->text(), u"fn + Click or Middle Mouse Button");

    settings->setHotkeyKeyCode(40);
    settings->setHotkeyModifiers(int(Flag::command | Flag::shift));
    EXPECT_EQ(view.hotkeyLabel()->text(), u"⇧⌘Key(40)");

    QSignalSpy change(&view, &SettingsView::changeHotkeyRequested);
    view.changeHotkeyButton()->click();
    EXPECT_EQ(change.count(), 1);
}

TEST_F(SettingsWindowTest, GuidanceAndSubmitModeAreStored)
{
    SettingsView view(*settings);
    view.systemPromptEditor()->setPlainText(QStringLiteral("Answer in French."));
    EXPECT_EQ(settings->systemPrompt(), u"Answer in French.");
    EXPECT_EQ(stored(QStringLiteral("systemPrompt")).toString(), u"Answer in French.");

    EXPECT_TRUE(view.submitModeChoice()->button(int(SubmitMode::SingleStroke))->isChecked());
    view.submitModeChoice()->button(int(SubmitMode::ManualSubmit))->click();
    EXPECT_EQ(settings->submitMode(), SubmitMode::ManualSubmit);
}

TEST_F(SettingsWindowTest, KeysAreSavedAndClearedWithoutEverBeingShown)
{
    keys->insert(SettingsManager::openAIKeyAccount, QStringLiteral("sk-old"));
    SettingsView view(*settings);
    view.show();
    APIKeyRow *anthropic = view.anthropicKeyRow();
    EXPECT_FALSE(anthropic->isSet());
    EXPECT_TRUE(view.openAIKeyRow()->isSet());
    EXPECT_EQ(anthropic->input()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(anthropic->saveButton()->isEnabled());

    QTest::keyClicks(anthropic->input(), QStringLiteral("  "));
    ASSERT_TRUE(anthropic->saveButton()->isEnabled()); // blanks are stored as typed
    anthropic->input()->setText(QStringLiteral("sk-ant-123"));
    anthropic->saveButton()->click();
    EXPECT_EQ(keys->value(SettingsManager::anthropicKeyAccount), u"sk-ant-123");
    EXPECT_TRUE(anthropic->isSet());
    EXPECT_TRUE(anthropic->input()->text().isEmpty());

    view.openAIKeyRow()->clearButton()->click();
    EXPECT_EQ(keys->value(SettingsManager::openAIKeyAccount), QString());
    EXPECT_FALSE(view.openAIKeyRow()->isSet());

    // The optional token for spoken questions.
    APIKeyRow *replicate = view.replicateKeyRow();
    EXPECT_FALSE(replicate->isSet());
    replicate->input()->setText(QStringLiteral("r8_abc"));
    replicate->saveButton()->click();
    EXPECT_EQ(keys->value(SettingsManager::replicateKeyAccount), u"r8_abc");
    EXPECT_TRUE(replicate->isSet());
}

TEST_F(SettingsWindowTest, RootViewFollowsTheSelectedTab)
{
    settings->setSettingsSelectedTab(1);
    SettingsRootView root(*settings, permissions);
    EXPECT_EQ(root.currentTab(), 1);
    settings->setSettingsSelectedTab(0);
    EXPECT_EQ(root.currentTab(), 0);
    settings->setSettingsSelectedTab(7);
    EXPECT_EQ(root.currentTab(), 1);
}

TEST_F(SettingsWindowTest, PermissionsViewShowsBannerOrConfirmation)
{
    permissions.input = true;
    permissions.screen = false;
    permissions.microphone = false;
    EXPECT_EQ(permissions.checkRequired(), QList{MissingPermission::ScreenRecording});
    EXPECT_EQ(permissions.checkAll(), (QList{MissingPermission::ScreenRecording, MissingPermission::Microphone}));

    PermissionsView view(permissions);
    EXPECT_TRUE(view.isWarningShown());
    EXPECT_TRUE(view.row(MissingPermission::Accessibility)->isGranted());
    EXPECT_FALSE(view.row(MissingPermission::ScreenRecording)->isGranted());

    permissions.screen = true;
    view.refresh();
    EXPECT_FALSE(view.isWarningShown());
    EXPECT_FALSE(view.isConfirmationShown()); // microphone still missing
    EXPECT_TRUE(permissions.checkRequired().isEmpty());
    // Nothing to grant for a microphone that is not there: the row says so instead of offering a button.
    PermissionRow *microphone = view.row(MissingPermission::Microphone);
    EXPECT_TRUE(microphone->grantButton()->isHidden());
    EXPECT_FALSE(microphone->missingLabel()->isHidden());
    EXPECT_EQ(microphone->missingLabel()->text(), u"No microphone found");

    permissions.microphone = true;
    view.refresh();
    EXPECT_TRUE(view.isConfirmationShown());
    EXPECT_TRUE(permissions.checkAll().isEmpty());
    EXPECT_EQ(MissingPermissions::fromRawValue(QStringLiteral("screenRecording")), MissingPermission::ScreenRecording);
    EXPECT_EQ(MissingPermissions::fromRawValue(QStringLiteral("Microphone")), std::nullopt);
}

TEST_F(SettingsWindowTest, HotkeyRecorderStoresTheCombinationAndClosesLater)
{
    HotkeyCaptureSheet sheet(*settings);
    QSignalSpy changed(&sheet, &HotkeyCaptureSheet::hotkeyChanged);
    sheet.present();
    QWidget *window = sheet.window();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), u"Change Hotkey");
    EXPECT_EQ(sheet.message(), u"Press your desired key combination...");

    QTest::keyClick(window, Qt::Key_K); // no modifier: ignored
    QTest::keyClick(window, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(sheet.message(), u"Choose a non-modifier key with modifiers.");
    EXPECT_EQ(settings->hotkeyKeyCode(), 49);

    QTest::keyClick(window, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(settings->hotkeyKeyCode(), 40);
    EXPECT_EQ(settings->hotkeyModifiers(), 786432);
    EXPECT_EQ(sheet.message(), u"Saved: K with ⌃⌥");
    EXPECT_EQ(changed.count(), 0); // the monitor restarts when the recorder closes
    EXPECT_TRUE(changed.wait(2000));
    EXPECT_FALSE(sheet.window() && sheet.window()->isVisible());
}

TEST_F(SettingsWindowTest, ClosingTheRecorderKeepsTheHotkey)
{
    HotkeyCaptureSheet sheet(*settings);
    QSignalSpy changed(&sheet, &HotkeyCaptureSheet::hotkeyChanged);
    sheet.present();
    sheet.window()->close();
    QTest::keyClick(sheet.window(), Qt::Key_J, Qt::ControlModifier);
    QTest::qWait(900);
    EXPECT_EQ(settings->hotkeyKeyCode(), 49);
    EXPECT_EQ(changed.count(), 0);
}
} // namespace

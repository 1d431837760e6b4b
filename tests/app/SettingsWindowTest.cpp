#include "SettingsTestFixture.h"
#include "app/APIKeyRow.h"
#include "app/HotkeyCaptureDialog.h"
#include "app/PermissionChecker.h"
#include "app/PermissionRow.h"
#include "app/PermissionsView.h"
#include "app/SettingsRootView.h"
#include "app/SettingsView.h"
#include "app/TrayController.h"
#include "app/UpdateController.h"
#include "app/VoiceSettingsSection.h"
#include "input/ModifierFlags.h"
#include "settings/SettingsManager.h"
#include "support/MemorySecrets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {
namespace Flag = ModifierFlags;

class SettingsWindowTest : public SettingsTestFixture {
protected:
    PermissionChecker &permissions = *checker;

    // The value stored on disk, as a fresh load sees it.
    QVariant stored(const QString &key) const
    {
        return QSettings(dir.filePath(u"glint.conf"_qs), QSettings::IniFormat).value(key);
    }
};

// Linux names throughout; Fn, which X11 has no modifier for, is never shown.
TEST(SettingsViewTextTest, DescriptionsOfHotkeyAndQuickDraw)
{
    const std::pair<QString, QString> texts[] = {
        {SettingsView::hotkeyDescription(49, 786432), u"Ctrl+Alt+Space"_qs},
        {SettingsView::hotkeyDescription(96, Flag::control), u"Ctrl+F5"_qs},
        {SettingsView::hotkeyDescription(36, 0), u"Return"_qs},
        {SettingsView::keyCodeToString(48), u"Tab"_qs},
        {SettingsView::keyCodeToString(52), u"Key(52)"_qs},
        {SettingsView::quickDrawDescription(1572864, true), u"Alt+Super + Click or Middle Mouse Button"_qs},
        {SettingsView::quickDrawDescription(1572864 | Flag::function, false), u"Alt+Super + Click"_qs},
        {SettingsView::quickDrawDescription(Flag::function, true), u"Middle Mouse Button"_qs},
        {SettingsView::quickDrawDescription(Flag::control | Flag::shift, false), u"Ctrl + Click"_qs},
        {SettingsView::quickDrawDescription(Flag::function, false),
         u"Quick draw is disabled until a trigger is enabled."_qs},
    };
    for (const auto &[text, expected] : texts)
        EXPECT_EQ(text, expected);
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
    EXPECT_EQ(stored(u"quickDrawModifiers"_qs).toInt(), 0);
    EXPECT_EQ(view.quickDrawLabel()->text(), u"Quick draw is disabled until a trigger is enabled.");
    EXPECT_EQ(restarts.count(), 2);

    // A stored Fn bit has no toggle and stays as it is.
    EXPECT_EQ(view.quickDrawToggle(Flag::function), nullptr);
    settings->setQuickDrawModifiers(int(Flag::function));
    view.quickDrawToggle(Flag::control)->click();
    view.middleMouseToggle()->click();
    EXPECT_EQ(settings->quickDrawModifiers(), int(Flag::function | Flag::control));
    EXPECT_EQ(view.quickDrawLabel()->text(), u"Ctrl + Click or Middle Mouse Button");

    settings->setHotkeyKeyCode(40);
    settings->setHotkeyModifiers(int(Flag::command | Flag::shift));
    EXPECT_EQ(view.hotkeyLabel()->text(), u"Shift+Super+K");

    QSignalSpy change(&view, &SettingsView::changeHotkeyRequested);
    view.changeHotkeyButton()->click();
    EXPECT_EQ(change.count(), 1);
}

TEST_F(SettingsWindowTest, GuidanceAndSubmitModeAreStored)
{
    SettingsView view(*settings);
    view.systemPromptEditor()->setPlainText(u"Answer in French."_qs);
    EXPECT_EQ(settings->systemPrompt(), u"Answer in French.");
    EXPECT_EQ(stored(u"systemPrompt"_qs).toString(), u"Answer in French.");

    EXPECT_TRUE(view.submitModeChoice()->button(int(SubmitMode::SingleStroke))->isChecked());
    view.submitModeChoice()->button(int(SubmitMode::ManualSubmit))->click();
    EXPECT_EQ(settings->submitMode(), SubmitMode::ManualSubmit);
}

TEST_F(SettingsWindowTest, KeysAreSavedAndClearedWithoutEverBeingShown)
{
    keys->insert(SettingsManager::openAIKeyAccount, u"sk-old"_qs);
    SettingsView view(*settings);
    view.show();
    APIKeyRow *anthropic = view.anthropicKeyRow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.openAIKeyRow()->isSet(); })) << "known once the keychain answers";
    EXPECT_FALSE(anthropic->isSet());
    EXPECT_EQ(anthropic->input()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(anthropic->saveButton()->isEnabled());

    QTest::keyClicks(anthropic->input(), u"  "_qs);
    ASSERT_TRUE(anthropic->saveButton()->isEnabled()); // blanks are stored as typed
    // A locked keyring: the row waits, then says so; nothing is stored and the typed key stays for another try.
    keys->setUnreadable(StoredSecret::Status::Locked);
    QSignalSpy waited(settings.get(), &SettingsManager::keychainWaitingForUnlock);
    anthropic->input()->setText(u"sk-ant-123"_qs);
    anthropic->saveButton()->click();
    QTRY_COMPARE(waited.size(), 1);
    QTRY_COMPARE(anthropic->noteLabel()->text(), SecretStore::lockedOnWrite()); // whichever arrived first
    EXPECT_FALSE(anthropic->isSet());
    EXPECT_EQ(anthropic->input()->text(), u"sk-ant-123");
    EXPECT_TRUE(anthropic->saveButton()->isEnabled());
    EXPECT_FALSE(keys->keys.contains(SettingsManager::anthropicKeyAccount));

    keys->setUnreadable(StoredSecret::Status::Found);
    anthropic->saveButton()->click();
    QTRY_VERIFY(anthropic->isSet());
    EXPECT_EQ(keys->value(SettingsManager::anthropicKeyAccount), u"sk-ant-123");
    EXPECT_TRUE(anthropic->input()->text().isEmpty());
    EXPECT_TRUE(anthropic->noteLabel()->isHidden());

    view.openAIKeyRow()->clearButton()->click();
    QTRY_VERIFY(!view.openAIKeyRow()->isSet());
    EXPECT_EQ(keys->value(SettingsManager::openAIKeyAccount), QString());

    // The optional token for spoken questions.
    APIKeyRow *replicate = view.replicateKeyRow();
    EXPECT_FALSE(replicate->isSet());
    replicate->input()->setText(u"r8_abc"_qs);
    replicate->saveButton()->click();
    QTRY_VERIFY(replicate->isSet());
    EXPECT_EQ(keys->value(SettingsManager::replicateKeyAccount), u"r8_abc");
}

TEST_F(SettingsWindowTest, TheCompatibleServerSectionWritesThroughAndItsKeyIsOptional)
{
    SettingsView view(*settings);
    view.show();
    QTest::keyClicks(view.compatibleBaseURLField(), u"http://gpu-box.lan:8000/v1"_qs);
    QTest::keyClicks(view.compatibleModelField(), u"qwen2.5vl"_qs);
    view.allowUnencryptedToggle()->click();
    EXPECT_EQ(settings->compatibleBaseURL(), u"http://gpu-box.lan:8000/v1");
    EXPECT_EQ(settings->compatibleModel(), u"qwen2.5vl");
    EXPECT_TRUE(settings->compatibleAllowUnencrypted());
    // Allowed for that server only: the box follows the address typed.
    const std::pair<QString, bool> edits[] = {
        {u"http://other-box.lan:8000/v1"_qs, false},
        {u"http://gpu-box.lan:8000/v1"_qs, true},
    };
    for (const auto &[url, allowed] : edits) {
        view.compatibleBaseURLField()->selectAll();
        QTest::keyClicks(view.compatibleBaseURLField(), url);
        EXPECT_EQ(view.allowUnencryptedToggle()->isChecked(), allowed) << url.toStdString();
        EXPECT_EQ(settings->compatibleAllowUnencrypted(), allowed);
    }

    view.compatibleKeyRow()->input()->setText(u"sk-local"_qs);
    view.compatibleKeyRow()->saveButton()->click();
    SettingsManager::waitForKeychain();
    EXPECT_EQ(keys->value(SettingsManager::compatibleKeyAccount), u"sk-local");

    settings->setCompatibleModel(u"llava:13b"_qs); // chosen in the panel's model menu
    EXPECT_EQ(view.compatibleModelField()->text(), u"llava:13b");
}

// Each step of setting voice questions up, and what the section then says about them.
TEST_F(SettingsWindowTest, TheVoiceSectionSaysWhatVoiceQuestionsNeed)
{
    SettingsView view(*settings);
    view.show();
    VoiceSettingsSection *voice = view.voiceSection();
    const auto choose = [voice](int index) {
        voice->serviceChoice()->setCurrentIndex(index);
        Q_EMIT voice->serviceChoice()->activated(index);
    };
    const auto type = [](QLineEdit *field, const QString &text) {
        field->selectAll();
        QTest::keyClicks(field, text);
    };
    const struct {
        const char *step;
        std::function<void()> act;
        QString says;
    } steps[] = {
        {"nothing set up", [] {}, u"For voice, add an OpenAI key, a Replicate token or a server model in Settings."_qs},
        {"an OpenAI key",
         [&] {
             keys->insert(SettingsManager::openAIKeyAccount, u"sk-voice"_qs);
             settings->refreshAPIKeys();
         },
         u"Hold Enter or the microphone to ask by voice; OpenAI transcribes."_qs},
        {"the server chosen", [&] { choose(3); }, u"For voice, add your server's address in Settings."_qs},
        {"its address", [&] { type(view.compatibleBaseURLField(), u"http://localhost:8000/v1"_qs); },
         u"For voice, add your server's transcription model in Settings."_qs},
        {"its model", [&] { type(voice->serverModelField(), u"whisper-1"_qs); },
         u"Hold Enter or the microphone to ask by voice; your OpenAI-compatible server transcribes."_qs},
        {"a language that is no code",
         [&] {
             type(voice->languageField(), u"German"_qs);
             EXPECT_EQ(settings->transcriptionLanguage(), QString()) << "the service decides meanwhile";
         },
         u"Enter the language as a two-letter code such as en or de, or leave it empty."_qs},
        {"a code", [&] { type(voice->languageField(), u"DE"_qs); },
         u"Hold Enter or the microphone to ask by voice; your OpenAI-compatible server transcribes."_qs},
        {"Replicate chosen", [&] { choose(1); }, u"For voice, add a Replicate token in Settings."_qs},
    };
    for (const auto &step : steps) {
        step.act();
        EXPECT_TRUE(QTest::qWaitFor([&] { return voice->availabilityLabel()->text() == step.says; }))
            << step.step << ": " << voice->availabilityLabel()->text().toStdString();
    }
    EXPECT_EQ(stored(u"transcriptionService"_qs).toString(), u"replicate");
    EXPECT_EQ(stored(u"compatibleTranscriptionModel"_qs).toString(), u"whisper-1");
    EXPECT_EQ(stored(u"transcriptionLanguage"_qs).toString(), u"de");
}

TEST_F(SettingsWindowTest, RootViewFollowsTheSelectedTab)
{
    settings->setSettingsSelectedTab(1);
    SettingsRootView root(*settings, permissions);
    EXPECT_EQ(root.currentTab(), 1);
    if (const QString artifacts = qEnvironmentVariable("GLINT_ARTIFACTS_DIR"); !artifacts.isEmpty()) {
        root.resize(520, 580);
        QDir().mkpath(artifacts);
        root.grab().save(QDir(artifacts).filePath(u"settings-permissions.png"_qs));
        settings->setSettingsSelectedTab(0);
        root.grab().save(QDir(artifacts).filePath(u"settings-general.png"_qs));
        settings->setSettingsSelectedTab(1);
    }
    settings->setSettingsSelectedTab(0);
    EXPECT_EQ(root.currentTab(), 0);
    settings->setSettingsSelectedTab(7);
    EXPECT_EQ(root.currentTab(), 1);
}

TEST_F(SettingsWindowTest, PermissionRowsFollowTheirChecks)
{
    using P = MissingPermission;
    checks[P::Microphone]->blocks = checks[P::KeyStorage]->blocks = false; // as the real ones
    const PermissionStatus granted{true, false, {}, {}};
    const PermissionStatus noCapture{false, true, u"The display cannot be read."_qs, {}};
    const PermissionStatus noMicrophone{false, false, u"No microphone found."_qs, u"Sound Settings..."_qs};
    const PermissionStatus locked{false, false, u"Your keyring is locked."_qs, u"Unlock..."_qs};
    const struct {
        const char *name;
        QHash<P, PermissionStatus> statuses; // the others granted
        QString takenHotkey;
        QList<P> required;
        QList<P> all;
        bool warning;
        bool confirmation;
        QString withoutShortcuts = {}; // why the desktop gives no global shortcut
    } cases[] = {
        {"all granted", {}, {}, {}, {}, false, true},
        {"screen capture blocks",
         {{P::ScreenCapture, noCapture}},
         {},
         {P::ScreenCapture},
         {P::ScreenCapture},
         true,
         false},
        {"optional and key storage never block",
         {{P::Microphone, noMicrophone}, {P::KeyStorage, locked}},
         {},
         {},
         {P::Microphone, P::KeyStorage},
         false,
         false},
        {"a taken hotkey does not block", {}, u"Ctrl+Alt+Space"_qs, {}, {P::GlobalHotkey}, false, false},
        {"a desktop without global shortcuts does not block",
         {},
         {},
         {},
         {P::GlobalHotkey},
         false,
         false,
         u"no-global-shortcuts"_qs},
        {"a desktop that bound nothing does not block",
         {},
         {},
         {},
         {P::GlobalHotkey},
         false,
         false,
         u"global-shortcuts-none-bound"_qs},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (P permission : MissingPermissions::all)
            checks[permission]->current = c.statuses.value(permission, granted);
        permissions.setHotkeyTaken(c.takenHotkey);
        permissions.setGlobalShortcutsMissing(c.withoutShortcuts);
        const int optionalAsked = checks[P::Microphone]->asked;
        EXPECT_EQ(permissions.checkRequired(), c.required);
        EXPECT_EQ(checks[P::Microphone]->asked, optionalAsked) << "asked at every press";
        EXPECT_EQ(permissions.checkAll(), c.all);

        PermissionsView view(permissions);
        EXPECT_EQ(view.isWarningShown(), c.warning);
        EXPECT_EQ(view.isConfirmationShown(), c.confirmation);
        for (P permission : MissingPermissions::all) {
            const PermissionStatus status = permissions.status(permission);
            PermissionRow *row = view.row(permission);
            EXPECT_EQ(row->isGranted(), status.granted);
            // A missing one says what is wrong, and offers its action only when it has one.
            if (!status.granted) {
                EXPECT_EQ(row->detailLabel()->text(), status.problem);
            }
            EXPECT_EQ(row->grantButton()->isHidden(), status.action.isEmpty());
            EXPECT_EQ(row->grantButton()->text(), status.action);
        }
        if (!c.withoutShortcuts.isEmpty()) {
            permissions.act(P::GlobalHotkey);
            EXPECT_EQ(QGuiApplication::clipboard()->text(), u"glint annotate");
        }
    }
}

TEST_F(SettingsWindowTest, RowButtonsActAndATakenHotkeyOffersAnother)
{
    int changeRequests = 0;
    permissions.setChangeHotkey([&] { ++changeRequests; });
    checks[MissingPermission::KeyStorage]->current = {false, false, u"locked"_qs, u"Unlock..."_qs};
    permissions.setHotkeyTaken(u"Ctrl+Alt+Space"_qs);
    PermissionsView view(permissions);
    EXPECT_TRUE(view.row(MissingPermission::GlobalHotkey)
                    ->detailLabel()
                    ->text()
                    .startsWith(u"Ctrl+Alt+Space is already taken"));

    view.row(MissingPermission::KeyStorage)->grantButton()->click();
    view.row(MissingPermission::GlobalHotkey)->grantButton()->click();
    EXPECT_EQ(checks[MissingPermission::KeyStorage]->acted, 1);
    EXPECT_EQ(changeRequests, 1);
    EXPECT_EQ(checks[MissingPermission::GlobalHotkey]->acted, 0);

    // The icons take the colour of their state: green granted, orange missing.
    const auto iconColor = [&](MissingPermission permission) {
        const QImage icon = view.row(permission)->iconLabel()->pixmap().toImage();
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                if (icon.pixelColor(x, y).alpha() == 255)
                    return icon.pixelColor(x, y);
        return QColor();
    };
    EXPECT_EQ(iconColor(MissingPermission::ScreenCapture), QColor(0x2d, 0xa4, 0x4e));
    EXPECT_EQ(iconColor(MissingPermission::GlobalHotkey), QColor(0xe0, 0x8a, 0x00));

    permissions.setHotkeyTaken(QString()); // the new one was grabbed
    view.refresh();
    EXPECT_TRUE(view.row(MissingPermission::GlobalHotkey)->isGranted());
    EXPECT_EQ(MissingPermissions::fromRawValue(u"screenCapture"_qs), MissingPermission::ScreenCapture);
    EXPECT_EQ(MissingPermissions::fromRawValue(u"ScreenCapture"_qs), std::nullopt);
}

TEST_F(SettingsWindowTest, HotkeyRecorderStoresTheCombinationAndClosesLater)
{
    HotkeyCaptureDialog dialog(*settings);
    QSignalSpy changed(&dialog, &HotkeyCaptureDialog::hotkeyChanged);
    dialog.present();
    QWidget *window = dialog.window();
    ASSERT_TRUE(window);
    EXPECT_EQ(dialog.message(), u"Press your desired key combination...");

    QTest::keyClick(window, Qt::Key_K); // no modifier: ignored
    EXPECT_EQ(dialog.message(), u"Press your desired key combination...");
    // Refused with a reason, the recorder waiting on.
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, QString> refused[] = {
        {Qt::Key_Control, Qt::ControlModifier, u"Choose a non-modifier key with modifiers."_qs},
        {Qt::Key_F13, Qt::ControlModifier, u"This key cannot be used for the hotkey. Choose another key."_qs},
        {Qt::Key_VolumeUp, Qt::AltModifier, u"This key cannot be used for the hotkey. Choose another key."_qs},
        {Qt::Key_1, Qt::ControlModifier | Qt::KeypadModifier,
         u"Keypad keys cannot be used for the hotkey. Choose a key on the main keyboard."_qs},
    };
    for (const auto &[key, modifiers, message] : refused) {
        QTest::keyClick(window, key, modifiers);
        EXPECT_EQ(dialog.message(), message) << key;
        EXPECT_EQ(settings->hotkeyKeyCode(), 49);
    }

    QTest::keyClick(window, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(settings->hotkeyKeyCode(), 40);
    EXPECT_EQ(settings->hotkeyModifiers(), 786432);
    EXPECT_EQ(dialog.message(), u"Saved: K with Ctrl+Alt");
    EXPECT_EQ(changed.count(), 0); // the monitor restarts when the recorder closes
    EXPECT_TRUE(changed.wait(2000));
    EXPECT_FALSE(dialog.window() && dialog.window()->isVisible());
}

TEST_F(SettingsWindowTest, ClosingTheRecorderKeepsTheHotkey)
{
    HotkeyCaptureDialog dialog(*settings);
    QSignalSpy changed(&dialog, &HotkeyCaptureDialog::hotkeyChanged);
    dialog.present();
    dialog.window()->close();
    QTest::keyClick(dialog.window(), Qt::Key_J, Qt::ControlModifier);
    QTest::qWait(900);
    EXPECT_EQ(settings->hotkeyKeyCode(), 49);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(SettingsWindowTest, ChangingTheHotkeyAgainBringsTheOpenRecorderForward)
{
    UpdateController updates{QUrl()};
    TrayController menu(*settings, permissions, updates);
    menu.openHotkeyDialog();
    HotkeyCaptureDialog *first = menu.hotkeyDialog();
    const QPointer<QWidget> window = first->window();
    menu.openHotkeyDialog();
    EXPECT_EQ(menu.hotkeyDialog(), first);
    EXPECT_TRUE(window && window->isVisible());
}
} // namespace

#include "app/SettingsView.h"

#include "app/APIKeyRow.h"
#include "app/StartAtLoginRow.h"
#include "app/VoiceSettingsSection.h"
#include "input/ModifierFlags.h"
#include "input/VirtualKeyMap.h"
#include "platform/DisplayPlatform.h"
#include "settings/SettingsManager.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {
namespace Flag = ModifierFlags;

QLabel *secondaryLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setStyleSheet(QStringLiteral("color: palette(mid);"));
    label->setWordWrap(true);
    return label;
}
} // namespace

SettingsView::SettingsView(SettingsManager &settings, QWidget *parent)
    : QWidget(parent)
    , settings_(settings)
{
    auto *content = new QWidget;
    auto *sections = new QVBoxLayout(content);
    sections->addWidget(apiKeysSection());
    sections->addWidget(compatibleServerSection());
    voice_ = new VoiceSettingsSection(settings_);
    sections->addWidget(voice_);
    sections->addWidget(guidanceSection());
    sections->addWidget(activationSection());
    sections->addWidget(drawingSection());
    sections->addWidget(startupSection());
    sections->addStretch();

    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    connect(&settings_, &SettingsManager::hotkeyKeyCodeChanged, this, &SettingsView::updateTriggers);
    connect(&settings_, &SettingsManager::hotkeyModifiersChanged, this, &SettingsView::updateTriggers);
    connect(&settings_, &SettingsManager::quickDrawModifiersChanged, this, &SettingsView::updateTriggers);
    connect(&settings_, &SettingsManager::quickDrawMiddleMouseEnabledChanged, this, &SettingsView::updateTriggers);
    updateTriggers();
}

QWidget *SettingsView::apiKeysSection()
{
    auto *box = new QGroupBox(tr("API Keys"));
    auto *form = new QFormLayout(box);
    anthropicKey_ = new APIKeyRow(tr("Anthropic API Key"));
    openAIKey_ = new APIKeyRow(tr("OpenAI API Key"));
    form->addRow(tr("Anthropic"), anthropicKey_);
    form->addRow(tr("OpenAI"), openAIKey_);
    // Optional: a Whisper model on Replicate can transcribe spoken questions (see Voice Questions).
    replicateKey_ = new APIKeyRow(tr("Replicate API Token"));
    form->addRow(tr("Replicate"), replicateKey_);
    form->addRow(QString(), secondaryLabel(tr("Optional. Lets you hold Enter or the microphone to ask by voice.")));
    connectKeyRow(anthropicKey_, SettingsManager::anthropicKeyAccount);
    connectKeyRow(openAIKey_, SettingsManager::openAIKeyAccount);
    connectKeyRow(replicateKey_, SettingsManager::replicateKeyAccount);
    return box;
}

void SettingsView::connectKeyRow(APIKeyRow *row, const QString &account)
{
    // Keys are stored as typed; what a provider makes of blanks is its own business.
    const auto save = [this, row, account](const QString &key) {
        row->showSaving();
        // The row shows ✔ or no key once the keychain has stored the change, and keeps it otherwise.
        settings_.keychainWrite(account, key).then(row, [row](const QString &problem) {
            row->showSaveResult(problem);
        });
    };
    connect(row, &APIKeyRow::saveRequested, this, save);
    connect(row, &APIKeyRow::clearRequested, this, [save] { save(QString()); });
    connect(&settings_, &SettingsManager::keychainWaitingForUnlock, row, [row, account](const QString &waiting) {
        if (waiting == account)
            row->showWaitingForUnlock();
    });
    // Only whether a key exists is known here, never the key; it arrives once the keychain answers.
    const auto showState = [this, row, account] { row->setSet(settings_.isAPIKeySet(account)); };
    connect(&settings_, &SettingsManager::apiKeysChanged, row, showState);
    showState();
}

// A server of the user's own that speaks OpenAI's protocol: Ollama, llama.cpp, LM Studio, vLLM...
QWidget *SettingsView::compatibleServerSection()
{
    auto *box = new QGroupBox(tr("OpenAI-Compatible Server"));
    auto *form = new QFormLayout(box);
    compatibleBaseURL_ = new QLineEdit(settings_.compatibleBaseURL());
    compatibleBaseURL_->setPlaceholderText(QStringLiteral("http://localhost:11434/v1"));
    connect(compatibleBaseURL_, &QLineEdit::textEdited, &settings_, &SettingsManager::setCompatibleBaseURL);
    compatibleModel_ = new QLineEdit(settings_.compatibleModel());
    compatibleModel_->setPlaceholderText(tr("for example llama3.2-vision"));
    connect(compatibleModel_, &QLineEdit::textEdited, &settings_, &SettingsManager::setCompatibleModel);
    // The model menu of the panel may choose another model meanwhile.
    connect(&settings_, &SettingsManager::compatibleModelChanged, compatibleModel_, [this] {
        if (compatibleModel_->text() != settings_.compatibleModel())
            compatibleModel_->setText(settings_.compatibleModel());
    });
    compatibleKey_ = new APIKeyRow(tr("API Key (optional)"));
    connectKeyRow(compatibleKey_, SettingsManager::compatibleKeyAccount);
    allowUnencrypted_ = new QCheckBox(tr("Allow an unencrypted connection to this server"));
    allowUnencrypted_->setChecked(settings_.compatibleAllowUnencrypted());
    connect(allowUnencrypted_, &QCheckBox::toggled, &settings_, &SettingsManager::setCompatibleAllowUnencrypted);
    // Allowed for one server only: another base URL shows it unchecked, the first one checked again.
    connect(&settings_, &SettingsManager::compatibleAllowUnencryptedChanged, allowUnencrypted_, [this] {
        const QSignalBlocker blocker(allowUnencrypted_);
        allowUnencrypted_->setChecked(settings_.compatibleAllowUnencrypted());
    });

    form->addRow(tr("Base URL"), compatibleBaseURL_);
    form->addRow(tr("Model"), compatibleModel_);
    form->addRow(tr("Key"), compatibleKey_);
    form->addRow(allowUnencrypted_);
    form->addRow(secondaryLabel(tr("Plain http is used only for this computer unless allowed above: the screenshot "
                                   "and your question would cross the network unencrypted.")));
    return box;
}

QWidget *SettingsView::guidanceSection()
{
    auto *box = new QGroupBox(tr("Things to know"));
    auto *layout = new QVBoxLayout(box);
    systemPrompt_ = new QPlainTextEdit(settings_.systemPrompt());
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(12);
    systemPrompt_->setFont(mono);
    systemPrompt_->setFixedHeight(140);
    connect(systemPrompt_, &QPlainTextEdit::textChanged, this,
            [this] { settings_.setSystemPrompt(systemPrompt_->toPlainText()); });
    layout->addWidget(systemPrompt_);
    layout->addWidget(secondaryLabel(tr("Extra hidden guidance appended to the built-in system prompt.")));
    return box;
}

QWidget *SettingsView::activationSection()
{
    auto *box = new QGroupBox(tr("Activation"));
    auto *layout = new QVBoxLayout(box);

    auto *hotkeyRow = new QHBoxLayout;
    hotkey_ = secondaryLabel(QString());
    changeHotkey_ = new QPushButton(tr("Change…"));
    connect(changeHotkey_, &QPushButton::clicked, this, &SettingsView::changeHotkeyRequested);
    hotkeyRow->addWidget(new QLabel(tr("Hotkey")));
    hotkeyRow->addWidget(hotkey_, 1);
    hotkeyRow->addWidget(changeHotkey_);
    layout->addLayout(hotkeyRow);
    hotkeyProblem_ = new QLabel;
    hotkeyProblem_->setWordWrap(true);
    hotkeyProblem_->setTextFormat(Qt::PlainText);
    hotkeyProblem_->hide();
    layout->addWidget(hotkeyProblem_);

    layout->addWidget(new QLabel(tr("Quick Draw Modifiers")));
    // Fn has no X11 modifier, so it has no toggle; a stored Fn bit is left as it is.
    const std::pair<QString, quint64> toggles[] = {
        {tr("Super"), Flag::command}, {tr("Alt"), Flag::option}, {tr("Ctrl"), Flag::control}};
    for (const auto &[title, flag] : toggles) {
        auto *toggle = new QCheckBox(title);
        toggle->setProperty("flag", flag);
        connect(toggle, &QCheckBox::toggled, this, [this, flag](bool on) {
            const quint64 mask = quint64(settings_.quickDrawModifiers());
            settings_.setQuickDrawModifiers(int(on ? mask | flag : mask & ~flag));
        });
        quickDrawToggles_ << toggle;
        layout->addWidget(toggle);
    }

    middleMouse_ = new QCheckBox(tr("Middle Mouse Button"));
    connect(middleMouse_, &QCheckBox::toggled, &settings_, &SettingsManager::setQuickDrawMiddleMouseEnabled);
    layout->addWidget(middleMouse_);

    quickDrawDescription_ = new QLabel;
    QFont caption = quickDrawDescription_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    quickDrawDescription_->setFont(caption);
    layout->addWidget(quickDrawDescription_);
    return box;
}

QWidget *SettingsView::drawingSection()
{
    auto *box = new QGroupBox(tr("Drawing"));
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(new QLabel(tr("Submit Mode")));
    submitMode_ = new QButtonGroup(this);
    const std::pair<QString, SubmitMode> options[] = {
        {tr("Single Stroke — auto-submit after first stroke"), SubmitMode::SingleStroke},
        {tr("Manual Submit — press Done when ready"), SubmitMode::ManualSubmit}};
    for (const auto &[title, mode] : options) {
        auto *option = new QRadioButton(title);
        option->setChecked(settings_.submitMode() == mode);
        submitMode_->addButton(option, int(mode));
        layout->addWidget(option);
    }
    connect(submitMode_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            settings_.setSubmitMode(SubmitMode(id));
    });
    return box;
}

QWidget *SettingsView::startupSection()
{
    auto *box = new QGroupBox(tr("Startup"));
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(new StartAtLoginRow);
    return box;
}

QCheckBox *SettingsView::quickDrawToggle(quint64 flag) const
{
    for (QCheckBox *toggle : quickDrawToggles_)
        if (toggle->property("flag").toULongLong() == flag)
            return toggle;
    return nullptr;
}

void SettingsView::updateTriggers()
{
    const quint64 mask = quint64(settings_.quickDrawModifiers());
    hotkey_->setText(hotkeyDescription(settings_.hotkeyKeyCode(), quint64(settings_.hotkeyModifiers())));
    for (QCheckBox *toggle : quickDrawToggles_) {
        const quint64 flag = toggle->property("flag").toULongLong();
        const QSignalBlocker blocker(toggle);
        toggle->setChecked((mask & flag) == flag);
    }
    const QSignalBlocker blocker(middleMouse_);
    middleMouse_->setChecked(settings_.quickDrawMiddleMouseEnabled());
    quickDrawDescription_->setText(quickDrawDescription(mask, settings_.quickDrawMiddleMouseEnabled()));
    if (DisplayPlatform::isWayland()) {
        for (QCheckBox *toggle : std::as_const(quickDrawToggles_))
            toggle->setEnabled(false);
        middleMouse_->setEnabled(false);
        quickDrawDescription_->setText(
            tr("Quick draw is not available on Wayland, which does not let applications watch the pointer."));
    }
}

void SettingsView::setHotkeyProblem(const QString &problem)
{
    hotkeyProblem_->setText(problem);
    hotkeyProblem_->setVisible(!problem.isEmpty());
}

void SettingsView::showEvent(QShowEvent *event)
{
    settings_.refreshAPIKeys();
    QWidget::showEvent(event);
}

QString SettingsView::keyCodeToString(int keyCode)
{
    const std::optional<int> key =
        keyCode >= 0 && keyCode <= 0xffff ? VirtualKeyMap::qtKey(quint16(keyCode)) : std::nullopt;
    if (!key)
        return u"Key(" + QString::number(keyCode) + u')';
    return QKeySequence(*key).toString(QKeySequence::NativeText);
}

QString SettingsView::formattedQuickDrawModifiers(quint64 mask)
{
    return Flag::names(mask & ~Flag::shift);
}

QString SettingsView::hotkeyDescription(int keyCode, quint64 modifiers)
{
    const QString names = Flag::names(modifiers);
    return names.isEmpty() ? keyCodeToString(keyCode) : names + u'+' + keyCodeToString(keyCode);
}

QString SettingsView::quickDrawDescription(quint64 quickDrawModifiers, bool middleMouseEnabled)
{
    QStringList parts;
    const QString modifiers = formattedQuickDrawModifiers(Flag::withoutFunction(quickDrawModifiers));
    if (!modifiers.isEmpty())
        parts << modifiers + u" + Click";
    if (middleMouseEnabled)
        parts << QStringLiteral("Middle Mouse Button");
    if (parts.isEmpty())
        return tr("Quick draw is disabled until a trigger is enabled.");
    return parts.join(u" or ");
}

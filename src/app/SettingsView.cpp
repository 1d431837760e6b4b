#include "app/SettingsView.h"

#include "app/APIKeyRow.h"
#include "input/ModifierFlags.h"
#include "settings/SettingsManager.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
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
    sections->addWidget(guidanceSection());
    sections->addWidget(activationSection());
    sections->addWidget(drawingSection());
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
    // Optional: spoken questions are transcribed by a Whisper model on Replicate.
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
    connect(row, &APIKeyRow::saveRequested, this, [this, row, account](const QString &key) {
        settings_.keychainWrite(account, key);
        row->input()->clear();
        row->setSet(true);
    });
    connect(row, &APIKeyRow::clearRequested, this, [this, row, account] {
        settings_.keychainWrite(account, QString());
        row->setSet(false);
    });
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

    layout->addWidget(new QLabel(tr("Quick Draw Modifiers")));
    const std::pair<QString, quint64> toggles[] = {{tr("Command"), Flag::command},
                                                   {tr("Option"), Flag::option},
                                                   {tr("Control"), Flag::control},
                                                   {tr("Fn"), Flag::function}};
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
}

void SettingsView::showEvent(QShowEvent *event)
{
    // Only whether a key exists is read, never the key.
    anthropicKey_->setSet(!settings_.keychainRead(SettingsManager::anthropicKeyAccount).value_or(QString()).isEmpty());
    openAIKey_->setSet(!settings_.keychainRead(SettingsManager::openAIKeyAccount).value_or(QString()).isEmpty());
    replicateKey_->setSet(!settings_.keychainRead(SettingsManager::replicateKeyAccount).value_or(QString()).isEmpty());
    QWidget::showEvent(event);
}

QString SettingsView::keyCodeToString(int keyCode)
{
    switch (keyCode) {
    case 49:
        return QStringLiteral("Space");
    case 48:
        return QStringLiteral("Tab");
    case 36:
        return QStringLiteral("Return");
    default:
        return u"Key(" + QString::number(keyCode) + u')';
    }
}

QString SettingsView::formattedQuickDrawModifiers(quint64 mask)
{
    QString text;
    if (mask & Flag::control)
        text += u"⌃";
    if (mask & Flag::option)
        text += u"⌥";
    if (mask & Flag::command)
        text += u"⌘";
    if (mask & Flag::function)
        text += u"fn";
    return text;
}

QString SettingsView::hotkeyDescription(int keyCode, quint64 modifiers)
{
    return Flag::symbols(modifiers) + keyCodeToString(keyCode);
}

QString SettingsView::quickDrawDescription(quint64 quickDrawModifiers, bool middleMouseEnabled)
{
    QStringList parts;
    if (quickDrawModifiers != 0)
        parts << formattedQuickDrawModifiers(quickDrawModifiers) + u" + Click";
    if (middleMouseEnabled)
        parts << QStringLiteral("Middle Mouse Button");
    if (parts.isEmpty())
        return tr("Quick draw is disabled until a trigger is enabled.");
    return parts.join(u" or ");
}

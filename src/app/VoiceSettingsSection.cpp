#include "app/VoiceSettingsSection.h"

#include "app/SecondaryText.h"
#include "settings/SettingsManager.h"
#include "voice/TranscriptionChoice.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

VoiceSettingsSection::VoiceSettingsSection(SettingsManager &settings, QWidget *parent)
    : QGroupBox(tr("Voice Questions"), parent)
    , settings_(settings)
{
    service_ = new QComboBox;
    const QString titles[] = {tr("Automatic"), tr("Replicate"), tr("OpenAI"), tr("OpenAI-compatible server")};
    for (qsizetype i = 0; i < SettingsManager::transcriptionServices.size(); ++i)
        service_->addItem(titles[i], SettingsManager::transcriptionServices[i]);
    service_->setCurrentIndex(service_->findData(settings_.transcriptionService()));
    connect(service_, &QComboBox::activated, this,
            [this] { settings_.setTranscriptionService(service_->currentData().toString()); });

    serverModel_ = new QLineEdit(settings_.compatibleTranscriptionModel());
    serverModel_->setPlaceholderText(tr("for example whisper-1"));
    connect(serverModel_, &QLineEdit::textEdited, &settings_, &SettingsManager::setCompatibleTranscriptionModel);

    language_ = new QLineEdit(settings_.transcriptionLanguage());
    language_->setPlaceholderText(tr("recognised from the speech, or a code such as en"));
    language_->setMaxLength(8);
    connect(language_, &QLineEdit::textEdited, this, &VoiceSettingsSection::languageEdited);

    availability_ = new QLabel;
    availability_->setWordWrap(true);
    availability_->setTextFormat(Qt::PlainText);
    SecondaryText::apply(*availability_);

    auto *form = new QFormLayout(this);
    form->addRow(tr("Transcription"), service_);
    form->addRow(tr("Server model"), serverModel_);
    form->addRow(tr("Language"), language_);
    form->addRow(availability_);

    for (const auto changed :
         {&SettingsManager::apiKeysChanged, &SettingsManager::transcriptionServiceChanged,
          &SettingsManager::compatibleBaseURLChanged, &SettingsManager::compatibleTranscriptionModelChanged})
        connect(&settings_, changed, this, &VoiceSettingsSection::updateAvailability);
    updateAvailability();
}

// Only a two-letter code is stored. Anything else stays in the field, with the way to fix it below, and
// meanwhile the service decides, as it would for an empty field.
void VoiceSettingsSection::languageEdited(const QString &text)
{
    static const QRegularExpression code(QStringLiteral("^[A-Za-z]{2}$"));
    const QString trimmed = text.trimmed();
    languageRefused_ = !trimmed.isEmpty() && !code.match(trimmed).hasMatch();
    settings_.setTranscriptionLanguage(languageRefused_ ? QString() : trimmed.toLower());
    updateAvailability();
}

void VoiceSettingsSection::updateAvailability()
{
    if (languageRefused_) {
        availability_->setText(tr("Enter the language as a two-letter code such as en or de, or leave it empty."));
        return;
    }
    const TranscriptionChoice choice =
        TranscriptionChoice::decide(settings_.transcriptionService(), settings_,
                                    [this](const QString &account) { return settings_.isAPIKeySet(account); });
    switch (choice.service) {
    case TranscriptionChoice::Service::Replicate:
        availability_->setText(tr("Hold Enter or the microphone to ask by voice; Replicate transcribes."));
        break;
    case TranscriptionChoice::Service::OpenAI:
        availability_->setText(tr("Hold Enter or the microphone to ask by voice; OpenAI transcribes."));
        break;
    case TranscriptionChoice::Service::Compatible:
        availability_->setText(
            tr("Hold Enter or the microphone to ask by voice; your OpenAI-compatible server transcribes."));
        break;
    case TranscriptionChoice::Service::None:
        availability_->setText(choice.missing);
        break;
    }
}

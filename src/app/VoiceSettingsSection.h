#pragma once

#include <QGroupBox>

class QComboBox;
class QLabel;
class QLineEdit;
class SettingsManager;

// Which service transcribes spoken questions, the model of the OpenAI-compatible server for it and the spoken
// language, with a line saying whether voice questions work and, if not, what they need. Writes straight
// through, as the rest of the General tab.
class VoiceSettingsSection : public QGroupBox {
    Q_OBJECT
public:
    explicit VoiceSettingsSection(SettingsManager &settings, QWidget *parent = nullptr);

    QComboBox *serviceChoice() const { return service_; }
    QLineEdit *serverModelField() const { return serverModel_; }
    QLineEdit *languageField() const { return language_; }
    QLabel *availabilityLabel() const { return availability_; }

private:
    void languageEdited(const QString &text);
    void updateAvailability();

    SettingsManager &settings_;
    QComboBox *service_ = nullptr;
    QLineEdit *serverModel_ = nullptr;
    QLineEdit *language_ = nullptr;
    QLabel *availability_ = nullptr;
    bool languageRefused_ = false;
};

#pragma once

#include <QWidget>

class APIKeyRow;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class SettingsManager;
class VoiceSettingsSection;

// The General tab: API keys, the compatible server, voice questions, extra guidance, activation triggers, submit
// mode and start at login. Every control writes straight through; there is no apply step.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsView(SettingsManager &settings, QWidget *parent = nullptr);

    static QString keyCodeToString(int keyCode);
    static QString formattedQuickDrawModifiers(quint64 mask);
    static QString hotkeyDescription(int keyCode, quint64 modifiers);
    static QString quickDrawDescription(quint64 quickDrawModifiers, bool middleMouseEnabled);

    APIKeyRow *anthropicKeyRow() const { return anthropicKey_; }
    APIKeyRow *openAIKeyRow() const { return openAIKey_; }
    QLineEdit *compatibleBaseURLField() const { return compatibleBaseURL_; }
    QLineEdit *compatibleModelField() const { return compatibleModel_; }
    APIKeyRow *compatibleKeyRow() const { return compatibleKey_; }
    QCheckBox *allowUnencryptedToggle() const { return allowUnencrypted_; }
    APIKeyRow *replicateKeyRow() const { return replicateKey_; }
    VoiceSettingsSection *voiceSection() const { return voice_; }
    QPlainTextEdit *systemPromptEditor() const { return systemPrompt_; }
    QLabel *hotkeyLabel() const { return hotkey_; }
    QPushButton *changeHotkeyButton() const { return changeHotkey_; }
    QLabel *hotkeyProblemLabel() const { return hotkeyProblem_; }
    QCheckBox *quickDrawToggle(quint64 flag) const;
    QCheckBox *middleMouseToggle() const { return middleMouse_; }
    QLabel *quickDrawLabel() const { return quickDrawDescription_; }
    QButtonGroup *submitModeChoice() const { return submitMode_; }

    // Why the hotkey does not work and what to do about it; empty when it works.
    void setHotkeyProblem(const QString &problem);

Q_SIGNALS:
    void changeHotkeyRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *apiKeysSection();
    QWidget *compatibleServerSection();
    QWidget *guidanceSection();
    QWidget *activationSection();
    QWidget *drawingSection();
    QWidget *startupSection();
    void connectKeyRow(APIKeyRow *row, const QString &account);
    void updateTriggers();

    SettingsManager &settings_;
    APIKeyRow *anthropicKey_ = nullptr;
    APIKeyRow *openAIKey_ = nullptr;
    QLineEdit *compatibleBaseURL_ = nullptr;
    QLineEdit *compatibleModel_ = nullptr;
    APIKeyRow *compatibleKey_ = nullptr;
    QCheckBox *allowUnencrypted_ = nullptr;
    APIKeyRow *replicateKey_ = nullptr;
    VoiceSettingsSection *voice_ = nullptr;
    QPlainTextEdit *systemPrompt_ = nullptr;
    QLabel *hotkey_ = nullptr;
    QPushButton *changeHotkey_ = nullptr;
    QLabel *hotkeyProblem_ = nullptr;
    QList<QCheckBox *> quickDrawToggles_;
    QCheckBox *middleMouse_ = nullptr;
    QLabel *quickDrawDescription_ = nullptr;
    QButtonGroup *submitMode_ = nullptr;
};

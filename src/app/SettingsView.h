#pragma once

#include <QWidget>

class APIKeyRow;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class SettingsManager;

// The General tab: API keys, extra guidance, activation triggers and submit mode. Every control writes
// straight through to the settings; there is no apply step.
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
    APIKeyRow *replicateKeyRow() const { return replicateKey_; }
    QPlainTextEdit *systemPromptEditor() const { return systemPrompt_; }
    QLabel *hotkeyLabel() const { return hotkey_; }
    QPushButton *changeHotkeyButton() const { return changeHotkey_; }
    QCheckBox *quickDrawToggle(quint64 flag) const;
    QCheckBox *middleMouseToggle() const { return middleMouse_; }
    QLabel *quickDrawLabel() const { return quickDrawDescription_; }
    QButtonGroup *submitModeChoice() const { return submitMode_; }

Q_SIGNALS:
    void changeHotkeyRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *apiKeysSection();
    QWidget *guidanceSection();
    QWidget *activationSection();
    QWidget *drawingSection();
    void connectKeyRow(APIKeyRow *row, const QString &account);
    void updateTriggers();

    SettingsManager &settings_;
    APIKeyRow *anthropicKey_ = nullptr;
    APIKeyRow *openAIKey_ = nullptr;
    APIKeyRow *replicateKey_ = nullptr;
    QPlainTextEdit *systemPrompt_ = nullptr;
    QLabel *hotkey_ = nullptr;
    QPushButton *changeHotkey_ = nullptr;
    QList<QCheckBox *> quickDrawToggles_;
    QCheckBox *middleMouse_ = nullptr;
    QLabel *quickDrawDescription_ = nullptr;
    QButtonGroup *submitMode_ = nullptr;
};

#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedLayout;

// One API key: a masked field with "Save" while no key is stored, a placeholder with "Clear" once one
// is. The key itself is never shown. Below, a note while a save waits or why it failed.
class APIKeyRow : public QWidget {
    Q_OBJECT
public:
    explicit APIKeyRow(const QString &label, QWidget *parent = nullptr);

    void setSet(bool isSet);
    bool isSet() const { return isSet_; }
    // Save and Clear wait while the keychain works; a failed save keeps the typed key and says why.
    void showSaving();
    void showWaitingForUnlock();
    void showSaveResult(const QString &problem);
    QLineEdit *input() const { return input_; }
    QPushButton *saveButton() const { return save_; }
    QPushButton *clearButton() const { return clear_; }
    QLabel *noteLabel() const { return note_; }

Q_SIGNALS:
    void saveRequested(const QString &key);
    void clearRequested();

private:
    QStackedLayout *pages_;
    QLineEdit *input_;
    QPushButton *save_;
    QPushButton *clear_;
    QLabel *note_;
    bool isSet_ = false;
    bool saving_ = false;
};

#pragma once

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// One page of the setup window: icon, title, description, the key form (on the key page only), the
// primary button, "Skip", and a row of progress dots.
class OnboardingStepContentView : public QWidget {
    Q_OBJECT
public:
    explicit OnboardingStepContentView(QWidget *parent = nullptr);

    void configure(const QIcon &icon, const QColor &tint, const QString &title, const QString &description,
                   const QString &primaryTitle, bool showSkip, bool showKeyForm);
    // Hidden for fewer than two steps; the current dot is larger and in the accent colour.
    void setProgress(int totalSteps, int currentStepIndex);

    std::function<void()> onPrimary;
    std::function<void()> onSkip;

    QLabel *iconView() const { return iconView_; }
    QLabel *titleLabel() const { return titleLabel_; }
    QLabel *descriptionLabel() const { return descriptionLabel_; }
    QPushButton *primaryButton() const { return primaryButton_; }
    QPushButton *secondaryButton() const { return secondaryButton_; }
    QWidget *dotContainer() const { return dotContainer_; }
    QWidget *keyForm() const { return keyForm_; }
    QComboBox *providerBox() const { return providerBox_; }
    QLineEdit *keyField() const { return keyField_; }
    QPushButton *testButton() const { return testButton_; }
    QLabel *testResult() const { return testResult_; }
    int totalSteps() const { return totalSteps_; }
    int currentStepIndex() const { return currentStepIndex_; }

protected:
    // Return anywhere on the page is the primary button, as in a dialog.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *iconView_;
    QLabel *titleLabel_;
    QLabel *descriptionLabel_;
    QWidget *keyForm_;
    QComboBox *providerBox_;
    QLineEdit *keyField_;
    QPushButton *testButton_;
    QLabel *testResult_;
    QPushButton *primaryButton_;
    QPushButton *secondaryButton_;
    QWidget *dotContainer_;
    int totalSteps_ = 0;
    int currentStepIndex_ = 0;
};

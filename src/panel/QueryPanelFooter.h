#pragma once

#include <QTimer>
#include <QWidget>

class QAction;
class QLabel;
class SpinnerView;

// The panel's bottom line: Cancel ("cancelButton") with its esc badge on the left, then a button for
// `save` ("saveButton"); on the right what is under way (the screenshot being prepared, a spoken question
// being transcribed) or what went wrong with the microphone ("voiceMessage").
class QueryPanelFooter : public QWidget {
    Q_OBJECT
public:
    static constexpr int fixedHeight = 42;
    static constexpr int voiceMessageMs = 5000; // how long a microphone failure stays

    explicit QueryPanelFooter(QAction *save, QWidget *parent = nullptr);

    SpinnerView *preparingSpinner() const { return preparingSpinner_; }
    SpinnerView *transcribingSpinner() const { return transcribingSpinner_; }
    QLabel *voiceMessageLabel() const { return voiceMessageLabel_; }

    void setPreparing(bool preparing);
    void setTranscribing(bool transcribing);
    void showVoiceMessage(const QString &text);

Q_SIGNALS:
    void cancelRequested();

private:
    SpinnerView *preparingSpinner_ = nullptr;
    QLabel *preparingLabel_ = nullptr;
    SpinnerView *transcribingSpinner_ = nullptr;
    QLabel *transcribingLabel_ = nullptr;
    QLabel *voiceMessageLabel_ = nullptr;
    QTimer voiceMessageTimer_;
};

#pragma once

#include <QPointer>
#include <QWidget>

class AnnotationSession;
class HoldToRecordButton;
class HoldToRecordController;
class QToolButton;
class QueryInputTextView;
class RoundedBackgroundView;
class TranscriptionService;

// The row under the transcript ("inputRow"): the question field ("queryField") with the model pill, the
// microphone ("micButton") and the send button ("sendButton") below it, or, while the session waits for
// another drawing, a banner asking for one ("drawingHint"). Questions go to the session typed or spoken.
class QueryInputRow : public QWidget {
    Q_OBJECT
public:
    // `modelPill` goes to the left of the field's bottom bar.
    QueryInputRow(AnnotationSession &session, QWidget *modelPill, QWidget *parent = nullptr);

    QueryInputTextView *queryField() const { return queryField_; }
    QToolButton *sendButton() const { return sendButton_; }
    HoldToRecordButton *micButton() const { return micButton_; }
    HoldToRecordController *holdToRecord() const { return holdToRecord_; }
    RoundedBackgroundView *inputContainer() const { return inputContainer_; }
    RoundedBackgroundView *drawingHintContainer() const { return drawingHintContainer_; }

    // The microphone shows while a service is there to transcribe.
    void setTranscriptionService(TranscriptionService *service, const QString &missing = {});
    // Follows the session and the voice input: the field or the banner, the field read-only and dimmed
    // while an answer streams or a question is spoken.
    void updateState();

public Q_SLOTS:
    void submitQuery();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    RoundedBackgroundView *makeDrawingHintBanner();
    void updateSendButton();
    void updateInputBorder();
    void updateMicrophoneAppearance();
    bool isVoiceBusy() const;

    QPointer<AnnotationSession> session_;
    RoundedBackgroundView *inputContainer_ = nullptr;
    QueryInputTextView *queryField_ = nullptr;
    QToolButton *sendButton_ = nullptr;
    HoldToRecordButton *micButton_ = nullptr;
    HoldToRecordController *holdToRecord_ = nullptr;
    RoundedBackgroundView *drawingHintContainer_ = nullptr;
};

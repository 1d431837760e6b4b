#pragma once

#include "voice/TranscriptionService.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>

class AnnotationSession;
class QueryInputTextView;

// Spoken questions in the query panel. Return held on an empty field, or the microphone button held,
// records; a hold of 1.5 s or more is transcribed and the transcript goes out as the user's question,
// through the same submission as a typed one. Shorter holds are discarded; a tap on Return explains
// itself with a hint in the field. Main thread only.
class HoldToRecordController : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 minimumHoldMs = 1500;
    static constexpr qint64 longestTapMs = 350;
    static constexpr int hintDurationMs = 1200;
    static constexpr int missingHintDurationMs = 4000; // a sentence to read
    static constexpr int blinkIntervalMs = 550;

    using Clock = std::function<qint64()>; // monotonic milliseconds

    // Without a service nothing is ever recorded.
    HoldToRecordController(AnnotationSession &session, QueryInputTextView &field, TranscriptionService *service,
                           QObject *parent = nullptr);

    TranscriptionService *transcriptionService() const { return transcriptionService_; }
    // Without a service, `missing` is the hint Return shows instead of how to record.
    void setTranscriptionService(TranscriptionService *service, const QString &missing = {});
    bool isRecording() const { return isRecording_; }
    bool isTranscribing() const { return isTranscribing_; }
    bool isMicrophoneBlinkVisible() const { return isMicrophoneBlinkVisible_; }
    void setClock(Clock clock) { clock_ = std::move(clock); } // tests

public Q_SLOTS:
    void beginKeyboardRecording();
    void endKeyboardRecording();
    void beginButtonRecording();
    void stopButtonRecordingAndTranscribe();

Q_SIGNALS:
    void stateChanged();                       // recording or transcribing began or ended
    void microphoneAppearanceChanged();        // the blink
    void recordingFailed(const QString &text); // the microphone failed: what to tell the user

private:
    bool canStart() const;
    void startRecording();
    void resetRecording(); // discards the recording
    qint64 heldMs() const;
    void finalizeRecordingAndTranscribe(const QString &trigger);
    void startMicrophoneBlinking();
    void stopMicrophoneBlinking();
    void microphoneFailed(const QString &message);
    void showHoldHint();

    QPointer<AnnotationSession> session_;
    QueryInputTextView &field_;
    QPointer<TranscriptionService> transcriptionService_;
    QString missing_;
    Clock clock_;
    bool isRecording_ = false;
    bool isTranscribing_ = false;
    bool failedDuringPress_ = false; // the release then says nothing more
    std::optional<qint64> recordingStartedAt_;
    QTimer microphoneBlinkTimer_;
    bool isMicrophoneBlinkVisible_ = true;
};

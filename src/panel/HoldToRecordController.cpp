#include "panel/HoldToRecordController.h"

#include "log/DebugLog.h"
#include "panel/QueryInputTextView.h"
#include "panel/QueryTextView.h"
#include "session/AnnotationSession.h"
#include "voice/TranscriptionService.h"

#include <QElapsedTimer>

namespace {

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("QueryPanel"), message);
}

const QString holdHint = QStringLiteral("Hold Enter to record");

} // namespace

HoldToRecordController::HoldToRecordController(AnnotationSession &session, QueryInputTextView &field,
                                               TranscriptionService *service, QObject *parent)
    : QObject(parent)
    , session_(&session)
    , field_(field)
    , clock_([] {
        static QElapsedTimer clock = [] {
            QElapsedTimer started;
            started.start();
            return started;
        }();
        return clock.elapsed();
    })
{
    microphoneBlinkTimer_.setInterval(blinkIntervalMs);
    connect(&microphoneBlinkTimer_, &QTimer::timeout, this, [this] {
        isMicrophoneBlinkVisible_ = !isMicrophoneBlinkVisible_;
        Q_EMIT microphoneAppearanceChanged();
    });
    setTranscriptionService(service);
}

void HoldToRecordController::setTranscriptionService(TranscriptionService *service, const QString &missing)
{
    if (transcriptionService_)
        disconnect(transcriptionService_, nullptr, this, nullptr);
    transcriptionService_ = service;
    missing_ = service ? QString() : missing;
    if (service)
        connect(service, &TranscriptionService::recordingFailed, this, &HoldToRecordController::microphoneFailed);
}

// Recording needs a service, the panel waiting for a question, and no recording or transcription running
// (the service takes one recording at a time).
bool HoldToRecordController::canStart() const
{
    return transcriptionService_ && session_ && session_->state() == SessionState::Querying && !isRecording_ &&
           !isTranscribing_;
}

void HoldToRecordController::beginKeyboardRecording()
{
    if (!canStart() || !field_.textView()->isBlank())
        return;
    startRecording();
    log(QStringLiteral("Keyboard hold-to-record started"));
}

// A button press does not mind typed text: the spoken question replaces it.
void HoldToRecordController::beginButtonRecording()
{
    if (canStart())
        startRecording();
}

void HoldToRecordController::startRecording()
{
    isRecording_ = true;
    failedDuringPress_ = false;
    recordingStartedAt_ = clock_();
    startMicrophoneBlinking();
    Q_EMIT stateChanged();
    transcriptionService_->startRecording();
}

qint64 HoldToRecordController::heldMs() const
{
    return recordingStartedAt_ ? clock_() - *recordingStartedAt_ : 0;
}

void HoldToRecordController::endKeyboardRecording()
{
    if (!isRecording_) {
        if (!std::exchange(failedDuringPress_, false) && field_.textView()->isBlank())
            showHoldHint();
        return;
    }
    const qint64 held = heldMs();
    log(u"Keyboard hold-to-record ended duration=" + QString::asprintf("%.2f", double(held) / 1000) + u's');
    if (held >= minimumHoldMs) {
        finalizeRecordingAndTranscribe(QStringLiteral("Keyboard"));
        return;
    }
    resetRecording();
    if (held <= longestTapMs && field_.textView()->isBlank())
        showHoldHint();
}

// Without a service, how to record would mislead: the hint says what voice questions need instead.
void HoldToRecordController::showHoldHint()
{
    if (!transcriptionService_ && !missing_.isEmpty())
        field_.showTemporaryPlaceholder(missing_, missingHintDurationMs);
    else
        field_.showTemporaryPlaceholder(holdHint, hintDurationMs);
}

void HoldToRecordController::stopButtonRecordingAndTranscribe()
{
    failedDuringPress_ = false;
    if (!isRecording_)
        return;
    const qint64 held = heldMs();
    log(u"Button hold-to-record ended duration=" + QString::asprintf("%.2f", double(held) / 1000) + u's');
    if (held >= minimumHoldMs)
        finalizeRecordingAndTranscribe(QStringLiteral("Button"));
    else
        resetRecording();
}

void HoldToRecordController::resetRecording()
{
    if (transcriptionService_)
        transcriptionService_->cancelRecording();
    isRecording_ = false;
    recordingStartedAt_.reset();
    stopMicrophoneBlinking();
    Q_EMIT stateChanged();
}

void HoldToRecordController::microphoneFailed(const QString &message)
{
    if (!isRecording_)
        return;
    isRecording_ = false;
    failedDuringPress_ = true;
    recordingStartedAt_.reset();
    stopMicrophoneBlinking();
    Q_EMIT stateChanged();
    Q_EMIT recordingFailed(message);
}

void HoldToRecordController::finalizeRecordingAndTranscribe(const QString &trigger)
{
    if (!isRecording_ || !session_)
        return;
    const QUuid id = session_->appendPendingUserMessage(QStringLiteral("Transcribing…"));
    isRecording_ = false;
    recordingStartedAt_.reset();
    stopMicrophoneBlinking();
    isTranscribing_ = true;
    Q_EMIT stateChanged();

    // The result still reaches the session if this panel has gone meanwhile; the session decides what a
    // late question means.
    QPointer<HoldToRecordController> self(this);
    QPointer<AnnotationSession> session = session_;
    // A service that streams shows the transcript in the bubble while it is made.
    auto *progress = new QObject(this);
    connect(transcriptionService_, &TranscriptionService::partialTranscript, progress,
            [session, id](const QString &soFar) {
                if (session)
                    session->replaceChatMessage(id, soFar.trimmed(), true);
            });
    transcriptionService_->stopAndTranscribe([self, session, id, trigger, progress = QPointer<QObject>(progress)](
                                                 const TranscriptionService::Result &result) {
        delete progress;
        if (self)
            self->isTranscribing_ = false;
        const QString transcript = result.text.trimmed();
        if (session && result.error) {
            const QString description = result.error->errorDescription();
            session->replaceChatMessage(id, u"[Transcription failed: " + description + u']', false);
            log(trigger + u" transcription failed error=" + description);
        } else if (session && transcript.isEmpty()) {
            session->replaceChatMessage(id, QStringLiteral("No speech detected."), false);
            log(trigger + u" transcription produced empty transcript");
        } else if (session) {
            session->replaceChatMessage(id, transcript, false);
            if (self) {
                // Sent as it is: whatever was typed in the field goes.
                self->field_.clear();
                self->field_.updatePlaceholder();
                self->field_.recalculateHeight();
            }
            session->submit(transcript, id);
            log(trigger + u" transcription submitted chars=" + QString::number(transcript.size()));
        }
        if (self)
            Q_EMIT self->stateChanged();
    });
}

void HoldToRecordController::startMicrophoneBlinking()
{
    isMicrophoneBlinkVisible_ = true;
    microphoneBlinkTimer_.start();
    Q_EMIT microphoneAppearanceChanged();
}

void HoldToRecordController::stopMicrophoneBlinking()
{
    microphoneBlinkTimer_.stop();
    isMicrophoneBlinkVisible_ = true;
    Q_EMIT microphoneAppearanceChanged();
}

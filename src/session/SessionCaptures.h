#pragma once

#include "session/ScreenCapturer.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QUuid>

#include <optional>

class ChatTranscript;

// The screenshots of one session: the capture under way, the first one (sent with the first question) and
// the latest additional one (sent with the next question), each shown as an attachment in the transcript.
// A capture that ends after the session's revision moved on changes nothing. Main thread only.
class SessionCaptures : public QObject {
    Q_OBJECT
public:
    enum class Kind { Initial, Additional };

    // `revision` is the session's own, read whenever a capture ends.
    SessionCaptures(ScreenCapturer *capturer, ChatTranscript &transcript, const QUuid &revision);

    bool isPreparing() const { return isPreparing_; }
    std::optional<quint64> runningSerial() const;
    const std::optional<QByteArray> &capturedImage() const { return capturedImage_; }
    const std::optional<QByteArray> &pendingAdditionalImageData() const { return pendingAdditionalImageData_; }
    const std::optional<QUuid> &initialCaptureMessageID() const { return initialCaptureMessageID_; }
    const std::optional<QUuid> &pendingAdditionalMessageID() const { return pendingAdditionalMessageID_; }

    // Replaces the capture under way, if any.
    void start(Kind kind, std::optional<quint32> display, const QImage &strokes);
    void cancelTask();
    // The attachment's message has left the transcript: its picture goes too.
    void forgetAttachment(const QUuid &messageID);
    // The additional picture for the question about to be sent; it is sent once.
    std::optional<QByteArray> takePendingAdditionalImage();
    // The first question was sent: its picture is part of the conversation now.
    void forgetInitialMessage() { initialCaptureMessageID_.reset(); }
    // Forgets every picture; the capture under way is cancelled separately.
    void reset();

Q_SIGNALS:
    void isPreparingChanged();
    // A capture ended, also when it failed, was cancelled or was replaced; `image` only when it is a new
    // picture of the session.
    void ended(quint64 serial, const std::optional<QByteArray> &image);

private:
    struct Task {
        quint64 serial = 0;
        QFuture<CaptureResult> future;
    };

    void setPreparing(bool flag);
    void finished(quint64 serial, Kind kind, const QUuid &revision, const QFuture<CaptureResult> &future);
    std::optional<QByteArray> keep(Kind kind, const CaptureResult &result);

    ScreenCapturer *capturer_;
    ChatTranscript &transcript_;
    const QUuid &revision_;

    bool isPreparing_ = false;
    std::optional<Task> task_;
    quint64 nextSerial_ = 1;
    std::optional<QByteArray> capturedImage_;
    std::optional<QByteArray> pendingAdditionalImageData_;
    std::optional<QUuid> initialCaptureMessageID_;
    std::optional<QUuid> pendingAdditionalMessageID_;
};

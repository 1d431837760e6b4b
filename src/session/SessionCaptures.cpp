#include "session/SessionCaptures.h"

#include "log/DebugLog.h"
#include "session/ChatTranscript.h"

#include <QFutureWatcher>

namespace {

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("Session"), message);
}

ChatMessage captureMessage(const QByteArray &bytes)
{
    ChatMessage message;
    message.role = ChatMessageRole::User;
    message.attachment = ChatAttachment{QUuid::createUuid(), bytes, QStringLiteral("Screenshot")};
    return message;
}

} // namespace

SessionCaptures::SessionCaptures(ScreenCapturer *capturer, ChatTranscript &transcript, const QUuid &revision)
    : capturer_(capturer)
    , transcript_(transcript)
    , revision_(revision)
{
}

std::optional<quint64> SessionCaptures::runningSerial() const
{
    return task_ ? std::optional(task_->serial) : std::nullopt;
}

void SessionCaptures::setPreparing(bool flag)
{
    if (isPreparing_ == flag)
        return;
    isPreparing_ = flag;
    Q_EMIT isPreparingChanged();
}

void SessionCaptures::start(Kind kind, std::optional<quint32> display, const QImage &strokes)
{
    setPreparing(true);
    cancelTask();
    const quint64 serial = nextSerial_++;
    const QUuid revision = revision_;
    QFuture<CaptureResult> future =
        capturer_
            ? capturer_->captureWithAnnotations(display, strokes)
            : QtFuture::makeReadyFuture(CaptureResult{{}, QStringLiteral("No screen capture service is available")});
    task_ = Task{serial, future};
    auto *watcher = new QFutureWatcher<CaptureResult>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, serial, kind, revision] {
        watcher->deleteLater();
        finished(serial, kind, revision, watcher->future());
    });
    watcher->setFuture(future);
}

void SessionCaptures::cancelTask()
{
    if (std::optional<Task> task = std::exchange(task_, std::nullopt))
        task->future.cancel();
}

void SessionCaptures::finished(quint64 serial, Kind kind, const QUuid &revision, const QFuture<CaptureResult> &future)
{
    const bool live = revision == revision_;
    // A capture that was cancelled or replaced leaves the state to whoever replaced it.
    const bool current = live && task_ && task_->serial == serial;
    std::optional<QByteArray> image;

    if (future.isCanceled()) {
        if (current) {
            task_.reset();
            setPreparing(false);
        }
        if (live)
            log(kind == Kind::Initial ? QStringLiteral("Screenshot capture cancelled")
                                      : QStringLiteral("Additional capture cancelled"));
    } else if (current) {
        task_.reset();
        setPreparing(false);
        image =
            keep(kind, future.resultCount() > 0 ? future.result()
                                                : CaptureResult{{}, QStringLiteral("The capture produced no image")});
    }
    Q_EMIT ended(serial, image);
}

// The picture of a capture that ended as the current one, when it has one.
std::optional<QByteArray> SessionCaptures::keep(Kind kind, const CaptureResult &result)
{
    const bool initial = kind == Kind::Initial;
    if (result.errorDescription) {
        if (initial) {
            log(u"Capture failed error=" + *result.errorDescription);
            capturedImage_.reset();
        } else {
            log(u"Additional capture failed error=" + *result.errorDescription);
        }
        return std::nullopt;
    }
    ChatMessage message = captureMessage(result.imageData);
    if (initial) {
        capturedImage_ = result.imageData;
        initialCaptureMessageID_ = message.id;
        transcript_.append(std::move(message));
        log(u"Screenshot captured bytes=" + QString::number(result.imageData.size()));
    } else {
        if (pendingAdditionalImageData_)
            log(QStringLiteral("Additional capture overwrote a prior pending image — only the latest will be "
                               "sent to the LLM"));
        pendingAdditionalImageData_ = result.imageData;
        pendingAdditionalMessageID_ = message.id;
        transcript_.append(std::move(message));
        log(u"Additional capture complete bytes=" + QString::number(result.imageData.size()));
    }
    return result.imageData;
}

void SessionCaptures::forgetAttachment(const QUuid &messageID)
{
    if (initialCaptureMessageID_ == messageID) {
        initialCaptureMessageID_.reset();
        capturedImage_.reset();
        cancelTask();
        setPreparing(false);
        log(QStringLiteral("Initial capture attachment removed by user"));
    } else if (pendingAdditionalMessageID_ == messageID) {
        pendingAdditionalMessageID_.reset();
        pendingAdditionalImageData_.reset();
        log(QStringLiteral("Additional capture attachment removed by user"));
    }
}

std::optional<QByteArray> SessionCaptures::takePendingAdditionalImage()
{
    pendingAdditionalMessageID_.reset();
    return std::exchange(pendingAdditionalImageData_, std::nullopt);
}

void SessionCaptures::reset()
{
    capturedImage_.reset();
    pendingAdditionalImageData_.reset();
    initialCaptureMessageID_.reset();
    pendingAdditionalMessageID_.reset();
    setPreparing(false);
}

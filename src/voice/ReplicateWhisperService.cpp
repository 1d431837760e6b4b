#include "voice/ReplicateWhisperService.h"

#include "providers/LLMEndpoint.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace {

// The key goes to the poll address too, so it must be the very server the prediction was created on.
bool sameOrigin(const QUrl &a, const QUrl &b)
{
    const auto port = [](const QUrl &url) { return url.port(url.scheme() == u"https" ? 443 : 80); };
    return a.scheme() == b.scheme() && a.host() == b.host() && port(a) == port(b);
}

std::optional<QString> textOf(const QJsonObject &segment)
{
    for (const char *key : {"text", "transcription"})
        if (segment.value(QLatin1String(key)).isString())
            return segment.value(QLatin1String(key)).toString();
    return std::nullopt;
}

} // namespace

struct ReplicateWhisperService::Transcription {
    Completion done;
    QUrl createUrl;
    QUrl pollUrl;
    int polls = 0;
    std::optional<QString> lastStatus;
};

ReplicateWhisperService::ReplicateWhisperService(const QString &apiKey, const QString &modelVersion,
                                                 AudioInputFactory microphone, QObject *parent)
    : RecordingTranscriptionService(QStringLiteral("Replicate"), std::move(microphone), parent)
    , apiKey_(apiKey)
    , modelVersion_(modelVersion)
{
}

// --- transcription -------------------------------------------------------------------------------------

void ReplicateWhisperService::transcribe(const Clip &clip, Completion done)
{
    auto job = std::make_shared<Transcription>();
    job->done = std::move(done);
    log(u"Starting transcription modelVersion=" + modelVersion_ + u" audioBytes=" + QString::number(clip.audio.size()));
    createPrediction(job, u"data:" + clip.mediaType + u";base64," + QString::fromLatin1(clip.audio.toBase64()));
}

void ReplicateWhisperService::createPrediction(const std::shared_ptr<Transcription> &job, const QString &audioDataURI)
{
    const LLMEndpoint endpoint = LLMEndpoint::resolve(
        "GLINT_REPLICATE_BASE_URL", QStringLiteral("https://api.replicate.com"), QStringLiteral("/v1/predictions"));
    if (!endpoint.isUsable()) {
        finish(job, {{}, TranscriptionError::other(endpoint.error())});
        return;
    }
    job->createUrl = endpoint.url();
    const QJsonObject input{
        {"audio", audioDataURI}, {"task", "transcribe"}, {"batch_size", 24}, {"timestamp", "chunk"}};
    const QJsonObject body{{"version", modelVersion_}, {"input", input}};
    fetch_.start(
        {endpoint.url(), apiKey_, QJsonDocument(body).toJson(QJsonDocument::Compact), createDeadline, bodyLimit},
        [this, job](const BoundedFetch::Reply &reply) { predictionCreated(job, reply); });
}

void ReplicateWhisperService::predictionCreated(const std::shared_ptr<Transcription> &job,
                                                const BoundedFetch::Reply &reply)
{
    // 202: created, outputs still pending; polling finds out the rest.
    if (finishedOnError(job, reply, reply.status >= 200 && reply.status <= 202, u"Create prediction"))
        return;
    // A created prediction echoes the recording: its body stays out of the log.
    log(u"Create prediction response status=" + QString::number(reply.status));
    const std::optional<QJsonDocument> document = parseOrFinish(job, reply.body);
    if (!document)
        return;
    const QJsonValue get = document->object().value(u"urls").toObject().value(u"get");
    const QUrl url(get.toString(), QUrl::StrictMode);
    if (!document->isObject() || !get.isString() || !url.isValid() || !sameOrigin(url, job->createUrl)) {
        finish(job, {{}, TranscriptionError::invalidResponse()});
        return;
    }
    job->pollUrl = url;
    QTimer::singleShot(pollInterval_, Qt::PreciseTimer, this, [this, job] { pollForResult(job); });
}

void ReplicateWhisperService::pollForResult(const std::shared_ptr<Transcription> &job)
{
    fetch_.start({job->pollUrl, apiKey_, std::nullopt, pollDeadline, bodyLimit},
                 [this, job](const BoundedFetch::Reply &reply) { pollAnswered(job, reply); });
}

void ReplicateWhisperService::pollAnswered(const std::shared_ptr<Transcription> &job, const BoundedFetch::Reply &reply)
{
    if (finishedOnError(job, reply, reply.status >= 200 && reply.status <= 299, u"Poll"))
        return;
    const std::optional<QJsonDocument> document = parseOrFinish(job, reply.body);
    if (!document)
        return;
    const QJsonObject prediction = document->object();
    if (!document->isObject() || !prediction.value(u"status").isString()) {
        log(u"Poll invalid response body=" + stringBody(reply.body));
        finish(job, {{}, TranscriptionError::invalidResponse()});
        return;
    }
    const QString state = prediction.value(u"status").toString();
    if (job->lastStatus != state) {
        log(u"Prediction status=" + state);
        job->lastStatus = state;
    }
    if (state == u"succeeded") {
        const std::optional<QJsonValue> output =
            prediction.contains(u"output") ? std::optional(prediction.value(u"output")) : std::nullopt;
        const QString transcript = extractOutputText(output).value_or(QString()).trimmed();
        log(u"Prediction succeeded outputLength=" + QString::number(transcript.size()));
        finish(job, {transcript, std::nullopt});
        return;
    }
    // "aborted" (stopped before it started) is as final as "failed" and "canceled".
    if (state == u"failed" || state == u"canceled" || state == u"aborted") {
        const QJsonValue message = prediction.value(u"error");
        const QString reason = message.isString() ? message.toString() : QStringLiteral("Unknown error");
        log(u"Prediction ended status=" + state + u" error=" + reason);
        finish(job, {{}, TranscriptionError::predictionFailed(reason)});
        return;
    }
    if (job->polls == maximumPolls - 1) {
        log(u"Prediction polling timed out url=" + job->pollUrl.toString());
        finish(job, {{}, TranscriptionError::timeout()});
        return;
    }
    ++job->polls;
    QTimer::singleShot(pollInterval_, Qt::PreciseTimer, this, [this, job] { pollForResult(job); });
}

bool ReplicateWhisperService::finishedOnError(const std::shared_ptr<Transcription> &job,
                                              const BoundedFetch::Reply &reply, bool statusAccepted,
                                              QStringView exchange)
{
    if (!reply.error.isEmpty()) {
        log(exchange + u" failed error=" + reply.error);
        finish(job, {{}, TranscriptionError::other(reply.error)});
        return true;
    }
    if (statusAccepted)
        return false;
    const QString text = stringBody(reply.body);
    log(exchange + u" response status=" + QString::number(reply.status) + u" body=" + text);
    finish(job, {{}, TranscriptionError::httpError(reply.status, text)});
    return true;
}

std::optional<QJsonDocument> ReplicateWhisperService::parseOrFinish(const std::shared_ptr<Transcription> &job,
                                                                    const QByteArray &bytes)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error == QJsonParseError::NoError)
        return document;
    finish(job, {{}, TranscriptionError::other(u"Unreadable JSON from Replicate API: " + error.errorString())});
    return std::nullopt;
}

void ReplicateWhisperService::finish(const std::shared_ptr<Transcription> &job, const Result &result)
{
    RecordingTranscriptionService::finish(job->done, result);
}

// --- response bodies -----------------------------------------------------------------------------------

std::optional<QString> ReplicateWhisperService::extractOutputText(const std::optional<QJsonValue> &output)
{
    if (!output)
        return std::nullopt;
    if (output->isString())
        return output->toString();
    if (output->isObject())
        return textOf(output->toObject());
    if (!output->isArray())
        return std::nullopt;
    const QJsonArray items = output->toArray();
    if (std::all_of(items.begin(), items.end(), [](const QJsonValue &v) { return v.isString(); })) {
        QStringList parts;
        for (const QJsonValue &item : items)
            parts << item.toString();
        return parts.join(u' ');
    }
    QStringList texts;
    for (const QJsonValue &item : items)
        if (const std::optional<QString> text = item.isObject() ? textOf(item.toObject()) : std::nullopt)
            texts << *text;
    return texts.isEmpty() ? std::nullopt : std::optional(texts.join(u' '));
}

#include "voice/ReplicateWhisperService.h"

#include "log/DebugLog.h"
#include "providers/LLMEndpoint.h"
#include "providers/NetworkThread.h"
#include "voice/AudioRecorder.h"
#include "voice/RecordingDirectory.h"
#include "voice/VoiceModule.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringDecoder>
#include <QTimer>

namespace {

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("Replicate"), message);
}

QNetworkRequest authorisedRequest(const QUrl &url, const QString &apiKey, int timeoutMs)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setRawHeader("Authorization", "Bearer " + apiKey.toUtf8());
    request.setSslConfiguration(NetworkThread::sslConfiguration());
    return request;
}

// The HTTP status, or -1 when no HTTP response came.
int statusOf(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : -1;
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
    QUrl pollUrl;
    int polls = 0;
    std::optional<QString> lastStatus;
};

ReplicateWhisperService::ReplicateWhisperService(const QString &apiKey, const QString &modelVersion,
                                                 AudioInputFactory microphone, QObject *parent)
    : TranscriptionService(parent)
    , apiKey_(apiKey)
    , modelVersion_(modelVersion)
    , microphone_(std::move(microphone))
    , network_(new QNetworkAccessManager(this))
{
}

ReplicateWhisperService::~ReplicateWhisperService()
{
    discardRecording();
}

// --- recording -----------------------------------------------------------------------------------------

void ReplicateWhisperService::discardRecording()
{
    if (audioRecorder_)
        audioRecorder_->cancel();
    audioRecorder_.reset();
    if (audioFile_)
        QFile::remove(*audioFile_);
    audioFile_.reset();
}

void ReplicateWhisperService::startRecording()
{
    // A recording still running is replaced, and its file goes with it.
    discardRecording();
    QString error;
    audioFile_ = RecordingDirectory::createFile(error);
    const VoiceBackend *backend = audioFile_ ? VoiceModule::installed().backend(error) : nullptr;
    if (backend) {
        auto recorder = std::make_unique<AudioRecorder>(microphone_ ? microphone_() : backend->makeMicrophone(),
                                                        backend->makeWriter());
        connect(recorder.get(), &AudioRecorder::failed, this, &ReplicateWhisperService::recordingBroke);
        if (recorder->start(*audioFile_, error))
            audioRecorder_ = std::move(recorder);
    }
    if (!audioRecorder_) {
        discardRecording();
        log(u"Failed to start recording error=" + error);
        Q_EMIT recordingFailed(error);
        return;
    }
    log(u"Recording started file=" + QFileInfo(*audioFile_).fileName());
}

void ReplicateWhisperService::recordingBroke(const QString &message)
{
    discardRecording();
    log(u"Recording failed error=" + message);
    Q_EMIT recordingFailed(message);
}

void ReplicateWhisperService::cancelRecording()
{
    discardRecording();
    log(QStringLiteral("Recording discarded"));
}

// --- transcription -------------------------------------------------------------------------------------

void ReplicateWhisperService::stopAndTranscribe(Completion done)
{
    auto job = std::make_shared<Transcription>();
    job->done = std::move(done);

    QString error;
    const bool recorded = audioRecorder_ && audioRecorder_->stop(error);
    audioRecorder_.reset();
    if (!audioFile_) {
        finish(job, {{}, TranscriptionError::noAudioFile()});
        return;
    }
    // Read once, then the recording is gone whatever happens next.
    QFile file(*audioFile_);
    const bool opened = recorded && file.open(QIODevice::ReadOnly);
    const QByteArray audio = opened ? file.readAll() : QByteArray();
    if (recorded && !opened)
        error = u"Cannot read the recording: " + file.errorString();
    file.close();
    discardRecording();
    if (!opened) {
        finish(job, {{}, TranscriptionError::other(error)});
        return;
    }

    log(u"Starting transcription modelVersion=" + modelVersion_ + u" audioBytes=" + QString::number(audio.size()));
    createPrediction(job, u"data:audio/m4a;base64," + QString::fromLatin1(audio.toBase64()));
}

void ReplicateWhisperService::createPrediction(const std::shared_ptr<Transcription> &job, const QString &audioDataURI)
{
    const LLMEndpoint endpoint = LLMEndpoint::resolve(
        "GLINT_REPLICATE_BASE_URL", QStringLiteral("https://api.replicate.com"), QStringLiteral("/v1/predictions"));
    if (!endpoint.isUsable()) {
        finish(job, {{}, TranscriptionError::other(endpoint.error())});
        return;
    }
    QNetworkRequest request = authorisedRequest(endpoint.url(), apiKey_, createTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QJsonObject input{
        {"audio", audioDataURI}, {"task", "transcribe"}, {"batch_size", 24}, {"timestamp", "chunk"}};
    const QJsonObject body{{"version", modelVersion_}, {"input", input}};
    QNetworkReply *reply = network_->post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    connect(reply, &QNetworkReply::finished, this, [this, job, reply] { predictionCreated(job, reply); });
}

void ReplicateWhisperService::predictionCreated(const std::shared_ptr<Transcription> &job, QNetworkReply *reply)
{
    reply->deleteLater();
    const int status = statusOf(reply);
    if (status < 0) {
        finish(job, {{}, TranscriptionError::other(reply->errorString())});
        return;
    }
    const QByteArray bytes = reply->readAll();
    const QString text = stringBody(bytes);
    log(u"Create prediction response status=" + QString::number(status) + u" body=" + text);
    // 202: created, outputs still pending; polling finds out the rest.
    if (status != 200 && status != 201 && status != 202) {
        finish(job, {{}, TranscriptionError::httpError(status, text)});
        return;
    }
    const std::optional<QJsonDocument> document = parseOrFinish(job, bytes);
    if (!document)
        return;
    const QJsonValue get = document->object().value(u"urls").toObject().value(u"get");
    const QUrl url(get.toString(), QUrl::StrictMode);
    // The key goes to this address too: never unencrypted beyond this machine.
    if (!document->isObject() || !get.isString() || !url.isValid() || !LLMEndpoint::carriesKeysSafely(url)) {
        finish(job, {{}, TranscriptionError::invalidResponse()});
        return;
    }
    job->pollUrl = url;
    QTimer::singleShot(pollInterval_, Qt::PreciseTimer, this, [this, job] { pollForResult(job); });
}

void ReplicateWhisperService::pollForResult(const std::shared_ptr<Transcription> &job)
{
    QNetworkReply *reply = network_->get(authorisedRequest(job->pollUrl, apiKey_, pollTimeoutMs));
    connect(reply, &QNetworkReply::finished, this, [this, job, reply] { pollAnswered(job, reply); });
}

void ReplicateWhisperService::pollAnswered(const std::shared_ptr<Transcription> &job, QNetworkReply *reply)
{
    reply->deleteLater();
    const int status = statusOf(reply);
    if (status < 0 && reply->error() != QNetworkReply::NoError) {
        finish(job, {{}, TranscriptionError::other(reply->errorString())});
        return;
    }
    const QByteArray bytes = reply->readAll();
    const QString text = stringBody(bytes);
    if (status < 200 || status > 299) {
        log(u"Poll response status=" + QString::number(status) + u" body=" + text);
        finish(job, {{}, TranscriptionError::httpError(status, text)});
        return;
    }
    const std::optional<QJsonDocument> document = parseOrFinish(job, bytes);
    if (!document)
        return;
    const QJsonObject prediction = document->object();
    if (!document->isObject() || !prediction.value(u"status").isString()) {
        log(u"Poll invalid response body=" + text);
        finish(job, {{}, TranscriptionError::invalidResponse()});
        return;
    }
    const QString state = prediction.value(u"status").toString();
    if (job->lastStatus != state) {
        log(u"Prediction status=" + state);
        job->lastStatus = state;
    }
    if (state == u"succeeded") {
        log(u"Prediction succeeded body=" + text);
        const std::optional<QJsonValue> output =
            prediction.contains(u"output") ? std::optional(prediction.value(u"output")) : std::nullopt;
        finish(job, {extractOutputText(output).value_or(QString()).trimmed(), std::nullopt});
        return;
    }
    // "aborted" (stopped before it started) is as final as "failed" and "canceled".
    if (state == u"failed" || state == u"canceled" || state == u"aborted") {
        const QJsonValue message = prediction.value(u"error");
        const QString reason = message.isString() ? message.toString() : QStringLiteral("Unknown error");
        log(u"Prediction ended status=" + state + u" error=" + reason + u" body=" + text);
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
    // Always later, from the event loop, as if every path had waited for the network.
    QTimer::singleShot(0, this, [job, result] {
        if (job->done)
            job->done(result);
    });
}

// --- response bodies -----------------------------------------------------------------------------------

QString ReplicateWhisperService::stringBody(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return u"<non-utf8 body " + QString::number(bytes.size()) + u" bytes>";
    // Counted in characters, so a character beyond the basic plane is never cut in half.
    qsizetype cut = 0;
    for (qsizetype characters = 0; cut < text.size(); ++characters) {
        if (characters == bodyTextLimit)
            return text.left(cut) + u'…';
        cut += text.at(cut).isHighSurrogate() && cut + 1 < text.size() ? 2 : 1;
    }
    return text;
}

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

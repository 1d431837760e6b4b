#include "voice/OpenAITranscriptionService.h"

#include "voice/TranscriptEventReader.h"

#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QHttpPart field(const QByteArray &name, const QByteArray &value)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader, QByteArray("form-data; name=\"" + name + '"'));
    part.setBody(value);
    return part;
}

// The service's own words of an error answer, {"error":{"message":…}}, else the body as it came.
QString errorMessage(const QByteArray &body)
{
    const QJsonValue message = QJsonDocument::fromJson(body)["error"]["message"];
    return message.isString() ? message.toString() : RecordingTranscriptionService::stringBody(body);
}

} // namespace

struct OpenAITranscriptionService::Transcription {
    Completion done;
    TranscriptEventReader transcript;
};

OpenAITranscriptionService::Server OpenAITranscriptionService::openAIServer()
{
    return {QStringLiteral("OpenAI"),
            LLMEndpoint::resolve("GLINT_OPENAI_BASE_URL", QStringLiteral("https://api.openai.com"),
                                 QStringLiteral("/v1/audio/transcriptions")),
            defaultModel};
}

OpenAITranscriptionService::Server
OpenAITranscriptionService::compatibleServer(const QString &baseURL, bool allowUnencrypted, const QString &model)
{
    return {QStringLiteral("the OpenAI-compatible server"),
            LLMEndpoint::fromSettings(baseURL, QStringLiteral("/audio/transcriptions"), allowUnencrypted), model};
}

OpenAITranscriptionService::OpenAITranscriptionService(const QString &apiKey, Server server, const QString &language,
                                                       AudioInputFactory microphone, QObject *parent)
    : RecordingTranscriptionService(QStringLiteral("OpenAI"), std::move(microphone), parent)
    , apiKey_(apiKey)
    , server_(std::move(server))
    , language_(language.trimmed())
{
}

void OpenAITranscriptionService::transcribe(const Clip &clip, Completion done)
{
    auto job = std::make_shared<Transcription>();
    job->done = std::move(done);
    if (!server_.endpoint.isUsable()) {
        log(u"Transcription failed error=" + server_.endpoint.error());
        finish(job->done, {{}, TranscriptionError::other(server_.endpoint.error())});
        return;
    }
    log(u"Starting transcription model=" + server_.model + u" audioBytes=" + QString::number(clip.audio.size()));

    auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart file;
    file.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QByteArray(R"(form-data; name="file"; filename=")" + clip.fileName.toUtf8() + '"'));
    file.setHeader(QNetworkRequest::ContentTypeHeader, clip.mediaType.toUtf8());
    file.setBody(clip.audio);
    form->append(file);
    form->append(field("model", server_.model.toUtf8()));
    form->append(field("response_format", "json"));
    // The models that can stream do so; the others answer with JSON, which is read just the same.
    form->append(field("stream", "true"));
    if (!language_.isEmpty())
        form->append(field("language", language_.toUtf8()));

    BoundedFetch::Request request{server_.endpoint.url(), apiKey_, std::nullopt, timeLimit_, bodyLimit, form};
    request.received = [this, job](QByteArrayView piece) {
        if (job->transcript.feed(piece) && !job->transcript.text().trimmed().isEmpty())
            Q_EMIT partialTranscript(job->transcript.text());
    };
    fetch_.start(request, [this, job](const BoundedFetch::Reply &reply) { answered(job, reply); });
}

void OpenAITranscriptionService::answered(const std::shared_ptr<Transcription> &job, const BoundedFetch::Reply &reply)
{
    job->transcript.finish();
    const Result result = resultOf(*job, reply);
    if (result.error)
        log(u"Transcription failed status=" + QString::number(reply.status) + u" error=" +
            result.error->errorDescription());
    else
        log(u"Transcription succeeded status=" + QString::number(reply.status) + u" streamed=" +
            (job->transcript.sawTranscriptEvents() ? u"true" : u"false") + u" outputLength=" +
            QString::number(result.text.size()));
    finish(job->done, result);
}

OpenAITranscriptionService::Result OpenAITranscriptionService::resultOf(const Transcription &job,
                                                                        const BoundedFetch::Reply &reply) const
{
    if (!reply.error.isEmpty())
        return {{}, TranscriptionError::other(redacted(reply.error))};
    if (reply.status < 200 || reply.status > 299)
        return {{}, TranscriptionError::httpError(reply.status, redacted(errorMessage(reply.body)), server_.name)};
    const TranscriptEventReader &stream = job.transcript;
    if (stream.failure())
        return {{}, TranscriptionError::predictionFailed(redacted(*stream.failure()))};
    if (stream.sawTranscriptEvents() && !stream.isComplete())
        return {{}, TranscriptionError::other(QStringLiteral("The transcript was cut off before it was complete"))};
    if (stream.isComplete())
        return {stream.text().trimmed(), std::nullopt};
    // Not streamed: {"text": …}
    const QJsonValue text = QJsonDocument::fromJson(reply.body)["text"];
    if (!text.isString())
        return {{}, TranscriptionError::invalidResponse(server_.name)};
    return {text.toString().trimmed(), std::nullopt};
}

QString OpenAITranscriptionService::redacted(QString text) const
{
    if (!apiKey_.isEmpty())
        text.replace(apiKey_, QStringLiteral("<redacted>"));
    return text;
}

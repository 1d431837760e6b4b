#pragma once

#include "providers/BoundedFetch.h"
#include "voice/RecordingTranscriptionService.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

// Has a Whisper model on Replicate transcribe the spoken question: the recording goes inline (a base64
// data URI) in a prediction request, then the prediction is polled until it ends or 60 polls have passed.
// Main thread only; network waits never block it.
class ReplicateWhisperService : public RecordingTranscriptionService {
    Q_OBJECT
public:
    static constexpr int maximumPolls = 60;
    static constexpr std::chrono::milliseconds defaultPollInterval{1000};
    static constexpr std::chrono::seconds createDeadline{90};
    static constexpr std::chrono::seconds pollDeadline{30};
    // A prediction echoes its input, the recording as a data URI: about a megabyte per minute of speech.
    static constexpr qint64 bodyLimit = 8 * 1024 * 1024;

    // `microphone` makes the audio input of each recording; by default the voice module's, which records
    // from the sound server.
    ReplicateWhisperService(const QString &apiKey, const QString &modelVersion, AudioInputFactory microphone = {},
                            QObject *parent = nullptr);

    void transcribe(const Clip &clip, Completion done) override;

    void setPollInterval(std::chrono::milliseconds interval) { pollInterval_ = interval; } // tests shorten it

    // The transcript in a prediction's "output", whatever shape the model gives it.
    static std::optional<QString> extractOutputText(const std::optional<QJsonValue> &output);

private:
    struct Transcription;

    void createPrediction(const std::shared_ptr<Transcription> &job, const QString &audioDataURI);
    void predictionCreated(const std::shared_ptr<Transcription> &job, const BoundedFetch::Reply &reply);
    void pollForResult(const std::shared_ptr<Transcription> &job);
    void pollAnswered(const std::shared_ptr<Transcription> &job, const BoundedFetch::Reply &reply);
    // Whether the exchange failed or its status is not `statusAccepted`; if so the transcription is finished
    // with why, and the log says so under `exchange`'s name.
    bool finishedOnError(const std::shared_ptr<Transcription> &job, const BoundedFetch::Reply &reply,
                         bool statusAccepted, QStringView exchange);
    // The response as JSON; none (and the transcription finished with the parser's complaint) if it is not.
    std::optional<QJsonDocument> parseOrFinish(const std::shared_ptr<Transcription> &job, const QByteArray &bytes);
    void finish(const std::shared_ptr<Transcription> &job, const Result &result);

    QString apiKey_;
    QString modelVersion_;
    BoundedFetch fetch_;
    std::chrono::milliseconds pollInterval_ = defaultPollInterval;
};

#pragma once

#include "providers/BoundedFetch.h"
#include "providers/LLMEndpoint.h"
#include "voice/RecordingTranscriptionService.h"

#include <chrono>
#include <memory>

// Has OpenAI's audio API, or a server that speaks its protocol (a local Whisper server, LocalAI, vLLM),
// transcribe the spoken question: one multipart upload to {base}/audio/transcriptions. The answer is a JSON
// object, or an event stream whose pieces show while the transcript is made. Main thread only; the network
// never blocks it, and the key never shows in a log line or an error.
class OpenAITranscriptionService : public RecordingTranscriptionService {
    Q_OBJECT
public:
    struct Server {
        QString name; // in errors: "HTTP 401 from <name>: …"
        LLMEndpoint endpoint;
        QString model;
    };

    static inline const QString defaultModel = QStringLiteral("gpt-4o-mini-transcribe");
    // Transcribing ten minutes of speech on a modest server takes a while.
    static constexpr std::chrono::seconds defaultTimeLimit{300};
    // A transcript streamed word by word: a few hundred kilobytes for an hour of speech.
    static constexpr qint64 bodyLimit = 4 * 1024 * 1024;

    static Server openAIServer(); // GLINT_OPENAI_BASE_URL overrides the address
    static Server compatibleServer(const QString &baseURL, bool allowUnencrypted, const QString &model);

    // Without a key no Authorization header is sent. `language` is an ISO 639-1 code, or empty to let the
    // service decide.
    OpenAITranscriptionService(const QString &apiKey, Server server, const QString &language,
                               AudioInputFactory microphone = {}, QObject *parent = nullptr);

    void transcribe(const Clip &clip, Completion done) override;

    void setTimeLimit(std::chrono::milliseconds limit) { timeLimit_ = limit; } // tests shorten it

private:
    struct Transcription;

    void answered(const std::shared_ptr<Transcription> &job, const BoundedFetch::Reply &reply);
    Result resultOf(const Transcription &job, const BoundedFetch::Reply &reply) const;
    QString redacted(QString text) const;

    QString apiKey_;
    Server server_;
    QString language_;
    BoundedFetch fetch_;
    std::chrono::milliseconds timeLimit_ = defaultTimeLimit;
};

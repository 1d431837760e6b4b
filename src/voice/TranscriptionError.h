#pragma once

#include <QString>

// Why a spoken question could not be turned into text. The first five kinds are the transcription
// service's own; `other` carries a failure of a lower layer (the network, the file, the JSON parser,
// the microphone) with that layer's description.
class TranscriptionError {
public:
    enum class Kind { HttpError, PredictionFailed, NoAudioFile, InvalidResponse, Timeout, Other };

    // `service` names who answered, in the description.
    static TranscriptionError httpError(int status, const QString &body,
                                        const QString &service = QStringLiteral("Replicate API"));
    static TranscriptionError predictionFailed(const QString &message);
    static TranscriptionError noAudioFile();
    static TranscriptionError invalidResponse(const QString &service = QStringLiteral("Replicate API"));
    static TranscriptionError timeout();
    static TranscriptionError other(const QString &description);

    QString errorDescription() const;

private:
    TranscriptionError(Kind kind, int status, const QString &text, const QString &service = {});

    Kind kind_;
    int status_; // HttpError only; -1 when there was no HTTP response
    QString text_;
    QString service_; // HttpError and InvalidResponse
};

#include "voice/TranscriptionError.h"

TranscriptionError::TranscriptionError(Kind kind, int status, const QString &text)
    : kind_(kind)
    , status_(status)
    , text_(text)
{
}

TranscriptionError TranscriptionError::httpError(int status, const QString &body)
{
    return {Kind::HttpError, status, body};
}

TranscriptionError TranscriptionError::predictionFailed(const QString &message)
{
    return {Kind::PredictionFailed, 0, message};
}

TranscriptionError TranscriptionError::noAudioFile()
{
    return {Kind::NoAudioFile, 0, {}};
}

TranscriptionError TranscriptionError::invalidResponse()
{
    return {Kind::InvalidResponse, 0, {}};
}

TranscriptionError TranscriptionError::timeout()
{
    return {Kind::Timeout, 0, {}};
}

TranscriptionError TranscriptionError::other(const QString &description)
{
    return {Kind::Other, 0, description};
}

QString TranscriptionError::errorDescription() const
{
    switch (kind_) {
    case Kind::HttpError:
        return u"HTTP " + QString::number(status_) + u" from Replicate API: " + text_;
    case Kind::PredictionFailed:
        return u"Transcription failed: " + text_;
    case Kind::NoAudioFile:
        return QStringLiteral("No audio file to transcribe");
    case Kind::InvalidResponse:
        return QStringLiteral("Unexpected response from Replicate API");
    case Kind::Timeout:
        return QStringLiteral("Transcription timed out");
    case Kind::Other:
        break;
    }
    return text_;
}

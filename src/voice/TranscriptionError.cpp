#include "voice/TranscriptionError.h"

TranscriptionError::TranscriptionError(Kind kind, int status, const QString &text, const QString &service)
    : kind_(kind)
    , status_(status)
    , text_(text)
    , service_(service)
{
}

TranscriptionError TranscriptionError::httpError(int status, const QString &body, const QString &service)
{
    return {Kind::HttpError, status, body, service};
}

TranscriptionError TranscriptionError::predictionFailed(const QString &message)
{
    return {Kind::PredictionFailed, 0, message};
}

TranscriptionError TranscriptionError::noAudioFile()
{
    return {Kind::NoAudioFile, 0, {}};
}

TranscriptionError TranscriptionError::invalidResponse(const QString &service)
{
    return {Kind::InvalidResponse, 0, {}, service};
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
        return u"HTTP " + QString::number(status_) + u" from " + service_ + u": " + text_;
    case Kind::PredictionFailed:
        return u"Transcription failed: " + text_;
    case Kind::NoAudioFile:
        return QStringLiteral("No audio file to transcribe");
    case Kind::InvalidResponse:
        return u"Unexpected response from " + service_;
    case Kind::Timeout:
        return QStringLiteral("Transcription timed out");
    case Kind::Other:
        break;
    }
    return text_;
}

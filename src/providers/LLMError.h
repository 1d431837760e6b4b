#pragma once

#include "providers/LLMAnswerStream.h"

#include <QString>

#include <optional>

// A failure the providers detect themselves. Network failures keep the transport's own description.
class LLMError {
public:
    enum class Kind { HttpError, ImageEncodingFailed };

    // A long body is cut to its first 2000 characters and "…".
    static LLMError httpError(int status, std::optional<QString> body);
    static LLMError imageEncodingFailed(const QString &message);

    Kind kind() const { return kind_; }
    int status() const { return status_; }
    const std::optional<QString> &body() const { return body_; }

    // What the user is shown and what the log records.
    QString description() const;
    LLMStreamError toStreamError() const { return {description(), false}; }

private:
    LLMError(Kind kind, int status, std::optional<QString> text);

    Kind kind_;
    int status_ = 0;
    std::optional<QString> body_; // the response body (its start when long), or the encoding failure's message
};

#include "providers/LLMError.h"

namespace {

// An error body is shown in the chat and logged: a page of it says what the server meant.
constexpr qsizetype maxBodyCharacters = 2000;

std::optional<QString> shortened(std::optional<QString> body)
{
    if (body && body->size() > maxBodyCharacters)
        return body->first(maxBodyCharacters) + u'…';
    return body;
}

} // namespace

LLMError::LLMError(Kind kind, int status, std::optional<QString> text)
    : kind_(kind)
    , status_(status)
    , body_(std::move(text))
{
}

LLMError LLMError::httpError(int status, std::optional<QString> body)
{
    return LLMError(Kind::HttpError, status, shortened(std::move(body)));
}

LLMError LLMError::imageEncodingFailed(const QString &message)
{
    return LLMError(Kind::ImageEncodingFailed, 0, message);
}

QString LLMError::description() const
{
    if (kind_ == Kind::ImageEncodingFailed)
        return body_.value_or(QString());
    QString text = u"HTTP error " + QString::number(status_);
    if (body_ && !body_->isEmpty())
        text += u": " + *body_;
    return text;
}

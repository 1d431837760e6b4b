#include "providers/LLMStreamingRun.h"

#include "log/DebugLog.h"
#include "providers/LLMExchange.h"
#include "providers/NetworkThread.h"

#include <QStringDecoder>
#include <QtConcurrent>

namespace {

constexpr qsizetype quotedBodyBytes = 160;
// Enough for any provider's error message; a server sending more is not read further.
constexpr qsizetype maxErrorBodyBytes = 64 * 1024;
const QString cutOffDescription = QStringLiteral("The answer was cut off before it finished.");
const QString oversizedEventDescription =
    QStringLiteral("The server sent an event larger than 1 MiB, so the answer was stopped.");

// A body cut at the limit may end inside a character; a whole one may not.
QString bodyText(const QByteArray &body, bool whole)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           whole ? QStringDecoder::Flag::Stateless : QStringDecoder::Flag::Default);
    const QString text = decoder.decode(body);
    return decoder.hasError() ? QStringLiteral("<non-utf8 body>") : text;
}

} // namespace

std::shared_ptr<LLMAnswerStream> LLMStreamingRun::start(const LLMConversation &messages, LLMStreamPlan plan)
{
    std::shared_ptr<LLMAnswerStream> stream = LLMAnswerStream::create();
    NetworkThread::post([messages, plan = std::move(plan), stream]() mutable {
        auto *run = new LLMStreamingRun(std::move(plan), stream);
        run->begin(messages);
    });
    return stream;
}

LLMStreamingRun::LLMStreamingRun(LLMStreamPlan plan, std::shared_ptr<LLMAnswerStream> stream)
    : QObject(NetworkThread::context())
    , plan_(std::move(plan))
    , stream_(std::move(stream))
{
}

LLMStreamingRun::~LLMStreamingRun()
{
    // Only the transport's shutdown deletes a run that has not ended.
    stream_->fail({QStringLiteral("The request was cancelled."), true});
}

void LLMStreamingRun::log(const QString &message) const
{
    DebugLog::log(plan_.category, message);
}

QString LLMStreamingRun::redacted(QString text) const
{
    if (!plan_.apiKey.isEmpty())
        text.replace(plan_.apiKey, QStringLiteral("<redacted>"));
    return text;
}

void LLMStreamingRun::begin(const LLMConversation &messages)
{
    const bool imageAttached =
        std::any_of(messages.begin(), messages.end(), [](const LLMMessage &m) { return m.imageData.has_value(); });
    log(u"Preparing request model=" + plan_.model + u" messages=" + QString::number(messages.size()) +
        u" imageAttached=" + (imageAttached ? u"true" : u"false"));
    if (!plan_.endpoint.isUsable()) {
        fail(plan_.endpoint.error());
        return;
    }
    QtConcurrent::run(plan_.buildBody).then(this, [this](const std::variant<QByteArray, LLMError> &body) {
        if (const LLMError *error = std::get_if<LLMError>(&body))
            fail(error->description());
        else
            send(std::get<QByteArray>(body));
    });
}

void LLMStreamingRun::send(const QByteArray &body)
{
    QNetworkRequest request(plan_.endpoint.url());
    for (const auto &[name, value] : plan_.headers)
        request.setRawHeader(name, value);
    exchange_ = new LLMExchange(request, body, plan_.category, this);
    connect(exchange_, &LLMExchange::headReceived, this, &LLMStreamingRun::headReceived);
    connect(exchange_, &LLMExchange::bodyReceived, this, &LLMStreamingRun::bodyReceived);
    connect(exchange_, &LLMExchange::completed, this, &LLMStreamingRun::completed);
    connect(exchange_, &LLMExchange::failed, this, &LLMStreamingRun::transportFailed);
    exchange_->start();
}

void LLMStreamingRun::headReceived(int status, const QByteArray &contentType)
{
    status_ = status;
    contentType_ = contentType;
    if (status_ == 200)
        log(QStringLiteral("Streaming response started status=200"));
}

void LLMStreamingRun::bodyReceived(const QByteArray &chunk)
{
    if (status_ != 200) {
        errorBody_ += chunk.first(std::min(chunk.size(), maxErrorBodyBytes - errorBody_.size()));
        if (errorBody_.size() == maxErrorBodyBytes) {
            exchange_->abort();
            completed();
        }
        return;
    }
    if (bodyStart_.size() < quotedBodyBytes)
        bodyStart_ += chunk.left(quotedBodyBytes - bodyStart_.size());
    interpret(events_.feed(chunk));
    if (events_.isOverLimit() && !stream_->hasEnded()) {
        exchange_->abort();
        fail(oversizedEventDescription);
    }
}

void LLMStreamingRun::completed()
{
    if (status_ != 200) {
        const LLMError error =
            LLMError::httpError(status_, redacted(bodyText(errorBody_, errorBody_.size() < maxErrorBodyBytes)));
        log(u"HTTP error status=" + QString::number(status_) + u" body=" + error.body().value_or(QString()));
        fail(error.description());
        return;
    }
    interpret(events_.finish());
    if (stream_->hasEnded())
        return;
    // A body can end in good order and still not hold a whole answer: a proxy that gave up, a server
    // that stopped mid-answer, or something other than an event stream. None of them may pass for one.
    if (!closed_)
        fail(sawData_ ? cutOffDescription : notAnEventStream());
    else
        succeed();
}

void LLMStreamingRun::interpret(const QList<ServerSentEvent> &events)
{
    for (const ServerSentEvent &event : events) {
        if (stream_->hasEnded())
            return;
        sawData_ = true;
        const LLMEventMeaning meaning = plan_.interpretEvent(event);
        closed_ = closed_ || meaning.closesAnswer;
        // The first reason for stopping short holds: a refusal does not become a cut answer.
        if (meaning.stop && ending_.reason == LLMAnswerEnding::Reason::Complete)
            ending_.reason = *meaning.stop;
        if (meaning.kind == LLMEventMeaning::Kind::Fragment) {
            stream_->yield(meaning.text);
            ++emittedChunks_;
        } else if (meaning.kind == LLMEventMeaning::Kind::Refusal) {
            ending_.reason = LLMAnswerEnding::Reason::Refusal;
            ending_.refusal += meaning.text;
        } else if (meaning.kind == LLMEventMeaning::Kind::Failure) {
            exchange_->abort();
            fail(meaning.text);
        }
    }
}

void LLMStreamingRun::succeed()
{
    log(u"Streaming response completed emittedChunks=" + QString::number(emittedChunks_));
    if (ending_.reason == LLMAnswerEnding::Reason::LengthLimit)
        log(QStringLiteral("Answer stopped at the length limit"));
    else if (ending_.reason == LLMAnswerEnding::Reason::Refusal)
        log(u"Model declined to answer refusalLength=" + QString::number(ending_.refusal.size()));
    stream_->finish(ending_);
    deleteLater();
}

// Once the protocol has said the answer is complete, losing the connection takes nothing from it; that
// may be said by an event whose blank line the connection lost.
void LLMStreamingRun::transportFailed(const QString &description)
{
    if (status_ == 200)
        interpret(events_.finish());
    if (stream_->hasEnded())
        return;
    if (closed_ && status_ == 200)
        succeed();
    else
        fail(description);
}

QString LLMStreamingRun::notAnEventStream() const
{
    QString what = u"status " + QString::number(status_) + u", content type " +
                   (contentType_.isEmpty() ? QStringLiteral("none") : QString::fromLatin1(contentType_));
    if (bodyStart_.isEmpty()) {
        what += QStringLiteral(", empty body");
    } else {
        QString start = QString::fromUtf8(bodyStart_).simplified();
        if (bodyStart_.size() >= quotedBodyBytes)
            start += u'…';
        what += u", body starts \"" + start + u'"';
    }
    return u"The server did not answer with an event stream (" + what + u"). Check the server address.";
}

void LLMStreamingRun::fail(const QString &description)
{
    const QString text = redacted(description);
    log(u"Streaming failed error=" + text);
    stream_->fail({text, false});
    deleteLater();
}

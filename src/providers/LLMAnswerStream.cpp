#include "providers/LLMAnswerStream.h"

#include <QMetaObject>

std::shared_ptr<LLMAnswerStream> LLMAnswerStream::create()
{
    return std::shared_ptr<LLMAnswerStream>(new LLMAnswerStream, [](LLMAnswerStream *s) { s->deleteLater(); });
}

template <typename Emit> void LLMAnswerStream::post(Emit emit)
{
    // Queued even on the stream's own thread, so fragments never arrive re-entrantly and order is kept.
    QMetaObject::invokeMethod(this, std::move(emit), Qt::QueuedConnection);
}

void LLMAnswerStream::yield(const QString &fragment)
{
    if (!ended_)
        post([this, fragment] { Q_EMIT fragmentReceived(fragment); });
}

void LLMAnswerStream::finish(const LLMAnswerEnding &ending)
{
    if (!ended_.exchange(true))
        post([this, ending] { Q_EMIT finished(ending); });
}

void LLMAnswerStream::fail(const LLMStreamError &error)
{
    if (!ended_.exchange(true))
        post([this, error] { Q_EMIT failed(error); });
}

#pragma once

#include "providers/LLMAnswerEnding.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

// How an answer stream ended when it did not end normally.
struct LLMStreamError {
    QString description; // what the user is shown after "[Error: "
    bool cancelled = false;
};

// An ordered, unbounded, single-consumer stream of answer fragments that ends once, normally or with one
// error. The producer may feed it from any thread; the signals arrive on the thread the stream lives in.
// Nothing links the stream back to its producer: a consumer that stops listening simply drops it.
class LLMAnswerStream : public QObject {
    Q_OBJECT
public:
    // Created on the consumer's thread. Both sides hold the returned pointer; the object is deleted on its
    // own thread once neither does.
    static std::shared_ptr<LLMAnswerStream> create();

    // Producer side. Calls after the end are ignored.
    void yield(const QString &fragment);
    void finish(const LLMAnswerEnding &ending = {});
    void fail(const LLMStreamError &error);

    bool hasEnded() const { return ended_; }

Q_SIGNALS:
    void fragmentReceived(const QString &fragment);
    void finished(const LLMAnswerEnding &ending);
    void failed(const LLMStreamError &error);

private:
    LLMAnswerStream() = default;
    template <typename Emit> void post(Emit emit);

    std::atomic<bool> ended_ = false;
};

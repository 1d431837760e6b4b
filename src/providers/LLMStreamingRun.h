#pragma once

#include "providers/EventStreamReader.h"
#include "providers/LLMAnswerStream.h"
#include "providers/LLMMessage.h"
#include "providers/LLMStreamPlan.h"

#include <QObject>

#include <memory>

class LLMExchange;

// One request of a provider, from building its body to the end of the answer: sends it, checks the
// status, reads the body as events for the provider's interpreter and feeds the answer stream.
// Lives on the network thread and deletes itself when done.
class LLMStreamingRun : public QObject {
    Q_OBJECT
public:
    // Call on the consumer's thread; the stream delivers there.
    static std::shared_ptr<LLMAnswerStream> start(const LLMConversation &messages, LLMStreamPlan plan);

    ~LLMStreamingRun() override;

private:
    LLMStreamingRun(LLMStreamPlan plan, std::shared_ptr<LLMAnswerStream> stream);

    void begin(const LLMConversation &messages);
    void send(const QByteArray &body);
    void headReceived(int status, const QByteArray &contentType);
    void bodyReceived(const QByteArray &chunk);
    void completed();
    void interpret(const QList<ServerSentEvent> &events);
    void succeed();
    void fail(const QString &description);
    void transportFailed(const QString &description);
    QString notAnEventStream() const;
    QString redacted(QString text) const;
    void log(const QString &message) const;

    LLMStreamPlan plan_;
    std::shared_ptr<LLMAnswerStream> stream_;
    LLMExchange *exchange_ = nullptr;
    int status_ = -1;
    QByteArray contentType_;
    QByteArray bodyStart_; // the first bytes of a 200 body, to name what came back when it is no event stream
    bool sawData_ = false; // an event with data arrived
    bool closed_ = false;  // the protocol said the answer is complete
    LLMAnswerEnding ending_;
    QByteArray errorBody_; // the start of the body of a non-200 response
    EventStreamReader events_;
    int emittedChunks_ = 0;
};

#pragma once

#include "providers/LLMEventMeaning.h"
#include "providers/LLMProvider.h"
#include "providers/ServerSentEvent.h"

#include "providers/LLMEndpoint.h"

// OpenAI's Chat Completions API, streamed as server-sent events: OpenAI's own service, or another server
// that speaks the protocol (Ollama, llama.cpp, LM Studio, vLLM, LocalAI, OpenRouter...).
class OpenAIProvider : public LLMProvider {
public:
    struct Server {
        QString id;
        QString displayName;
        LLMEndpoint endpoint;
    };
    static Server openAIServer();
    // `baseURL` ends where the protocol's paths begin, for example http://localhost:11434/v1.
    static Server compatibleServer(const QString &baseURL, bool allowUnencrypted);

    // Without a key no Authorization header is sent: many local servers want none.
    OpenAIProvider(const QString &apiKey, const QString &model, Server server = openAIServer());

    QString id() const override { return server_.id; }
    QString displayName() const override { return server_.displayName; }
    std::shared_ptr<LLMAnswerStream> stream(const LLMConversation &messages, const QString &systemPrompt) override;

    // Images go in unchanged, as PNG data URLs.
    static QByteArray buildRequestBody(const LLMConversation &messages, const QString &systemPrompt,
                                       const QString &model);
    // One event of the stream: a content or refusal delta of the first answer and why it stopped, an error,
    // or nothing of interest.
    static LLMEventMeaning processEvent(const ServerSentEvent &event);

private:
    QString apiKey_;
    QString model_;
    Server server_;
};

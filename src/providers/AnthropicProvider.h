#pragma once

#include "providers/LLMError.h"
#include "providers/LLMEventMeaning.h"
#include "providers/LLMProvider.h"
#include "providers/ServerSentEvent.h"

#include <variant>

// Anthropic's Messages API, streamed as server-sent events.
class AnthropicProvider : public LLMProvider {
public:
    static constexpr qsizetype maxImageBytes = 5 * 1024 * 1024; // before base64

    AnthropicProvider(const QString &apiKey, const QString &model);

    QString id() const override { return QStringLiteral("anthropic"); }
    QString displayName() const override { return QStringLiteral("Anthropic (Claude)"); }
    std::shared_ptr<LLMAnswerStream> stream(const LLMConversation &messages, const QString &systemPrompt) override;

    // Every image is re-encoded to fit `imageByteLimit`. Call off the main thread when images are attached.
    static std::variant<QByteArray, LLMError> buildRequestBody(const LLMConversation &messages,
                                                               const QString &systemPrompt, const QString &model,
                                                               qsizetype imageByteLimit = maxImageBytes);
    // One event of the stream: a text delta, why the model stopped, an error event, or nothing of interest.
    static LLMEventMeaning processEvent(const ServerSentEvent &event);

private:
    QString apiKey_;
    QString model_;
};

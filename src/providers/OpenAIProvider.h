#pragma once

#include "providers/LLMLineEvent.h"
#include "providers/LLMProvider.h"

// OpenAI's Chat Completions API, streamed as server-sent events.
class OpenAIProvider : public LLMProvider {
public:
    OpenAIProvider(const QString &apiKey, const QString &model);

    QString id() const override { return QStringLiteral("openai"); }
    QString displayName() const override { return QStringLiteral("OpenAI"); }
    QStringList availableModels() const override;
    std::shared_ptr<LLMAnswerStream> stream(const LLMConversation &messages, const QString &systemPrompt) override;

    // Images go in unchanged, as PNG data URLs.
    static QByteArray buildRequestBody(const LLMConversation &messages, const QString &systemPrompt,
                                       const QString &model);
    // One line of the event stream: a content delta of the first answer, an error, or nothing of interest.
    static LLMLineEvent processLine(const QString &line);

private:
    QString apiKey_;
    QString model_;
};

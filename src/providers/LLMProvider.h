#pragma once

#include "providers/LLMAnswerStream.h"
#include "providers/LLMMessage.h"

#include <QStringList>

#include <memory>

// A hosted model that answers a conversation as a stream of text fragments.
class LLMProvider {
public:
    virtual ~LLMProvider() = default;

    virtual QString id() const = 0;          // "anthropic", "openai" or "compatible"
    virtual QString displayName() const = 0; // "Anthropic (Claude)", "OpenAI" or "OpenAI-compatible server"

    // Returns at once; every failure travels through the stream. Call on the consumer's thread.
    virtual std::shared_ptr<LLMAnswerStream> stream(const LLMConversation &messages, const QString &systemPrompt) = 0;
};

// Which provider a request goes to, and with what.
struct LLMProviderConfig {
    QString id;     // "anthropic", "openai" or "compatible"
    QString apiKey; // may be empty for "compatible": no key is sent then
    QString model;
    QString baseURL;               // "compatible": the server, for example http://localhost:11434/v1
    bool allowUnencrypted = false; // "compatible": plain http also to a host that is not this computer
};

// Builds the provider for one submission.
class LLMProviderFactory {
public:
    virtual ~LLMProviderFactory() = default;
    virtual std::unique_ptr<LLMProvider> create(const LLMProviderConfig &config) = 0;
    // A screenshot the next request to the provider `providerId` will probably carry: a chance to
    // start preparing it while the user is still typing.
    virtual void prepareImage(const QString &providerId, const QByteArray &imageData)
    {
        Q_UNUSED(providerId);
        Q_UNUSED(imageData);
    }
    // The session is over: nothing prepared for it may outlive it, in memory or otherwise.
    virtual void forgetPreparedImages() {}
};

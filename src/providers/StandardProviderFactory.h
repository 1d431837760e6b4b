#pragma once

#include "providers/LLMProvider.h"

// Builds the real providers.
class StandardProviderFactory : public LLMProviderFactory {
public:
    std::unique_ptr<LLMProvider> create(const LLMProviderConfig &config) override;
    // Anthropic gets images re-encoded, which is worth starting early; OpenAI takes them as they are.
    void prepareImage(const QString &providerId, const QByteArray &imageData) override;
    void forgetPreparedImages() override;
};

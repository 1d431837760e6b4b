#pragma once

#include "providers/LLMProvider.h"

// Builds the real providers.
class StandardProviderFactory : public LLMProviderFactory {
public:
    std::unique_ptr<LLMProvider> openAI(const QString &apiKey, const QString &model) override;
    std::unique_ptr<LLMProvider> anthropic(const QString &apiKey, const QString &model) override;
};

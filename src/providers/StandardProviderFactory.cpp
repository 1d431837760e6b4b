#include "providers/StandardProviderFactory.h"

#include "providers/AnthropicProvider.h"
#include "providers/OpenAIProvider.h"

std::unique_ptr<LLMProvider> StandardProviderFactory::openAI(const QString &apiKey, const QString &model)
{
    return std::make_unique<OpenAIProvider>(apiKey, model);
}

std::unique_ptr<LLMProvider> StandardProviderFactory::anthropic(const QString &apiKey, const QString &model)
{
    return std::make_unique<AnthropicProvider>(apiKey, model);
}

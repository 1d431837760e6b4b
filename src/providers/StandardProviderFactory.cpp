#include "providers/StandardProviderFactory.h"

#include "providers/AnthropicImageCache.h"
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

void StandardProviderFactory::prepareImage(const QString &providerId, const QByteArray &imageData)
{
    if (providerId == u"anthropic")
        AnthropicImageCache::instance().prepare(imageData, AnthropicProvider::maxImageBytes);
}

void StandardProviderFactory::forgetPreparedImages()
{
    AnthropicImageCache::instance().clear();
}

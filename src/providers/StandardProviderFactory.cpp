#include "providers/StandardProviderFactory.h"

#include "providers/AnthropicImageCache.h"
#include "providers/AnthropicProvider.h"
#include "providers/OpenAIProvider.h"

std::unique_ptr<LLMProvider> StandardProviderFactory::create(const LLMProviderConfig &config)
{
    if (config.id == u"openai")
        return std::make_unique<OpenAIProvider>(config.apiKey, config.model);
    if (config.id == u"compatible")
        return std::make_unique<OpenAIProvider>(
            config.apiKey, config.model, OpenAIProvider::compatibleServer(config.baseURL, config.allowUnencrypted));
    return std::make_unique<AnthropicProvider>(config.apiKey, config.model);
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

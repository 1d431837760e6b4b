#include "providers/ModelCatalog.h"

#include <QHash>

const QStringList &ModelCatalog::providers()
{
    static const QStringList all{anthropic, openAI, compatible};
    return all;
}

QStringList ModelCatalog::builtInModels(const QString &provider)
{
    if (provider == anthropic)
        return {QStringLiteral("claude-sonnet-4-6"), QStringLiteral("claude-opus-4-6"),
                QStringLiteral("claude-haiku-4-5-20251001")};
    if (provider == openAI)
        return {QStringLiteral("gpt-5.4"), QStringLiteral("gpt-5.4-mini"), QStringLiteral("gpt-5.4-nano")};
    return {};
}

QString ModelCatalog::displayName(const QString &model)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("claude-opus-4-6"), QStringLiteral("Opus 4.6")},
        {QStringLiteral("claude-sonnet-4-6"), QStringLiteral("Sonnet 4.6")},
        {QStringLiteral("claude-haiku-4-5-20251001"), QStringLiteral("Haiku 4.5")},
        {QStringLiteral("gpt-5.4"), QStringLiteral("GPT-5.4")},
        {QStringLiteral("gpt-5.4-mini"), QStringLiteral("GPT-5.4 mini")},
        {QStringLiteral("gpt-5.4-nano"), QStringLiteral("GPT-5.4 nano")},
    };
    return names.value(model, model);
}

QStringList ModelCatalog::models(const QString &provider, const QString &configured) const
{
    if (provider != compatible)
        return builtInModels(provider);
    QStringList offered = compatibleModels_.models();
    if (!configured.isEmpty() && !offered.contains(configured))
        offered.prepend(configured);
    return offered;
}

void ModelCatalog::fetchCompatibleModels(const QString &baseURL, bool allowUnencrypted, const QString &apiKey)
{
    compatibleModels_.fetch(baseURL, allowUnencrypted, apiKey);
}

#pragma once

#include "providers/CompatibleModelList.h"

#include <QStringList>

// The models a question can go to, by provider: Anthropic's and OpenAI's own, with the names the user
// reads, and whatever the user's OpenAI-compatible server says it offers. Main thread.
class ModelCatalog {
public:
    static inline const QString anthropic = QStringLiteral("anthropic");
    static inline const QString openAI = QStringLiteral("openai");
    static inline const QString compatible = QStringLiteral("compatible");

    // Every provider a question may go to, in the model menu's order.
    static const QStringList &providers();
    // The provider's own models in menu order; none for a server of the user's own, which says itself.
    static QStringList builtInModels(const QString &provider);
    // "Sonnet 4.6" for claude-sonnet-4-6; an identifier without a name of its own as it is.
    static QString displayName(const QString &model);

    // The models `provider` offers, for the menu. The compatible server's are the ones it listed last, with
    // `configured` in front when it did not list that one.
    QStringList models(const QString &provider, const QString &configured) const;
    // Asks the compatible server again what it offers; without a key no Authorization header is sent.
    void fetchCompatibleModels(const QString &baseURL, bool allowUnencrypted, const QString &apiKey);

private:
    CompatibleModelList compatibleModels_;
};

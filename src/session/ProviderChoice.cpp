#include "session/ProviderChoice.h"

#include "settings/SettingsManager.h"

ProviderChoice ProviderChoice::fromSettings(const SettingsManager &settings, const QString &provider)
{
    ProviderChoice choice;
    if (provider == u"openai") {
        choice.config = {QStringLiteral("openai"), {}, settings.openAIModel(), {}, false};
        choice.keyAccount = SettingsManager::openAIKeyAccount;
        choice.name = QStringLiteral("OpenAI");
    } else if (provider == u"compatible") {
        choice.config = {QStringLiteral("compatible"),
                         {},
                         settings.compatibleModel(),
                         settings.compatibleBaseURL(),
                         settings.compatibleAllowUnencrypted()};
        choice.keyAccount = SettingsManager::compatibleKeyAccount;
        choice.keyRequired = false;
        choice.name = QStringLiteral("OpenAI-compatible server");
    } else {
        choice.config = {QStringLiteral("anthropic"), {}, settings.anthropicModel(), {}, false};
        choice.keyAccount = SettingsManager::anthropicKeyAccount;
        choice.name = QStringLiteral("Anthropic");
    }
    return choice;
}

#include "voice/TranscriptionChoice.h"

#include "settings/SettingsManager.h"

TranscriptionChoice TranscriptionChoice::decide(const QString &setting, const SettingsManager &settings,
                                                const HasKey &hasKey)
{
    const bool hasServer = !settings.compatibleBaseURL().trimmed().isEmpty();
    const bool hasServerModel = !settings.compatibleTranscriptionModel().trimmed().isEmpty();
    if (setting == u"replicate")
        return hasKey(SettingsManager::replicateKeyAccount)
                   ? TranscriptionChoice{Service::Replicate, {}}
                   : TranscriptionChoice{Service::None, QStringLiteral("Voice questions need a Replicate token: "
                                                                       "add it in Settings.")};
    if (setting == u"openai")
        return hasKey(SettingsManager::openAIKeyAccount)
                   ? TranscriptionChoice{Service::OpenAI, {}}
                   : TranscriptionChoice{Service::None,
                                         QStringLiteral("Voice questions need an OpenAI key: add it in Settings.")};
    if (setting == u"compatible") {
        if (!hasServer)
            return {Service::None, QStringLiteral("Voice questions need the address of your OpenAI-compatible "
                                                  "server: add it in Settings.")};
        if (!hasServerModel)
            return {Service::None, QStringLiteral("Voice questions need a transcription model for your server: "
                                                  "add it in Settings.")};
        return {Service::Compatible, {}};
    }
    if (hasKey(SettingsManager::replicateKeyAccount))
        return {Service::Replicate, {}};
    if (hasKey(SettingsManager::openAIKeyAccount))
        return {Service::OpenAI, {}};
    if (hasServer && hasServerModel)
        return {Service::Compatible, {}};
    return {Service::None, QStringLiteral("Voice questions need an OpenAI key, a Replicate token or a transcription "
                                          "model for your own server: add one in Settings.")};
}

QString TranscriptionChoice::keyAccount(Service service)
{
    switch (service) {
    case Service::Replicate:
        return SettingsManager::replicateKeyAccount;
    case Service::OpenAI:
        return SettingsManager::openAIKeyAccount;
    case Service::Compatible:
        return SettingsManager::compatibleKeyAccount;
    case Service::None:
        break;
    }
    return {};
}

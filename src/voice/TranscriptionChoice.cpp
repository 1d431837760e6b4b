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
                   : TranscriptionChoice{Service::None,
                                         QStringLiteral("For voice, add a Replicate token in Settings.")};
    if (setting == u"openai")
        return hasKey(SettingsManager::openAIKeyAccount)
                   ? TranscriptionChoice{Service::OpenAI, {}}
                   : TranscriptionChoice{Service::None, QStringLiteral("For voice, add an OpenAI key in Settings.")};
    if (setting == u"compatible") {
        if (!hasServer)
            return {Service::None, QStringLiteral("For voice, add your server's address in Settings.")};
        if (!hasServerModel)
            return {Service::None, QStringLiteral("For voice, add your server's transcription model in Settings.")};
        return {Service::Compatible, {}};
    }
    if (hasKey(SettingsManager::replicateKeyAccount))
        return {Service::Replicate, {}};
    if (hasKey(SettingsManager::openAIKeyAccount))
        return {Service::OpenAI, {}};
    if (hasServer && hasServerModel)
        return {Service::Compatible, {}};
    return {Service::None,
            QStringLiteral("For voice, add an OpenAI key, a Replicate token or a server model in Settings.")};
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

#include "voice/StandardTranscriptionFactory.h"

#include "settings/SettingsManager.h"
#include "voice/OpenAITranscriptionService.h"
#include "voice/ReplicateWhisperService.h"
#include "voice/TranscriptionChoice.h"

#include <QFuture>

void StandardTranscriptionFactory::create(const SettingsManager &settings, QObject *context, Ready ready)
{
    // A keyring may take its time: the keys are read off this thread. The settings outlive every panel.
    const QStringList accounts{SettingsManager::replicateKeyAccount, SettingsManager::openAIKeyAccount,
                               SettingsManager::compatibleKeyAccount};
    QList<QFuture<StoredSecret>> reads;
    for (const QString &account : accounts)
        reads << settings.keychainReadLater(account);
    QtFuture::whenAll(reads.begin(), reads.end())
        .then(context, [&settings, accounts, ready = std::move(ready)](const QList<QFuture<StoredSecret>> &read) {
            QHash<QString, QString> keys;
            for (qsizetype i = 0; i < accounts.size(); ++i)
                keys.insert(accounts[i], read[i].result().isSet() ? read[i].result().value : QString());
            Made made = make(settings.transcriptionService(), settings, keys);
            ready(std::move(made.service), made.missing);
        });
}

StandardTranscriptionFactory::Made StandardTranscriptionFactory::make(const QString &setting,
                                                                      const SettingsManager &settings,
                                                                      const QHash<QString, QString> &keys)
{
    const TranscriptionChoice choice = TranscriptionChoice::decide(
        setting, settings, [&keys](const QString &account) { return !keys.value(account).isEmpty(); });
    const QString key = keys.value(TranscriptionChoice::keyAccount(choice.service));
    switch (choice.service) {
    case TranscriptionChoice::Service::Replicate:
        return {std::make_unique<ReplicateWhisperService>(key, settings.replicateModelVersion()), {}};
    case TranscriptionChoice::Service::OpenAI:
        return {std::make_unique<OpenAITranscriptionService>(key, OpenAITranscriptionService::openAIServer(),
                                                             settings.transcriptionLanguage()),
                {}};
    case TranscriptionChoice::Service::Compatible:
        return {std::make_unique<OpenAITranscriptionService>(
                    key,
                    OpenAITranscriptionService::compatibleServer(settings.compatibleBaseURL(),
                                                                 settings.compatibleAllowUnencrypted(),
                                                                 settings.compatibleTranscriptionModel().trimmed()),
                    settings.transcriptionLanguage()),
                {}};
    case TranscriptionChoice::Service::None:
        break;
    }
    return {nullptr, choice.missing};
}

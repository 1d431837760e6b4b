#include "voice/StandardTranscriptionFactory.h"

#include "settings/SettingsManager.h"
#include "voice/ReplicateWhisperService.h"

void StandardTranscriptionFactory::create(const SettingsManager &settings, QObject *context, Ready ready)
{
    // A keyring may take its time: the key is read off this thread.
    settings.keychainReadLater(SettingsManager::replicateKeyAccount)
        .then(context, [ready = std::move(ready), version = settings.replicateModelVersion()](const StoredSecret &key) {
            if (key.isSet())
                ready(std::make_unique<ReplicateWhisperService>(key.value, version));
        });
}

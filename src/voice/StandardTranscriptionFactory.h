#pragma once

#include "voice/RecordingTranscriptionService.h"
#include "voice/TranscriptionServiceFactory.h"

#include <QHash>

// Makes the real services: Whisper on Replicate, OpenAI's audio API or the OpenAI-compatible server, as the
// "Transcription" setting and the stored keys decide.
class StandardTranscriptionFactory : public TranscriptionServiceFactory {
public:
    struct Made {
        std::unique_ptr<RecordingTranscriptionService> service;
        QString missing; // without a service: what to set up
    };

    void create(const SettingsManager &settings, QObject *context, Ready ready) override;

    // The service `setting` names (one of SettingsManager::transcriptionServices) with `keys` (by keyring
    // account; a missing or empty one is no key).
    static Made make(const QString &setting, const SettingsManager &settings, const QHash<QString, QString> &keys);
};

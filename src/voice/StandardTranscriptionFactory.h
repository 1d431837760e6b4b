#pragma once

#include "voice/TranscriptionServiceFactory.h"

// Makes the real services: Whisper on Replicate when a Replicate key is stored.
class StandardTranscriptionFactory : public TranscriptionServiceFactory {
public:
    void create(const SettingsManager &settings, QObject *context, Ready ready) override;
};

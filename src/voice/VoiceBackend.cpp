#include "voice/VoiceBackend.h"

#include "voice/AacFileWriter.h"
#include "voice/PulseAudioInput.h"
#include "voice/PulseAudioProbe.h"

extern "C" __attribute__((visibility("default"))) const VoiceBackend *glint_voice_backend()
{
    static const VoiceBackend backend{
        VoiceBackend::currentVersion,
        []() -> std::unique_ptr<AudioInput> { return std::make_unique<PulseAudioInput>(); },
        []() -> std::unique_ptr<AudioFileWriter> { return std::make_unique<AacFileWriter>(); },
        &PulseAudioProbe::hasMicrophone,
    };
    return &backend;
}

#pragma once

#include "voice/AudioFileWriter.h"
#include "voice/AudioInput.h"

#include <memory>
#include <optional>

// What the voice module (glint-voice.so, which alone links the sound server's and the encoder's
// libraries) hands out through its one entry point. The module is built with the program, so C++
// types cross; the version catches a module left over from another build.
struct VoiceBackend {
    static constexpr int currentVersion = 1;
    static constexpr const char *entryPoint = "glint_voice_backend";

    int version;
    std::unique_ptr<AudioInput> (*makeMicrophone)();
    std::unique_ptr<AudioFileWriter> (*makeWriter)();
    // Whether the sound server offers a capture source that is not a monitor; none without an answer
    // within `timeoutMs`.
    std::optional<bool> (*askForMicrophone)(int timeoutMs);
};

extern "C" const VoiceBackend *glint_voice_backend();

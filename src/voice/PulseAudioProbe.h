#pragma once

#include <optional>

// Asks the sound server (PulseAudio, or PipeWire through pipewire-pulse) whether it offers a capture
// source other than the monitor of an output. Blocks for at most `timeoutMs`.
class PulseAudioProbe {
public:
    // No server is no microphone; none when the server gives no answer in time.
    static std::optional<bool> hasMicrophone(int timeoutMs);
};

#pragma once

#include <memory>
#include <optional>

// Whether the sound server (PulseAudio, or PipeWire through pipewire-pulse) offers a capture source
// other than the monitor of an output. Asked in the background, so the caller never waits on a server.
class MicrophoneProbe {
public:
    static constexpr int timeoutMs = 1000;

    MicrophoneProbe(); // asks only once someone wants to know: nothing at start-up
    ~MicrophoneProbe();

    // The latest answer (false until one came); asks again unless a question is still open. Any thread.
    bool hasMicrophone() const;

    // Asks the server and waits for its answer; none when it gives none within the time-out.
    static std::optional<bool> askServer();

private:
    struct State;
    void ask() const;

    std::shared_ptr<State> state_;
};

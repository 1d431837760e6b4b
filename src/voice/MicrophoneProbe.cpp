#include "voice/MicrophoneProbe.h"

#include "voice/VoiceModule.h"

#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

struct MicrophoneProbe::State {
    std::atomic<bool> answer{false};
    std::atomic<bool> asking{false};
};

MicrophoneProbe::MicrophoneProbe()
    : state_(std::make_shared<State>())
{
}

MicrophoneProbe::~MicrophoneProbe() = default;

bool MicrophoneProbe::hasMicrophone() const
{
    ask();
    return state_->answer;
}

void MicrophoneProbe::ask() const
{
    if (state_->asking.exchange(true))
        return;
    // The state outlives this object while a question is open.
    (void)QtConcurrent::run([state = state_] {
        if (const std::optional<bool> answer = askServer())
            state->answer = *answer;
        state->asking = false;
    });
}

// Without the voice module nothing can be recorded, which is what a missing microphone means too.
std::optional<bool> MicrophoneProbe::askServer()
{
    QString error;
    const VoiceBackend *backend = VoiceModule::installed().backend(error);
    return backend ? backend->askForMicrophone(timeoutMs) : std::optional<bool>(false);
}

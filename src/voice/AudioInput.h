#pragma once

#include <QString>

#include <functional>
#include <memory>

// The microphone of the platform: the default capture source as mono 32-bit float samples at
// 44.1 kHz. Samples and failures arrive on the input's own thread.
class AudioInput {
public:
    static constexpr int sampleRate = 44100;

    using SamplesHandler = std::function<void(const float *samples, qsizetype count)>;
    using FailureHandler = std::function<void(const QString &message)>;

    virtual ~AudioInput() = default;

    // Returns at once; connecting to the source happens in the background. A source that cannot be
    // opened, or that fails later, is reported once through `onFailure`, after which no samples follow.
    virtual void start(SamplesHandler onSamples, FailureHandler onFailure) = 0;

    // No handler runs once this returns. Safe to call more than once.
    virtual void stop() = 0;
};

using AudioInputFactory = std::function<std::unique_ptr<AudioInput>()>;

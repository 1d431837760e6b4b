#pragma once

#include "voice/AudioInput.h"

#include <atomic>

struct pa_context;
struct pa_source_info;
struct pa_server_info;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;

// Captures the default source through PulseAudio (PipeWire desktops serve it through pipewire-pulse).
// A monitor of an output is not a microphone: when the default source is one, nothing is recorded.
class PulseAudioInput : public AudioInput {
public:
    static constexpr int startTimeoutMs = 3000; // a server that does not answer is given up on

    PulseAudioInput() = default;
    ~PulseAudioInput() override;

    void start(SamplesHandler onSamples, FailureHandler onFailure) override;
    void stop() override;

private:
    static void contextStateChanged(pa_context *context, void *self);
    static void serverInfoArrived(pa_context *context, const pa_server_info *info, void *self);
    static void sourceInfoArrived(pa_context *context, const pa_source_info *info, int last, void *self);
    static void streamStateChanged(pa_stream *stream, void *self);
    static void samplesArrived(pa_stream *stream, size_t bytes, void *self);

    void connectStream(const char *sourceName);
    void fail(const QString &message);
    QString serverError() const;

    SamplesHandler onSamples_;
    FailureHandler onFailure_;
    pa_threaded_mainloop *mainloop_ = nullptr;
    pa_context *context_ = nullptr;
    pa_stream *stream_ = nullptr;
    pa_time_event *startDeadline_ = nullptr;
    bool sourceFound_ = false;
    bool capturing_ = false; // samples have arrived
    bool ended_ = false;     // failed or stopped: nothing more is delivered
};

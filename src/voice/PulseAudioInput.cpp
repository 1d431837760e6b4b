#include "voice/PulseAudioInput.h"

#include <pulse/pulseaudio.h>

namespace {

// Small reads keep the first samples (and the start of what is said) close to the press.
constexpr uint32_t fragmentBytes = 1024 * sizeof(float);

} // namespace

PulseAudioInput::~PulseAudioInput()
{
    stop();
}

void PulseAudioInput::start(SamplesHandler onSamples, FailureHandler onFailure)
{
    stop();
    onSamples_ = std::move(onSamples);
    onFailure_ = std::move(onFailure);
    ended_ = false;
    sourceFound_ = false;
    capturing_ = false;

    mainloop_ = pa_threaded_mainloop_new();
    pa_threaded_mainloop_set_name(mainloop_, "glint-microphone");
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(mainloop_);
    pa_threaded_mainloop_lock(mainloop_);
    if (pa_threaded_mainloop_start(mainloop_) < 0) {
        pa_threaded_mainloop_unlock(mainloop_);
        fail(QStringLiteral("Cannot start the audio thread"));
        return;
    }
    pa_proplist *properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Glint");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "org.glint.Glint");
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "production");
    context_ = pa_context_new_with_proplist(api, "Glint", properties);
    pa_proplist_free(properties);
    pa_context_set_state_callback(context_, &PulseAudioInput::contextStateChanged, this);
    startDeadline_ = api->time_new(
        api, nullptr,
        [](pa_mainloop_api *, pa_time_event *, const timeval *, void *self) {
            auto *input = static_cast<PulseAudioInput *>(self);
            if (!input->capturing_)
                input->fail(QStringLiteral("The microphone did not respond"));
        },
        this);
    timeval deadline{};
    pa_timeval_add(pa_gettimeofday(&deadline), pa_usec_t(startTimeoutMs) * PA_USEC_PER_MSEC);
    api->time_restart(startDeadline_, &deadline);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        fail(u"No sound server: " + serverError());
    pa_threaded_mainloop_unlock(mainloop_);
}

void PulseAudioInput::stop()
{
    if (!mainloop_)
        return;
    pa_threaded_mainloop_lock(mainloop_);
    ended_ = true;
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(mainloop_);
    if (startDeadline_)
        api->time_free(startDeadline_);
    startDeadline_ = nullptr;
    if (stream_) {
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
    mainloop_ = nullptr;
}

QString PulseAudioInput::serverError() const
{
    return QString::fromUtf8(pa_strerror(context_ ? pa_context_errno(context_) : PA_ERR_UNKNOWN));
}

// Audio thread, with the loop locked (as every callback below).
void PulseAudioInput::fail(const QString &message)
{
    if (ended_)
        return;
    ended_ = true;
    if (stream_)
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
    if (onFailure_)
        onFailure_(message);
}

void PulseAudioInput::contextStateChanged(pa_context *context, void *self)
{
    auto *input = static_cast<PulseAudioInput *>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        pa_operation_unref(pa_context_get_server_info(context, &PulseAudioInput::serverInfoArrived, self));
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        input->fail(u"No sound server: " + input->serverError());
        break;
    default:
        break;
    }
}

void PulseAudioInput::serverInfoArrived(pa_context *context, const pa_server_info *info, void *self)
{
    auto *input = static_cast<PulseAudioInput *>(self);
    if (!info || !info->default_source_name || !*info->default_source_name) {
        input->fail(QStringLiteral("No microphone found"));
        return;
    }
    pa_operation_unref(pa_context_get_source_info_by_name(context, info->default_source_name,
                                                          &PulseAudioInput::sourceInfoArrived, self));
}

void PulseAudioInput::sourceInfoArrived(pa_context *, const pa_source_info *info, int last, void *self)
{
    auto *input = static_cast<PulseAudioInput *>(self);
    if (input->sourceFound_ || input->ended_)
        return;
    if (last != 0 || !info || info->monitor_of_sink != PA_INVALID_INDEX) {
        input->fail(QStringLiteral("No microphone found"));
        return;
    }
    input->sourceFound_ = true;
    input->connectStream(info->name);
}

void PulseAudioInput::connectStream(const char *sourceName)
{
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, uint32_t(sampleRate), 1};
    stream_ = pa_stream_new(context_, "Spoken question", &format, nullptr);
    if (!stream_) {
        fail(u"Cannot record: " + serverError());
        return;
    }
    pa_stream_set_state_callback(stream_, &PulseAudioInput::streamStateChanged, this);
    pa_stream_set_read_callback(stream_, &PulseAudioInput::samplesArrived, this);
    pa_buffer_attr buffer{};
    buffer.maxlength = uint32_t(-1);
    buffer.fragsize = fragmentBytes;
    // A question is short: when its microphone goes away, say so rather than go on with whatever source
    // the server would move the stream to (possibly only the monitor of the speakers).
    if (pa_stream_connect_record(stream_, sourceName, &buffer,
                                 pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE)) < 0)
        fail(u"Cannot record: " + serverError());
}

void PulseAudioInput::streamStateChanged(pa_stream *stream, void *self)
{
    auto *input = static_cast<PulseAudioInput *>(self);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        input->fail(u"The microphone stopped: " + input->serverError());
}

void PulseAudioInput::samplesArrived(pa_stream *stream, size_t, void *self)
{
    auto *input = static_cast<PulseAudioInput *>(self);
    const void *data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &data, &bytes) < 0) {
            input->fail(u"The microphone stopped: " + input->serverError());
            return;
        }
        if (bytes == 0)
            return;
        // A hole (no data, only a length) is skipped: there is nothing to encode for it.
        input->capturing_ = true;
        if (data && !input->ended_)
            input->onSamples_(static_cast<const float *>(data), qsizetype(bytes / sizeof(float)));
        pa_stream_drop(stream);
    }
}

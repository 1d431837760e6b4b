#include "voice/PulseAudioProbe.h"

#include <pulse/pulseaudio.h>

namespace {

struct Question {
    bool done = false;
    std::optional<bool> found;
};

} // namespace

std::optional<bool> PulseAudioProbe::hasMicrophone(int timeoutMs)
{
    pa_mainloop *loop = pa_mainloop_new();
    pa_mainloop_api *api = pa_mainloop_get_api(loop);
    Question question;
    timeval deadline{};
    pa_timeval_add(pa_gettimeofday(&deadline), pa_usec_t(timeoutMs) * PA_USEC_PER_MSEC);
    pa_time_event *timer = api->time_new(
        api, &deadline,
        [](pa_mainloop_api *, pa_time_event *, const timeval *, void *q) { static_cast<Question *>(q)->done = true; },
        &question);

    pa_context *context = pa_context_new(api, "Glint microphone check");
    pa_context_set_state_callback(
        context,
        [](pa_context *c, void *q) {
            auto *asked = static_cast<Question *>(q);
            const pa_context_state_t state = pa_context_get_state(c);
            if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
                asked->found = false; // no server: no microphone
                asked->done = true;
            } else if (state == PA_CONTEXT_READY) {
                pa_operation_unref(pa_context_get_source_info_list(
                    c,
                    [](pa_context *, const pa_source_info *info, int last, void *q) {
                        auto *asked = static_cast<Question *>(q);
                        if (last) {
                            asked->found = asked->found.value_or(false);
                            asked->done = true;
                        } else if (info && info->monitor_of_sink == PA_INVALID_INDEX) {
                            asked->found = true;
                        }
                    },
                    q));
            }
        },
        &question);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        question = {true, false};
    while (!question.done && pa_mainloop_iterate(loop, 1, nullptr) >= 0) {
    }
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    api->time_free(timer);
    pa_mainloop_free(loop);
    return question.done && question.found ? question.found : std::nullopt;
}

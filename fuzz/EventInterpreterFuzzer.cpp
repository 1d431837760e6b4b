#include "providers/AnthropicProvider.h"
#include "providers/OpenAIProvider.h"

#include <cstdlib>

namespace {

void check(const LLMEventMeaning &meaning, const ServerSentEvent &event)
{
    // Only a JSON object carries text, a reason for stopping or an error.
    if ((meaning.kind != LLMEventMeaning::Kind::Nothing || meaning.stop) && !event.dataObject())
        std::abort();
}

} // namespace

// Both interpreters on the same event data.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ServerSentEvent event{{}, QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size))};
    check(AnthropicProvider::processEvent(event), event);
    check(OpenAIProvider::processEvent(event), event);
    return 0;
}

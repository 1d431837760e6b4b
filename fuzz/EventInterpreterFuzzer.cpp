#include "providers/AnthropicProvider.h"
#include "providers/OpenAIProvider.h"

#include <cstdlib>

namespace {

void check(const LLMLineEvent &event, const QString &line)
{
    // Only data lines mean anything.
    if (event.kind != LLMLineEvent::Kind::Nothing && !line.startsWith(u"data: "))
        std::abort();
}

} // namespace

// Both interpreters on the same line, as given and behind a "data: " prefix so the JSON reader is reached.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &line : QStringList{text, u"data: " + text}) {
        check(AnthropicProvider::processLine(line), line);
        check(OpenAIProvider::processLine(line), line);
    }
    return 0;
}

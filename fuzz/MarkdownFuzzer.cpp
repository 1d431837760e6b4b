#include "panel/MessageTextView.h"
#include "panel/StreamingMarkdown.h"

#include <cstdlib>

// An answer streamed in three pieces looks as if it had been converted whole each time, with one style
// per character and no more text than it came with.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString answer = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    StreamingMarkdown streamed;
    for (const qsizetype end : {answer.size() / 3, answer.size() * 2 / 3, answer.size()}) {
        const StyledText whole = MessageTextView::attributedAssistantText(answer.left(end));
        if (streamed.convert(answer.left(end)) != whole || whole.styles.size() != whole.text.size() ||
            whole.text.size() > end)
            std::abort();
    }
    return 0;
}

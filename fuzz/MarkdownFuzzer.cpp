#include "panel/MessageTextView.h"
#include "panel/StreamingMarkdown.h"

#include <cstdlib>

namespace {

bool wellFormed(const StyledText &styled, qsizetype sourceSize)
{
    return styled.styles.size() == styled.text.size() && styled.text.size() <= sourceSize;
}

} // namespace

// An answer, whole and streamed in three pieces, comes out with one style per character and no more text than
// it came with.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString answer = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    StreamingMarkdown streamed;
    for (qsizetype end : {answer.size() / 3, answer.size() * 2 / 3, answer.size()}) {
        if (end < answer.size() && answer.at(end).isLowSurrogate())
            ++end; // fragments of an answer are whole characters
        if (!wellFormed(MessageTextView::attributedAssistantText(answer.left(end)), end) ||
            !wellFormed(streamed.convert(answer.left(end)), end))
            std::abort();
    }
    return 0;
}

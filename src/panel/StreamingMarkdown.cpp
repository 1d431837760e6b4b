#include "panel/StreamingMarkdown.h"

#include "panel/MessageTextView.h"

StyledText StreamingMarkdown::convert(const QString &text)
{
    if (!text.startsWith(settledSource_)) {
        settledSource_.clear();
        settled_ = StyledText();
    }
    QStringView rest = QStringView(text).mid(settledSource_.size());
    // Try to settle everything up to the last line break: it settles when nothing is left open.
    if (const qsizetype lastBreak = rest.lastIndexOf(u'\n'); lastBreak >= 0) {
        const QString lines = rest.left(lastBreak + 1).toString();
        bool closed = false;
        const StyledText converted = MessageTextView::attributedAssistantText(lines, &closed);
        if (closed) {
            settledSource_ += lines;
            settled_.text += converted.text;
            settled_.styles += converted.styles;
            rest = rest.mid(lastBreak + 1);
        }
    }
    StyledText result = settled_;
    const StyledText open = MessageTextView::attributedAssistantText(rest.toString());
    result.text += open.text;
    result.styles += open.styles;
    return result;
}

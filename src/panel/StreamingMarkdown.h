#pragma once

#include "panel/StyledText.h"

// Converts an answer that grows at its end, as it streams in. Lines whose conversion nothing later
// can change are converted once and kept; only the open rest is converted again each time. The
// result is always what converting the whole text at once gives.
class StreamingMarkdown {
public:
    StyledText convert(const QString &text);

private:
    QString settledSource_;
    StyledText settled_;
};

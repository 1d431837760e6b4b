#include "panel/StyledText.h"

#include <algorithm>

StyledText::StyledText(const QString &text, TextStyle style)
    : text(text)
    , styles(text.size(), style)
{
}

void StyledText::replace(qsizetype start, qsizetype length, const QString &replacement, TextStyle style)
{
    text.replace(start, length, replacement);
    styles.remove(start, length);
    styles.insert(start, replacement.size(), style);
}

qsizetype StyledText::firstDifference(const StyledText &a, const StyledText &b)
{
    const qsizetype common = std::min(a.text.size(), b.text.size());
    const auto textEnd = std::mismatch(a.text.cbegin(), a.text.cbegin() + common, b.text.cbegin()).first;
    const auto styleEnd = std::mismatch(a.styles.cbegin(), a.styles.cbegin() + common, b.styles.cbegin()).first;
    return std::min<qsizetype>(textEnd - a.text.cbegin(), styleEnd - a.styles.cbegin());
}

#pragma once

#include <QList>
#include <QString>

// How a stretch of message text is drawn.
enum class TextStyle : quint8 { Body, Bold, Code, Heading };

// Text with one style per UTF-16 code unit: the result of converting a message for display.
struct StyledText {
    QString text;
    QList<TextStyle> styles;

    StyledText() = default;
    StyledText(const QString &text, TextStyle style);

    // Replaces `length` units at `start` with `replacement`, all in `style`.
    void replace(qsizetype start, qsizetype length, const QString &replacement, TextStyle style);

    // The first unit at which the two differ in text or style; the shorter length when one is a prefix
    // of the other.
    static qsizetype firstDifference(const StyledText &a, const StyledText &b);

    friend bool operator==(const StyledText &, const StyledText &) = default;
};

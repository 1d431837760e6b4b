#pragma once

#include <QStringView>

// Finds where a growing Markdown text can be cut: before the cut nothing appended later can change how
// the text reads, so that part is converted once while the rest streams in.
class MarkdownBlockSplitter {
public:
    MarkdownBlockSplitter() = delete;

    // The end of the longest part of `text` that no later text can change, at least `from`, which must be
    // such a cut itself (0 at first). A cut is the start of a line that follows a blank line outside a
    // code fence and starts a new top-level block. Link reference definitions reach back over the whole
    // text, so a text holding one is never cut.
    static qsizetype settledEnd(QStringView text, qsizetype from);

    // How much of an open `tail` (text after a cut) to show while it still streams: a table's header row
    // waits for its delimiter row, and a list marker alone for its item's text, so neither shows as raw
    // characters first.
    static qsizetype streamedEnd(QStringView tail);

    // Whether `text` holds a line that may define a link reference.
    static bool mayDefineLinks(QStringView text);
};

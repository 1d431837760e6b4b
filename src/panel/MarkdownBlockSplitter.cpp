#include "panel/MarkdownBlockSplitter.h"

#include "panel/MarkdownDocumentWriter.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// Up to three spaces of indentation, as a top-level block may have.
qsizetype indentation(QStringView line)
{
    qsizetype spaces = 0;
    while (spaces < line.size() && line.at(spaces) == u' ')
        ++spaces;
    return spaces;
}

// Only spaces and tabs make a line blank; other white space is text.
bool isBlank(QStringView line)
{
    return std::all_of(line.begin(), line.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
}

// A code fence's character and length, or none.
struct Fence {
    QChar character;
    qsizetype length = 0;
};

Fence fenceOf(QStringView line)
{
    const qsizetype start = indentation(line);
    if (start > 3 || start >= line.size() || (line.at(start) != u'`' && line.at(start) != u'~'))
        return {};
    const QChar character = line.at(start);
    qsizetype end = start;
    while (end < line.size() && line.at(end) == character)
        ++end;
    if (end - start < 3 || (character == u'`' && line.mid(end).contains(u'`')))
        return {};
    return {character, end - start};
}

// Only spaces may follow a closing fence: the reader takes a fence followed by a tab as a code line.
bool closesFence(QStringView line, const Fence &open)
{
    const Fence fence = fenceOf(line);
    if (fence.character != open.character || fence.length < open.length)
        return false;
    const QStringView after = line.mid(indentation(line) + fence.length);
    return std::all_of(after.begin(), after.end(), [](QChar c) { return c == u' '; });
}

bool isListMarker(QStringView line)
{
    static const QRegularExpression marker(QStringLiteral("^(?:[-+*]|\\d{1,9}[.)])(?:[ \\t]|$)"));
    return marker.match(line).hasMatch();
}

// What may yet become a list item's marker as the line goes on.
bool mayBecomeListMarker(QStringView start)
{
    static const QRegularExpression markerStart(QStringLiteral("^(?:[-+*]|\\d{1,9}[.)]?)$"));
    return isListMarker(start) || markerStart.match(start).hasMatch();
}

// A line that, after a blank line, ends every block before it: it is not indented (so no list item or
// indented code goes on), and a list item only where no list came before that it could join and loosen.
// Its first characters tell, so it need not be complete.
bool startsTopLevelBlock(QStringView line, bool complete, bool afterList)
{
    if (line.isEmpty() || line.at(0) == u' ' || line.at(0) == u'\t')
        return false;
    return !afterList || (complete ? !isListMarker(line) : !mayBecomeListMarker(line));
}

// Any line that may be a list item, at any depth; one in what looks like a code fence too, as the guess
// at fences may be wrong.
bool mayBeListItem(QStringView line)
{
    qsizetype start = 0;
    while (start < line.size() && (line.at(start) == u' ' || line.at(start) == u'\t'))
        ++start;
    return isListMarker(line.mid(start));
}

// Calls `visit(start, line, inFence)` for each line of `text` from `from`, the line without its break;
// `inFence` tells whether a fence was open before the line.
template <typename Visit> void forEachLine(QStringView text, qsizetype from, Visit visit)
{
    Fence open;
    for (qsizetype start = from; start < text.size();) {
        // Lines end as the reader ends them: at a line feed, a carriage return, or both.
        qsizetype end = start;
        while (end < text.size() && text.at(end) != u'\n' && text.at(end) != u'\r')
            ++end;
        const bool complete = end < text.size();
        const QStringView line = text.mid(start, end - start);
        const bool inFence = open.length > 0;
        if (!visit(start, line, complete, inFence))
            return;
        if (inFence) {
            if (closesFence(line, open))
                open = {};
        } else if (const Fence fence = fenceOf(line); fence.length > 0) {
            open = fence;
        }
        start = end + (text.mid(end).startsWith(u"\r\n") ? 2 : 1);
    }
}

} // namespace

qsizetype MarkdownBlockSplitter::settledEnd(QStringView text, qsizetype from)
{
    qsizetype end = from;
    bool afterBlank = false;
    bool afterList = false; // since the last cut
    forEachLine(text, from, [&](qsizetype start, QStringView line, bool complete, bool inFence) {
        if (!inFence && afterBlank && startsTopLevelBlock(line, complete, afterList)) {
            end = start;
            afterList = false;
        }
        if (!complete)
            return false;
        afterBlank = !inFence && isBlank(line);
        afterList = afterList || mayBeListItem(line);
        return true;
    });
    // The fences seen above are a quick guess (a table row may hold what looks like a fence); the reader
    // has the last word, and where it disagrees nothing more is settled.
    if (end > from && MarkdownDocumentWriter::endsInOpenFence(text.mid(from, end - from)))
        return from;
    return end;
}

qsizetype MarkdownBlockSplitter::streamedEnd(QStringView tail)
{
    static const QRegularExpression delimiterRow(
        QStringLiteral("^ {0,3}\\|?[ \\t]*:?-+:?[ \\t]*(?:\\|[ \\t]*:?-+:?[ \\t]*)*\\|?[ \\t]*$"));
    static const QRegularExpression bareMarker(QStringLiteral("^[ \\t]*(?:[-+*]|\\d{1,9}[.)]?)[ \\t]*$"));
    qsizetype end = tail.size();
    qsizetype rowsStart = -1; // the first of the table rows that end the tail
    int rows = 0;
    bool established = false;
    forEachLine(tail, 0, [&](qsizetype start, QStringView line, bool complete, bool inFence) {
        if (inFence || line.mid(indentation(line)).startsWith(u'|') == false) {
            rowsStart = -1;
            rows = 0;
        } else if (rows++ == 0) {
            rowsStart = start;
            established = false;
        } else if (rows == 2) {
            established = complete && delimiterRow.match(line).hasMatch();
        }
        if (!complete && !inFence && bareMarker.match(line).hasMatch())
            end = start;
        return true;
    });
    if (rowsStart >= 0 && !established)
        end = qMin(end, rowsStart);
    return end;
}

bool MarkdownBlockSplitter::mayDefineLinks(QStringView text)
{
    // Definitions may stand in quotes and list items too.
    // A label may span lines and hold escaped brackets, so any label start before the last "]:" counts.
    static const QRegularExpression labelStart(
        QStringLiteral("(*ANYCRLF)(?m)^(?:[ \\t>]|[-+*][ \\t]|\\d{1,9}[.)][ \\t])*\\["));
    const qsizetype labelEnd = text.lastIndexOf(u"]:");
    return labelEnd >= 0 && labelStart.match(text.left(labelEnd)).hasMatch();
}

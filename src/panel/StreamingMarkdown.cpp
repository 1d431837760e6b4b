#include "panel/StreamingMarkdown.h"

#include "panel/MarkdownBlockSplitter.h"
#include "panel/MarkdownDocumentWriter.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

void StreamingMarkdown::restart(QTextDocument &document, const QColor &foreground)
{
    settledSource_.clear();
    settledEnd_ = 0;
    foreground_ = foreground;
    whole_ = false;
    QTextCursor cursor(&document);
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    if (QTextList *list = cursor.currentList())
        list->remove(cursor.block());
    cursor.setBlockFormat({});
    cursor.setBlockCharFormat({});
}

// The open rest begins in the free block after the settled ones. The writer gives that block its formats
// again; setting them here would lay out the settled block before it too.
void StreamingMarkdown::removeOpenRest(QTextDocument &document) const
{
    QTextCursor open(&document);
    open.setPosition(settledEnd_);
    open.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    open.removeSelectedText();
    if (QTextList *list = open.currentList())
        list->remove(open.block());
}

void StreamingMarkdown::show(QTextDocument &document, const QString &text, const QColor &foreground, bool streaming)
{
    // One edit: the document is laid out once, not once for the removal and again for each write.
    QTextCursor edit(&document);
    edit.beginEditBlock();
    if (!text.startsWith(settledSource_) || foreground != foreground_)
        restart(document, foreground);
    const QStringView source(text);
    if (!whole_ && MarkdownBlockSplitter::mayDefineLinks(source.mid(settledSource_.size()))) {
        // A definition applies to the text before it too.
        restart(document, foreground);
        whole_ = true;
    }

    removeOpenRest(document);

    const qsizetype settled = whole_ ? 0 : MarkdownBlockSplitter::settledEnd(source, settledSource_.size());
    if (settled > settledSource_.size()) {
        MarkdownDocumentWriter writer(document, foreground);
        writer.write(source.mid(settledSource_.size(), settled - settledSource_.size()));
        // Rewriting the open rest then leaves every settled block untouched, so only the rest is laid out
        // and painted again.
        writer.endWithFreeBlock();
        settledSource_ = text.left(settled);
        settledEnd_ = document.characterCount() - 1;
    }
    QStringView rest = source.mid(settledSource_.size());
    if (streaming)
        rest = rest.left(MarkdownBlockSplitter::streamedEnd(rest));
    MarkdownDocumentWriter(document, foreground).write(rest);
    // A complete answer may end in what shows nothing (an empty quote, a link definition), where reading it
    // whole makes no block after the settled ones but this keeps the free block as the rest last left it;
    // that rare answer is read whole.
    if (!streaming && settledEnd_ == document.characterCount() - 1) {
        restart(document, foreground);
        MarkdownDocumentWriter(document, foreground).write(source);
    }
    edit.endEditBlock();
}

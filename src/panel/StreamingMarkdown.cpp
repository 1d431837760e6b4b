#include "panel/StreamingMarkdown.h"

#include "panel/MarkdownBlockSplitter.h"
#include "panel/MarkdownDocumentWriter.h"

#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

void StreamingMarkdown::restart(QTextDocument &document, const QColor &foreground)
{
    settledSource_.clear();
    settledEnd_ = 0;
    settledBlockFree_ = true;
    freeFormat_ = {};
    freeLook_ = {};
    foreground_ = foreground;
    whole_ = false;
    QTextCursor cursor(&document);
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    if (QTextList *list = cursor.currentList())
        list->remove(cursor.block());
    cursor.setBlockFormat(freeFormat_);
    cursor.setBlockCharFormat(freeLook_);
}

// Taking out the break after the last settled block would give that block the format of the removed one
// after it, and the open rest may have written into a free block, so the block's own formats and list are
// put back.
void StreamingMarkdown::removeOpenRest(QTextDocument &document) const
{
    QTextCursor open(&document);
    open.setPosition(settledEnd_);
    if (open.atEnd() && !settledBlockFree_)
        return;
    const QTextBlock settled = open.block();
    const QTextBlockFormat format = settledBlockFree_ ? freeFormat_ : settled.blockFormat();
    const QTextCharFormat look = settledBlockFree_ ? freeLook_ : settled.charFormat();
    const QPointer<QTextList> list = settledBlockFree_ ? nullptr : settled.textList();
    open.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    open.removeSelectedText();
    if (QTextList *now = open.currentList(); now && now != list)
        now->remove(open.block());
    open.setBlockFormat(format);
    open.setBlockCharFormat(look);
    if (list && open.currentList() != list)
        list->add(open.block());
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
        MarkdownDocumentWriter writer(document, foreground, settledBlockFree_);
        writer.write(source.mid(settledSource_.size(), settled - settledSource_.size()));
        settledSource_ = text.left(settled);
        settledEnd_ = document.characterCount() - 1;
        settledBlockFree_ = writer.lastBlockFree();
        if (settledBlockFree_) {
            freeFormat_ = document.lastBlock().blockFormat();
            freeLook_ = document.lastBlock().charFormat();
        }
    }
    QStringView rest = source.mid(settledSource_.size());
    if (streaming)
        rest = rest.left(MarkdownBlockSplitter::streamedEnd(rest));
    MarkdownDocumentWriter(document, foreground, settledBlockFree_).write(rest);
    edit.endEditBlock();
}

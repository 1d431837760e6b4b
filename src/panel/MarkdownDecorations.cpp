#include "panel/MarkdownDecorations.h"

#include "panel/MarkdownDocumentWriter.h"
#include "panel/QueryPanelTheme.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

namespace {

using Writer = MarkdownDocumentWriter;

bool isCodeLine(const QTextBlock &block)
{
    return block.isValid() && block.blockFormat().hasProperty(Writer::CodeLine);
}

bool startsCode(const QTextBlock &block)
{
    return block.blockFormat().hasProperty(Writer::CodeBlockStart);
}

// Where the block's text would start without its margins: a block's bounding rectangle starts at the
// left of its frame and only narrows by the margins and indentation.
qreal indentedLeft(const QTextBlock &block, const QRectF &rect)
{
    qreal indent = block.blockFormat().indent();
    if (const QTextList *list = block.textList())
        indent += list->format().indent();
    return rect.left() + indent * block.document()->indentWidth();
}

// The code block that starts at `first`.
MarkdownDecorations::CodeBlock codeBlockAt(const QTextDocument &document, const QTextBlock &first)
{
    QTextBlock last = first;
    while (isCodeLine(last.next()) && !startsCode(last.next()))
        last = last.next();
    const QAbstractTextDocumentLayout *layout = document.documentLayout();
    const QRectF top = layout->blockBoundingRect(first);
    const QRectF bottom = layout->blockBoundingRect(last);
    const qreal textLeft = indentedLeft(first, top) + first.blockFormat().leftMargin();
    const QRectF box(QPointF(textLeft - Writer::codePadding, top.top() - Writer::codeHeaderHeight + 4),
                     QPointF(textLeft + top.width() + Writer::codePadding, bottom.bottom() + Writer::codePadding));
    return {first, last, box, first.blockFormat().stringProperty(Writer::CodeLanguage)};
}

void paintCode(QPainter &painter, const MarkdownDecorations::CodeBlock &code)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QueryPanelTheme::codeBackground());
    painter.drawRoundedRect(code.box, 6, 6);
    if (code.language.isEmpty())
        return;
    painter.setPen(QueryPanelTheme::dimText());
    painter.setFont(QueryPanelTheme::monospacedFont(11));
    painter.drawText(QRectF(code.box.left() + Writer::codePadding, code.box.top(), code.box.width() / 2,
                            Writer::codeHeaderHeight - 4),
                     Qt::AlignLeft | Qt::AlignVCenter, code.language);
}

void paintBlock(QPainter &painter, const QTextBlock &block, const QRectF &rect)
{
    const QTextBlockFormat format = block.blockFormat();
    if (const int quotes = format.intProperty(Writer::QuoteLevel); quotes > 0) {
        const qreal origin = rect.left() + format.indent() * block.document()->indentWidth();
        const qreal top = rect.top() - format.topMargin();
        const qreal bottom = rect.bottom() + format.bottomMargin();
        for (int level = 0; level < quotes; ++level)
            painter.fillRect(QRectF(origin + level * Writer::quoteStep + 1, top, 3, bottom - top),
                             QueryPanelTheme::border());
    }
    if (format.hasProperty(Writer::Rule))
        painter.fillRect(QRectF(indentedLeft(block, rect) + format.leftMargin(), rect.center().y(), rect.width(), 1),
                         QueryPanelTheme::tableGrid());
    if (format.hasProperty(Writer::ListNumber) && block.layout()->lineCount() > 0) {
        const QTextLine line = block.layout()->lineAt(0);
        const QTextCharFormat look = block.charFormat();
        const QString number = QString::number(format.intProperty(Writer::ListNumber)) + u'.';
        painter.setFont(look.font());
        painter.setPen(look.foreground().color());
        const qreal right = rect.left() + line.x() - 6;
        painter.drawText(QPointF(right - painter.fontMetrics().horizontalAdvance(number),
                                 block.layout()->position().y() + line.y() + line.ascent()),
                         number);
    }
}

// Found by halving, as blocks lie top to bottom (a table's cells only roughly): a paint of the visible
// part of a long answer does not walk all blocks above it.
QTextBlock firstBlockReaching(const QTextDocument &document, qreal y)
{
    const QAbstractTextDocumentLayout *layout = document.documentLayout();
    int low = 0;
    int high = document.blockCount() - 1;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (layout->blockBoundingRect(document.findBlockByNumber(middle)).bottom() < y)
            low = middle + 1;
        else
            high = middle;
    }
    return document.findBlockByNumber(low);
}

} // namespace

QString MarkdownDecorations::CodeBlock::code() const
{
    QStringList lines;
    for (QTextBlock block = first;; block = block.next()) {
        lines.append(block.text());
        if (block == last)
            break;
    }
    return lines.join(u'\n');
}

QList<MarkdownDecorations::CodeBlock> MarkdownDecorations::codeBlocks(const QTextDocument &document, int from)
{
    QTextBlock block = document.findBlock(from);
    if (!block.isValid())
        block = document.lastBlock();
    while (isCodeLine(block) && !startsCode(block) && block.previous().isValid())
        block = block.previous();
    QList<CodeBlock> blocks;
    for (; block.isValid(); block = block.next())
        if (startsCode(block))
            blocks.append(codeBlockAt(document, block));
    return blocks;
}

void MarkdownDecorations::paint(QPainter &painter, const QTextDocument &document, const QRectF &clip)
{
    const QAbstractTextDocumentLayout *layout = document.documentLayout();
    QTextBlock block = firstBlockReaching(document, clip.top() - Writer::codeHeaderHeight);
    while (isCodeLine(block) && !startsCode(block) && block.previous().isValid())
        block = block.previous();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (; block.isValid(); block = block.next()) {
        const QRectF rect = layout->blockBoundingRect(block);
        if (rect.top() - Writer::codeHeaderHeight > clip.bottom())
            break;
        if (startsCode(block))
            paintCode(painter, codeBlockAt(document, block));
        paintBlock(painter, block, rect);
    }
    painter.restore();
}

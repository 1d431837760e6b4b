#include "panel/MarkdownDocumentWriter.h"

#include "panel/QueryPanelTheme.h"

#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <md4c.h>

struct MarkdownParserCallbacks {
    static MarkdownDocumentWriter &writer(void *self) { return *static_cast<MarkdownDocumentWriter *>(self); }
    static int enterBlock(MD_BLOCKTYPE type, void *detail, void *self)
    {
        writer(self).enterBlock(type, detail);
        return 0;
    }
    static int leaveBlock(MD_BLOCKTYPE type, void *, void *self)
    {
        writer(self).leaveBlock(type);
        return 0;
    }
    static int enterSpan(MD_SPANTYPE type, void *detail, void *self)
    {
        writer(self).enterSpan(type, detail);
        return 0;
    }
    static int leaveSpan(MD_SPANTYPE type, void *, void *self)
    {
        writer(self).leaveSpan(type);
        return 0;
    }
    static int text(MD_TEXTTYPE type, const MD_CHAR *text, MD_SIZE size, void *self)
    {
        writer(self).text(type, QString::fromUtf8(text, qsizetype(size)));
        return 0;
    }
};

namespace {

// CommonMark with GitHub's tables, strikethrough and bare links; HTML is never interpreted.
constexpr unsigned parserFlags =
    MD_FLAG_TABLES | MD_FLAG_STRIKETHROUGH | MD_FLAG_PERMISSIVEAUTOLINKS | MD_FLAG_NOHTMLBLOCKS | MD_FLAG_NOHTMLSPANS;

QString attributeText(const MD_ATTRIBUTE &attribute)
{
    return QString::fromUtf8(attribute.text, qsizetype(attribute.size));
}

// Only what the desktop opens in a browser or a mail program is a link.
QString openableHref(const QString &href)
{
    const QUrl url(href);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https" || scheme == u"mailto") ? href : QString();
}

qreal headingSize(int level)
{
    static constexpr qreal sizes[] = {18, 16, 14.5};
    return level >= 1 && level <= 3 ? sizes[level - 1] : 13;
}

} // namespace

MarkdownDocumentWriter::MarkdownDocumentWriter(QTextDocument &document, const QColor &foreground)
    : cursor_(&document)
    , foreground_(foreground)
{
    cursor_.movePosition(QTextCursor::End);
}

void MarkdownDocumentWriter::endWithFreeBlock()
{
    if (blockFree_)
        return;
    // In a paragraph's look: a paragraph written there later changes no format, and so nothing before it.
    cursor_.insertBlock(paragraphFormat(), charFormat());
    blockFree_ = true;
}

void MarkdownDocumentWriter::prepare(QTextDocument &document)
{
    document.setIndentWidth(indentWidth);
    QTextOption option = document.defaultTextOption();
    // Long code lines and addresses wrap anywhere rather than widen the panel.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(option);
}

void MarkdownDocumentWriter::write(QStringView markdown)
{
    if (markdown.isEmpty())
        return;
    const QByteArray source = markdown.toUtf8();
    MD_PARSER parser{};
    parser.flags = parserFlags;
    parser.enter_block = MarkdownParserCallbacks::enterBlock;
    parser.leave_block = MarkdownParserCallbacks::leaveBlock;
    parser.enter_span = MarkdownParserCallbacks::enterSpan;
    parser.leave_span = MarkdownParserCallbacks::leaveSpan;
    parser.text = MarkdownParserCallbacks::text;
    cursor_.beginEditBlock();
    md_parse(source.constData(), MD_SIZE(source.size()), &parser, this);
    cursor_.endEditBlock();
}

bool MarkdownDocumentWriter::endsInOpenFence(QStringView markdown)
{
    // A line of text after the end shows as code only inside an open fence; after a blank line nothing
    // else would take it in.
    struct Probe {
        QByteArray source;
        bool inCode = false;
    } probe{markdown.toUtf8() + "\n\nx", false};
    MD_PARSER parser{};
    parser.flags = parserFlags;
    parser.enter_block = [](MD_BLOCKTYPE, void *, void *) { return 0; };
    parser.leave_block = [](MD_BLOCKTYPE, void *, void *) { return 0; };
    parser.enter_span = [](MD_SPANTYPE, void *, void *) { return 0; };
    parser.leave_span = [](MD_SPANTYPE, void *, void *) { return 0; };
    parser.text = [](MD_TEXTTYPE type, const MD_CHAR *text, MD_SIZE, void *data) {
        auto *probe = static_cast<Probe *>(data);
        if (text == probe->source.constData() + probe->source.size() - 1)
            probe->inCode = type == MD_TEXT_CODE;
        return 0;
    };
    md_parse(probe.source.constData(), MD_SIZE(probe.source.size()), &parser, &probe);
    return probe.inCode;
}

QTextBlockFormat MarkdownDocumentWriter::paragraphFormat() const
{
    QTextBlockFormat format;
    format.setLineHeight(125, QTextBlockFormat::ProportionalHeight);
    format.setBottomMargin(lists_.isEmpty() ? 8 : 3);
    if (quoteLevel_ > 0) {
        format.setProperty(QuoteLevel, quoteLevel_);
        format.setLeftMargin(quoteLevel_ * quoteStep);
    }
    return format;
}

QTextCharFormat MarkdownDocumentWriter::charFormat() const
{
    QTextCharFormat format;
    QFont font = inCode_ || codeSpan_
                     ? QueryPanelTheme::monospacedFont(12.5)
                     : QueryPanelTheme::systemFont(headingSize(headingLevel_),
                                                   strong_ > 0 || headingLevel_ > 0 ? QFont::DemiBold : QFont::Normal);
    font.setItalic(emphasis_ > 0);
    font.setStrikeOut(strike_ > 0);
    format.setFont(font, QTextCharFormat::FontPropertiesAll);
    format.setForeground(foreground_);
    if (codeSpan_)
        format.setBackground(QueryPanelTheme::codeBackground());
    if (!links_.isEmpty() && !links_.last().href.isEmpty()) {
        format.setAnchor(true);
        format.setAnchorHref(links_.last().href);
        format.setFontUnderline(true);
        if (foreground_ == QueryPanelTheme::text())
            format.setForeground(QueryPanelTheme::link());
    }
    return format;
}

// Whatever the free block showed before is replaced. Its look is set only when it changes, as setting it
// lays out the block before again too.
void MarkdownDocumentWriter::takeFreeBlock(const QTextBlockFormat &format)
{
    if (QTextList *list = cursor_.currentList())
        list->remove(cursor_.block());
    cursor_.setBlockFormat(format);
    if (const QTextCharFormat look = charFormat(); cursor_.blockCharFormat() != look)
        cursor_.setBlockCharFormat(look);
}

void MarkdownDocumentWriter::startBlock(QTextBlockFormat format)
{
    blockOpen_ = true;
    if (table_)
        return; // a cell has its block already
    const bool firstOfItem = !lists_.isEmpty() && !itemStarted_;
    if (!lists_.isEmpty() && !firstOfItem)
        format.setIndent(int(lists_.size())); // a later block of an item lines up with its text
    if (blockFree_)
        takeFreeBlock(format);
    else
        cursor_.insertBlock(format, charFormat());
    blockFree_ = false;
    if (!firstOfItem)
        return;
    itemStarted_ = true;
    ListLevel &level = lists_.last();
    if (level.list) {
        level.list->add(cursor_.block());
    } else {
        QTextListFormat listFormat;
        listFormat.setIndent(int(lists_.size()));
        // Ordered lists may start anywhere, which lists here cannot: the view draws their numbers.
        static constexpr QTextListFormat::Style bullets[] = {QTextListFormat::ListDisc, QTextListFormat::ListCircle,
                                                             QTextListFormat::ListSquare};
        listFormat.setStyle(level.ordered ? QTextListFormat::ListStyleUndefined
                                          : bullets[qMin<qsizetype>(lists_.size(), 3) - 1]);
        level.list = cursor_.createList(listFormat);
    }
    if (level.ordered) {
        QTextBlockFormat numbered = cursor_.blockFormat();
        numbered.setProperty(ListNumber, int(level.next++));
        cursor_.setBlockFormat(numbered);
    }
}

void MarkdownDocumentWriter::startCodeLine()
{
    QTextBlockFormat format = paragraphFormat();
    format.setLineHeight(100, QTextBlockFormat::SingleHeight);
    format.setBottomMargin(0);
    format.setLeftMargin(format.leftMargin() + codePadding);
    format.setRightMargin(codePadding);
    format.setProperty(CodeLine, true);
    if (!codeStarted_) {
        format.setTopMargin(codeHeaderHeight);
        format.setProperty(CodeBlockStart, true);
        format.setProperty(CodeLanguage, codeLanguage_);
        codeStarted_ = true;
    }
    startBlock(format);
    codeLineOpen_ = true;
}

void MarkdownDocumentWriter::insert(const QString &text)
{
    if (!blockOpen_)
        startBlock(paragraphFormat());
    cursor_.insertText(text, charFormat());
}

void MarkdownDocumentWriter::enterBlock(int type, const void *detail)
{
    // Spans never cross blocks; one the parser left open must not style the next block.
    strong_ = emphasis_ = strike_ = 0;
    codeSpan_ = false;
    links_.clear();
    switch (MD_BLOCKTYPE(type)) {
    case MD_BLOCK_DOC:
    case MD_BLOCK_HTML:
    case MD_BLOCK_THEAD:
    case MD_BLOCK_TBODY:
        break;
    case MD_BLOCK_QUOTE:
        ++quoteLevel_;
        blockOpen_ = false;
        break;
    case MD_BLOCK_UL:
    case MD_BLOCK_OL: {
        ListLevel level;
        level.ordered = type == MD_BLOCK_OL;
        if (level.ordered)
            level.next = static_cast<const MD_BLOCK_OL_DETAIL *>(detail)->start;
        lists_.append(level);
        blockOpen_ = false;
        break;
    }
    case MD_BLOCK_LI:
        itemStarted_ = false;
        blockOpen_ = false;
        break;
    case MD_BLOCK_HR: {
        QTextBlockFormat format = paragraphFormat();
        format.setProperty(Rule, true);
        startBlock(format);
        blockOpen_ = false;
        break;
    }
    case MD_BLOCK_H: {
        headingLevel_ = int(static_cast<const MD_BLOCK_H_DETAIL *>(detail)->level);
        QTextBlockFormat format = paragraphFormat();
        format.setHeadingLevel(headingLevel_);
        format.setTopMargin(blockFree_ && cursor_.blockNumber() == 0 ? 0 : 6); // none at the very top
        format.setBottomMargin(4);
        startBlock(format);
        break;
    }
    case MD_BLOCK_CODE:
        inCode_ = true;
        codeStarted_ = false;
        codeLineOpen_ = false;
        codeLanguage_ = attributeText(static_cast<const MD_BLOCK_CODE_DETAIL *>(detail)->lang);
        blockOpen_ = false;
        break;
    case MD_BLOCK_P:
        startBlock(paragraphFormat());
        break;
    case MD_BLOCK_TABLE: {
        const auto *table = static_cast<const MD_BLOCK_TABLE_DETAIL *>(detail);
        QTextTableFormat format;
        format.setBorder(1);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderBrush(QueryPanelTheme::tableGrid());
        format.setCellSpacing(0);
        format.setCellPadding(5);
        format.setBottomMargin(8);
        format.setLeftMargin(quoteLevel_ * quoteStep + int(lists_.size()) * indentWidth);
        if (blockFree_)
            takeFreeBlock(paragraphFormat());
        else
            cursor_.insertBlock(paragraphFormat(), charFormat());
        table_ = cursor_.insertTable(int(table->head_row_count + table->body_row_count), int(table->col_count), format);
        row_ = -1;
        break;
    }
    case MD_BLOCK_TR:
        ++row_;
        column_ = -1;
        break;
    case MD_BLOCK_TH:
    case MD_BLOCK_TD: {
        ++column_;
        strong_ = type == MD_BLOCK_TH ? 1 : 0;
        const QTextTableCell cell = table_->cellAt(row_, column_);
        if (!cell.isValid())
            break;
        cursor_ = cell.firstCursorPosition();
        QTextBlockFormat format = paragraphFormat();
        format.setBottomMargin(0);
        format.setLeftMargin(0);
        format.clearProperty(QuoteLevel);
        switch (static_cast<const MD_BLOCK_TD_DETAIL *>(detail)->align) {
        case MD_ALIGN_CENTER:
            format.setAlignment(Qt::AlignHCenter);
            break;
        case MD_ALIGN_RIGHT:
            format.setAlignment(Qt::AlignRight);
            break;
        default:
            break;
        }
        cursor_.setBlockFormat(format);
        blockOpen_ = true;
        break;
    }
    }
}

void MarkdownDocumentWriter::leaveBlock(int type)
{
    switch (MD_BLOCKTYPE(type)) {
    case MD_BLOCK_QUOTE:
        --quoteLevel_;
        blockOpen_ = false;
        break;
    case MD_BLOCK_UL:
    case MD_BLOCK_OL:
        lists_.removeLast();
        // The item around a nested list goes on with blocks of its own.
        itemStarted_ = true;
        blockOpen_ = false;
        break;
    case MD_BLOCK_LI:
        if (!itemStarted_)
            startBlock(paragraphFormat()); // an empty item still shows its marker
        blockOpen_ = false;
        break;
    case MD_BLOCK_H:
        headingLevel_ = 0;
        blockOpen_ = false;
        break;
    case MD_BLOCK_CODE: {
        if (!codeStarted_)
            startCodeLine(); // an empty or just opened block shows as one
        QTextBlockFormat last = cursor_.blockFormat();
        last.setBottomMargin(codePadding + 8);
        cursor_.setBlockFormat(last);
        inCode_ = false;
        blockOpen_ = false;
        break;
    }
    case MD_BLOCK_TABLE:
        table_ = nullptr;
        cursor_.movePosition(QTextCursor::End);
        blockFree_ = true;
        blockOpen_ = false;
        break;
    default:
        blockOpen_ = false;
        break;
    }
}

void MarkdownDocumentWriter::enterSpan(int type, const void *detail)
{
    switch (MD_SPANTYPE(type)) {
    case MD_SPAN_EM:
        ++emphasis_;
        break;
    case MD_SPAN_STRONG:
        ++strong_;
        break;
    case MD_SPAN_DEL:
        ++strike_;
        break;
    case MD_SPAN_CODE:
        codeSpan_ = true;
        break;
    case MD_SPAN_A:
        links_.append({openableHref(attributeText(static_cast<const MD_SPAN_A_DETAIL *>(detail)->href))});
        break;
    case MD_SPAN_IMG:
        // No picture is fetched: its description stands in, linked to it.
        links_.append({openableHref(attributeText(static_cast<const MD_SPAN_IMG_DETAIL *>(detail)->src))});
        break;
    default:
        break;
    }
}

void MarkdownDocumentWriter::leaveSpan(int type)
{
    switch (MD_SPANTYPE(type)) {
    case MD_SPAN_EM:
        --emphasis_;
        break;
    case MD_SPAN_STRONG:
        --strong_;
        break;
    case MD_SPAN_DEL:
        --strike_;
        break;
    case MD_SPAN_CODE:
        codeSpan_ = false;
        break;
    case MD_SPAN_A:
    case MD_SPAN_IMG:
        links_.removeLast();
        break;
    default:
        break;
    }
}

void MarkdownDocumentWriter::text(int type, QStringView text)
{
    switch (MD_TEXTTYPE(type)) {
    case MD_TEXT_NULLCHAR:
        insert(QString(QChar::ReplacementCharacter));
        break;
    case MD_TEXT_BR:
        insert(QString(QChar::LineSeparator));
        break;
    case MD_TEXT_SOFTBR:
        insert(QStringLiteral(" "));
        break;
    case MD_TEXT_ENTITY:
        insert(QTextDocumentFragment::fromHtml(text.toString()).toPlainText());
        break;
    case MD_TEXT_CODE:
        if (!inCode_) {
            insert(text.toString());
            break;
        }
        // A code block's text comes with its line breaks; each line is a block of its own.
        for (qsizetype start = 0; start < text.size();) {
            qsizetype end = text.indexOf(u'\n', start);
            if (!codeLineOpen_)
                startCodeLine();
            cursor_.insertText(text.mid(start, (end < 0 ? text.size() : end) - start).toString(), charFormat());
            if (end < 0)
                break;
            codeLineOpen_ = false;
            start = end + 1;
        }
        break;
    default:
        insert(text.toString());
        break;
    }
}

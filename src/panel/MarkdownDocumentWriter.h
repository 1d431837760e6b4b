#pragma once

#include <QColor>
#include <QList>
#include <QTextCursor>
#include <QTextFormat>

class QTextDocument;
class QTextList;
class QTextTable;

// Writes Markdown (CommonMark with GitHub's tables, strikethrough and bare links) at the end of a document,
// in the panel's fonts and colours. Raw HTML stays text; links keep their target only for http, https and
// mailto.
class MarkdownDocumentWriter {
public:
    // What the view draws around the text of a block.
    enum BlockProperty {
        CodeLine = QTextFormat::UserProperty + 1, // a line of a code block
        CodeBlockStart,                           // the first line of one
        CodeLanguage,                             // on the first line: the fence's language, if any
        QuoteLevel,                               // how many quotes the block is in
        Rule,                                     // a horizontal rule
        ListNumber,                               // the number before an ordered list's item
    };
    static constexpr int codePadding = 8;
    static constexpr int codeHeaderHeight = 26; // above the first line: the language and the copy button
    static constexpr int quoteStep = 14;
    static constexpr int indentWidth = 22;

    // Writes after what the document holds, whose last block must be empty (a new document, or one that
    // `endWithFreeBlock` ended): the first block written goes there, in formats of its own.
    MarkdownDocumentWriter(QTextDocument &document, const QColor &foreground);

    void write(QStringView markdown);
    // Ends what was written with such a block, as the next block would start, so that whatever is written
    // after it leaves the blocks before untouched.
    void endWithFreeBlock();

    static void prepare(QTextDocument &document);

    // Whether a code fence is open at the end of `markdown`, as the reader sees it.
    static bool endsInOpenFence(QStringView markdown);

private:
    struct ListLevel {
        bool ordered = false;
        unsigned next = 1;
        QTextList *list = nullptr;
    };
    struct Link {
        QString href; // empty when the target may not be opened
    };

    friend struct MarkdownParserCallbacks;

    void enterBlock(int type, const void *detail);
    void leaveBlock(int type);
    void enterSpan(int type, const void *detail);
    void leaveSpan(int type);
    void text(int type, QStringView text);
    void takeFreeBlock(const QTextBlockFormat &format);
    void startBlock(QTextBlockFormat format);
    void startCodeLine();
    void insert(const QString &text);
    QTextBlockFormat paragraphFormat() const;
    QTextCharFormat charFormat() const;

    QTextCursor cursor_;
    QColor foreground_;
    bool blockFree_ = true;
    bool blockOpen_ = false;

    QList<ListLevel> lists_;
    bool itemStarted_ = false;
    int quoteLevel_ = 0;
    int headingLevel_ = 0;
    bool inCode_ = false;
    bool codeLineOpen_ = false;
    bool codeStarted_ = false;
    QString codeLanguage_;

    QTextTable *table_ = nullptr;
    int row_ = -1;
    int column_ = -1;

    int strong_ = 0;
    int emphasis_ = 0;
    int strike_ = 0;
    bool codeSpan_ = false;
    QList<Link> links_;
};

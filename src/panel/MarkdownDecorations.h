#pragma once

#include <QRectF>
#include <QString>
#include <QTextBlock>

class QPainter;
class QTextDocument;

// What a document written by MarkdownDocumentWriter shows beyond its text: the boxes behind code blocks,
// the bars beside quotes, rules and the numbers of ordered lists.
class MarkdownDecorations {
public:
    MarkdownDecorations() = delete;

    struct CodeBlock {
        QTextBlock first;
        QTextBlock last;
        QRectF box; // in document coordinates, header included
        QString language;

        QString code() const;
    };

    // The code blocks from the one holding position `from` (or the first after it) to the end.
    static QList<CodeBlock> codeBlocks(const QTextDocument &document, int from = 0);
    // Paints what lies in `clip` (document coordinates), under the text.
    static void paint(QPainter &painter, const QTextDocument &document, const QRectF &clip);
};

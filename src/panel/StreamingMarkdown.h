#pragma once

#include <QColor>
#include <QString>

class QTextDocument;

// Shows an answer that grows at its end, as it streams in, in a document. Blocks that nothing later can
// change are converted once and kept; only the open rest is converted again each time. Once the answer
// is complete the document is what converting it whole gives.
class StreamingMarkdown {
public:
    // `streaming`: more text may follow, so a table row or list marker that would show as raw characters
    // waits for what completes it.
    void show(QTextDocument &document, const QString &text, const QColor &foreground, bool streaming);

private:
    void restart(QTextDocument &document, const QColor &foreground);
    void removeOpenRest(QTextDocument &document) const;

    QString settledSource_;
    int settledEnd_ = 0; // where the document's open rest begins, in a free block
    QColor foreground_;
    bool whole_ = false; // the text defines links: it is converted whole each time
};

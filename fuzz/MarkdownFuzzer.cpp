#include "panel/MarkdownDocumentWriter.h"
#include "panel/QueryPanelTheme.h"
#include "panel/StreamingMarkdown.h"

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <cstdlib>

namespace {

// Which object (a list, a table) a format belongs to is numbered by the order objects were made, which
// differs between a streamed document and a fresh one; the object itself is compared apart.
template <typename Format> Format withoutObject(Format format)
{
    format.clearProperty(QTextFormat::ObjectIndex);
    return format;
}

// Blocks and runs with every format, lists by their look: the same document however it was written.
bool sameDocument(const QTextDocument &a, const QTextDocument &b)
{
    if (a.blockCount() != b.blockCount())
        return false;
    for (QTextBlock x = a.begin(), y = b.begin(); x.isValid(); x = x.next(), y = y.next()) {
        if (x.text() != y.text() || withoutObject(x.blockFormat()) != withoutObject(y.blockFormat()) ||
            withoutObject(x.charFormat()) != withoutObject(y.charFormat()) ||
            bool(x.textList()) != bool(y.textList()) ||
            (x.textList() && x.textList()->format() != y.textList()->format()))
            return false;
        auto i = x.begin(), j = y.begin();
        for (; !i.atEnd() && !j.atEnd(); ++i, ++j)
            if (i.fragment().text() != j.fragment().text() ||
                withoutObject(i.fragment().charFormat()) != withoutObject(j.fragment().charFormat()))
                return false;
        if (!i.atEnd() || !j.atEnd())
            return false;
    }
    return true;
}

} // namespace

// An answer streamed in three pieces ends as the document one parse of the whole answer gives.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "MarkdownFuzzer";
    static char *argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);

    const QString answer = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QTextDocument streamed;
    MarkdownDocumentWriter::prepare(streamed);
    StreamingMarkdown markdown;
    for (qsizetype end : {answer.size() / 3, answer.size() * 2 / 3, answer.size()}) {
        if (end < answer.size() && answer.at(end).isLowSurrogate())
            ++end; // fragments of an answer are whole characters
        markdown.show(streamed, answer.left(end), QueryPanelTheme::text(), end < answer.size());
    }
    QTextDocument whole;
    MarkdownDocumentWriter::prepare(whole);
    MarkdownDocumentWriter(whole, QueryPanelTheme::text()).write(answer);
    if (!sameDocument(streamed, whole))
        std::abort();
    return 0;
}

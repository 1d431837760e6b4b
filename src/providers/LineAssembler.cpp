#include "providers/LineAssembler.h"

QStringList LineAssembler::feed(QByteArrayView chunk)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype end; (end = chunk.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArrayView piece = chunk.sliced(start, end - start);
        if (pending_.isEmpty()) {
            complete(piece, lines); // the common case: the whole line sits in this chunk
        } else {
            pending_ += piece;
            complete(pending_, lines);
            pending_.clear();
        }
    }
    pending_ += chunk.sliced(start);
    return lines;
}

QStringList LineAssembler::finish()
{
    QStringList lines;
    pending_.removeIf([](char c) { return c == '\r'; }); // a lone carriage return is no line
    if (!pending_.isEmpty())
        complete(pending_, lines);
    pending_.clear();
    return lines;
}

void LineAssembler::complete(QByteArrayView line, QStringList &lines)
{
    QByteArray withoutReturns;
    if (line.contains('\r')) {
        withoutReturns = line.toByteArray();
        withoutReturns.removeIf([](char c) { return c == '\r'; });
        line = withoutReturns;
    }
    decoder_.resetState();
    QString text = decoder_.decode(line);
    if (!decoder_.hasError())
        lines.append(std::move(text));
}

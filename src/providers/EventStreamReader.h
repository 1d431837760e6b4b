#pragma once

#include "providers/ServerSentEvent.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringDecoder>
#include <QStringList>

// Reads a response body as an event stream while its bytes arrive: a line ends at CRLF, LF or a lone CR;
// a blank line dispatches the event its "data" and "event" lines built; comments and other fields are
// ignored; a line that is not valid UTF-8 is dropped whole. Pure, so it can be fuzzed and measured alone.
// A line, or the data of one event, larger than `maxEventBytes` ends the reading: no answer needs that
// much, and a server that never ends a line must not make us hold all it sends.
class EventStreamReader {
public:
    static constexpr qsizetype maxEventBytes = 1024 * 1024;

    // The events completed by this chunk, in order.
    QList<ServerSentEvent> feed(QByteArrayView chunk);
    // At the end of the body: the event still open, since servers often leave out the last blank line.
    QList<ServerSentEvent> finish();
    // A line or an event outgrew the limit; nothing is read after it.
    bool isOverLimit() const { return overLimit_; }

private:
    void completeLine(QByteArrayView piece, QList<ServerSentEvent> &events);
    void readLine(QByteArrayView line, QList<ServerSentEvent> &events);
    void dispatch(QList<ServerSentEvent> &events);
    bool fits(qsizetype bytes);

    QByteArray pending_;               // the start of a line whose end has not arrived yet
    bool afterCarriageReturn_ = false; // the last chunk ended a line with CR; a leading LF belongs to it
    bool atStreamStart_ = true;        // the next line is the first, where a byte-order mark is skipped
    bool overLimit_ = false;
    qsizetype dataBytes_ = 0; // the size of the data lines of the open event
    QString type_;
    QStringList data_;
    // Stateless: a line cut inside a multi-byte sequence counts as invalid. A BOM past the first line is text.
    QStringDecoder decoder_{QStringDecoder::Utf8,
                            QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
};

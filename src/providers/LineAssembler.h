#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringList>

// Cuts a response body into text lines as its bytes arrive. A line feed ends a line; carriage returns
// are dropped wherever they stand; a line that is not valid UTF-8 is dropped whole. Pure, so it can be
// fuzzed and measured on its own.
class LineAssembler {
public:
    // The lines completed by this chunk, in order.
    QStringList feed(QByteArrayView chunk);
    // At the end of the body: the last line when it had no line feed.
    QStringList finish();

private:
    void complete(QByteArrayView line, QStringList &lines);

    QByteArray pending_; // the start of a line whose line feed has not arrived yet
    // Stateless: a line cut inside a multi-byte sequence counts as invalid. A leading BOM stays text.
    QStringDecoder decoder_{QStringDecoder::Utf8,
                            QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
};

#include "providers/EventStreamReader.h"

#include <utility>

QList<ServerSentEvent> EventStreamReader::feed(QByteArrayView chunk)
{
    QList<ServerSentEvent> events;
    if (chunk.isEmpty() || overLimit_)
        return events;
    qsizetype start = afterCarriageReturn_ && chunk.front() == '\n' ? 1 : 0;
    afterCarriageReturn_ = false;
    for (qsizetype at = start; at < chunk.size(); ++at) {
        const char c = chunk[at];
        if (c != '\n' && c != '\r')
            continue;
        completeLine(chunk.sliced(start, at - start), events);
        if (overLimit_)
            return events;
        if (c == '\r' && at + 1 == chunk.size())
            afterCarriageReturn_ = true;
        else if (c == '\r' && chunk[at + 1] == '\n')
            ++at;
        start = at + 1;
    }
    if (fits(pending_.size() + chunk.size() - start))
        pending_ += chunk.sliced(start);
    return events;
}

QList<ServerSentEvent> EventStreamReader::finish()
{
    QList<ServerSentEvent> events;
    if (!pending_.isEmpty())
        completeLine({}, events);
    dispatch(events);
    return events;
}

void EventStreamReader::completeLine(QByteArrayView piece, QList<ServerSentEvent> &events)
{
    if (pending_.isEmpty()) {
        readLine(piece, events); // the common case: the whole line sits in this chunk
        return;
    }
    pending_ += piece;
    readLine(pending_, events);
    pending_.clear();
}

void EventStreamReader::readLine(QByteArrayView line, QList<ServerSentEvent> &events)
{
    if (std::exchange(atStreamStart_, false) && line.startsWith("\xef\xbb\xbf"))
        line = line.sliced(3);
    if (line.isEmpty()) {
        dispatch(events);
        return;
    }
    if (!fits(line.size()))
        return;
    decoder_.resetState();
    const QString text = decoder_.decode(line);
    if (decoder_.hasError() || text.startsWith(u':'))
        return;
    const qsizetype colon = text.indexOf(u':');
    const QStringView field = colon < 0 ? QStringView(text) : QStringView(text).first(colon);
    QStringView value = colon < 0 ? QStringView() : QStringView(text).sliced(colon + 1);
    if (value.startsWith(u' '))
        value = value.sliced(1);
    if (field == u"data" && fits(dataBytes_ += line.size()))
        data_.append(value.toString());
    else if (field == u"event")
        type_ = value.toString();
}

void EventStreamReader::dispatch(QList<ServerSentEvent> &events)
{
    // An event without data carries nothing to read.
    if (!data_.isEmpty())
        events.append({type_, data_.join(u'\n')});
    type_.clear();
    data_.clear();
    dataBytes_ = 0;
}

bool EventStreamReader::fits(qsizetype bytes)
{
    if (bytes <= maxEventBytes)
        return true;
    overLimit_ = true;
    pending_.clear();
    type_.clear();
    data_.clear();
    return false;
}

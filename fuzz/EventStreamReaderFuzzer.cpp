#include "providers/EventStreamReader.h"

#include <cstdlib>

namespace {

QList<ServerSentEvent> read(QByteArrayView body, qsizetype cut)
{
    EventStreamReader reader;
    QList<ServerSentEvent> events = reader.feed(body.first(cut));
    events += reader.feed(body.sliced(cut));
    return events + reader.finish();
}

QList<ServerSentEvent> readByteByByte(QByteArrayView body)
{
    EventStreamReader reader;
    QList<ServerSentEvent> events;
    for (qsizetype at = 0; at < body.size(); ++at)
        events += reader.feed(body.sliced(at, 1));
    return events + reader.finish();
}

} // namespace

// However the network cuts the body, the events are the same; no type holds a line break and no data a CR.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView body(data, qsizetype(size));
    const QList<ServerSentEvent> whole = read(body, 0);
    if (read(body, body.size() / 2) != whole || read(body, body.size() / 3) != whole || readByteByByte(body) != whole)
        std::abort();
    for (const ServerSentEvent &event : whole)
        if (event.type.contains(u'\n') || event.type.contains(u'\r') || event.data.contains(u'\r'))
            std::abort();
    return 0;
}

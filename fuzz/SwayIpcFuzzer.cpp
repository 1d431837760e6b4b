#include "panel/SwayIpc.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr QByteArrayView magic("i3-ipc");

// Takes messages as the connection does after each read: every one shortens the buffer, and what stays
// is the start of an unfinished message.
void takeAll(QByteArray &buffer)
{
    for (qsizetype before = buffer.size(); SwayIpc::take(buffer); before = buffer.size())
        if (buffer.size() >= before)
            std::abort();
    if (buffer.size() >= magic.size() && !buffer.startsWith(magic))
        std::abort();
}

} // namespace

// The bytes once as a stream cut in two reads, once as the type and payload of a message we frame: that
// one must come back whole.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    QByteArray stream;
    stream += bytes.first(bytes.size() / 2);
    takeAll(stream);
    stream += bytes.sliced(bytes.size() / 2);
    takeAll(stream);

    quint32 type = 0;
    std::memcpy(&type, data, qMin(size, sizeof(type)));
    const QByteArray payload = bytes.sliced(qMin(bytes.size(), qsizetype(sizeof(type)))).toByteArray();
    QByteArray framed = SwayIpc::frame(type, payload);
    const std::optional<SwayIpc::Message> message = SwayIpc::take(framed);
    if (!message || message->type != type || !framed.isEmpty() || message->payload != QJsonDocument::fromJson(payload))
        std::abort();
    return 0;
}

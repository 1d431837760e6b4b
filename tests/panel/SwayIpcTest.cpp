#include "panel/SwayIpc.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

const QByteArray reply = SwayIpc::frame(SwayIpc::RunCommand, R"([{"success":true}])");
const QByteArray event = SwayIpc::frame(SwayIpc::windowEvent, R"({"change":"new","container":{"id":9}})");

const quint32 tooLong = SwayIpc::maximumPayload + 1;
const QByteArray oversized(reinterpret_cast<const char *>(&tooLong), sizeof(tooLong));

struct Case {
    const char *name;
    QByteArray buffer;
    QList<quint32> types; // of the messages taken, in order
    qsizetype left;       // bytes kept for the next read
};

TEST(SwayIpc, TakesWholeMessagesAndKeepsTheRest)
{
    const Case cases[] = {
        {"one reply", reply, {SwayIpc::RunCommand}, 0},
        {"an event after a reply", reply + event, {SwayIpc::RunCommand, SwayIpc::windowEvent}, 0},
        {"half a header", reply.left(9), {}, 9},
        {"the payload not yet in", reply.chopped(3), {}, reply.size() - 3},
        {"a message and part of the next", reply + event.left(20), {SwayIpc::RunCommand}, 20},
        {"garbage", QByteArray("not-ipc and more"), {}, 0},
        {"a length past the limit", SwayIpc::frame(SwayIpc::RunCommand, "{}").replace(6, 4, oversized), {}, 0},
    };
    for (const Case &c : cases) {
        QByteArray buffer = c.buffer;
        QList<quint32> types;
        while (const std::optional<SwayIpc::Message> message = SwayIpc::take(buffer))
            types << message->type;
        EXPECT_EQ(types, c.types) << c.name;
        EXPECT_EQ(buffer.size(), c.left) << c.name;
    }
}

TEST(SwayIpc, FramesInTheMachinesByteOrder)
{
    EXPECT_EQ(reply.left(14), QByteArray("i3-ipc\x12\0\0\0\0\0\0\0", 14));
    QByteArray buffer = event;
    const std::optional<SwayIpc::Message> message = SwayIpc::take(buffer);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->payload[u"container"][u"id"].toInt(), 9);
}

} // namespace

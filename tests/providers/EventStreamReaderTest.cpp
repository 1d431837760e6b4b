#include "providers/EventStreamReader.h"
#include "support/PeakResidentMemory.h"

#include <gtest/gtest.h>

namespace {

using Events = QList<ServerSentEvent>;

// Feeds the chunks in order and returns every event, the one left open at the end included.
Events read(const QList<QByteArray> &chunks)
{
    EventStreamReader reader;
    Events events;
    for (const QByteArray &chunk : chunks)
        events += reader.feed(chunk);
    return events + reader.finish();
}

QList<QByteArray> byteByByte(const QByteArray &body)
{
    QList<QByteArray> bytes;
    for (char c : body)
        bytes << QByteArray(1, c);
    return bytes;
}

struct FormatCase {
    const char *rule;
    QByteArray body;
    Events events;
};

const QList<FormatCase> formatCases = {
    {"LF ends a line, a blank line ends an event", "data: a\n\ndata: b\n\n", {{"", "a"}, {"", "b"}}},
    {"CRLF ends a line, also when CR and LF arrive apart",
     "data: a\r\ndata: b\r\n\r\ndata: c\r\n\r\n",
     {{"", "a\nb"}, {"", "c"}}},
    {"a lone CR ends a line", "data: a\r\rdata: b\r\r", {{"", "a"}, {"", "b"}}},
    {"endings may be mixed", "data: a\r\n\rdata: b\n\r\n", {{"", "a"}, {"", "b"}}},
    {"CR inside a line ends it", "data: a\rb\n\n", {{"", "a"}}},
    {"one space after the colon is removed, no more", "data:a\n\ndata:  b\n\n", {{"", "a"}, {"", " b"}}},
    {"data lines join with LF", "data: {\ndata:\ndata: }\n\n", {{"", "{\n\n}"}}},
    {"event names the type", "event: delta\ndata: x\n\ndata: y\n\n", {{"delta", "x"}, {"", "y"}}},
    {"comments, id, retry and unknown fields are ignored",
     ": keep-alive\nid: 7\nretry: 10\nfoo: bar\ndata: x\n:data: y\n\n",
     {{"", "x"}}},
    {"the field name runs to the first colon", "data: a: b\ndata\n\n", {{"", "a: b\n"}}},
    {"an event without data is not dispatched", "event: ping\n\n: only a comment\n\n", {}},
    {"a leading byte-order mark is skipped",
     "\xef\xbb\xbf"
     "data: x\n\n",
     {{"", "x"}}},
    {"a later byte-order mark is text",
     "data: x\n\n\xef\xbb\xbf"
     "data: y\n\n",
     {{"", "x"}}},
    {"an invalid UTF-8 line is dropped alone",
     "data: good\ndata: bad \xff\ndata: cut \xe2\x9c\ndata: over\xc0\xaf\n\ndata: fine\n\n",
     {{"", "good"}, {"", "fine"}}},
    {"multi-byte characters survive",
     "data: Gr\xc3\xbc\xc3\x9f"
     "e \xe2\x9c\x93\n\n",
     {{"", u"Grüße ✓"_qs}}},
    {"the event open at the end of the body is dispatched",
     "data: a\n\nevent: last\ndata: b",
     {{"", "a"}, {"last", "b"}}},
    {"so is one ended by a last line break only", "data: a\r", {{"", "a"}}},
    {"an invalid last line is dropped", "data: a\n\ndata: \xe2\x9c", {{"", "a"}}},
    {"an empty body has no events", "", {}},
};

TEST(EventStreamReader, FollowsTheFormatHoweverTheBodyIsCut)
{
    for (const FormatCase &c : formatCases) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(read({c.body}), c.events);
        EXPECT_EQ(read(byteByByte(c.body)), c.events);
        for (qsizetype cut = 1; cut < c.body.size(); ++cut)
            EXPECT_EQ(read({c.body.first(cut), {}, c.body.sliced(cut)}), c.events) << "cut at " << cut;
    }
}

struct SdkCase {
    const char *name;
    QList<QByteArray> hexChunks; // as the vendors' SDK decoder tests deliver them
    Events events;
};

// The byte sequences of the Anthropic SDKs' own decoder tests. Those SDKs also hand on an event with a name
// but no data ("event_missing_data"); such an event carries nothing for either provider.
const QList<SdkCase> sdkCases = {
    {"basic",
     {"6576656e743a20636f6d706c6574696f6e0a", "646174613a207b22666f6f223a747275657d0a", "0a"},
     {{"completion", R"({"foo":true})"}}},
    {"data_missing_event", {"646174613a207b22666f6f223a747275657d0a", "0a"}, {{"", R"({"foo":true})"}}},
    {"event_missing_data", {"6576656e743a2070696e670a", "0a"}, {}},
    {"multiple_events_with_data",
     {"6576656e743a2070696e670a", "646174613a207b22666f6f223a747275657d0a", "0a",
      "6576656e743a20636f6d706c6574696f6e0a", "646174613a207b22626172223a66616c73657d0a", "0a"},
     {{"ping", R"({"foo":true})"}, {"completion", R"({"bar":false})"}}},
    {"multiple_data_lines_with_empty_line",
     {"6576656e743a2070696e670a", "646174613a207b0a", "646174613a2022666f6f223a0a", "646174613a200a", "646174613a0a",
      "646174613a20747275657d0a", "0a0a"},
     {{"ping", "{\n\"foo\":\n\n\ntrue}"}}},
    {"data_json_escaped_double_new_line",
     {"6576656e743a2070696e670a", "646174613a207b22666f6f223a20226d79206c6f6e675c6e5c6e636f6e74656e74227d", "0a0a"},
     {{"ping", R"({"foo": "my long\n\ncontent"})"}}},
    {"multiple_data_lines",
     {"6576656e743a2070696e670a", "646174613a207b0a", "646174613a2022666f6f223a0a", "646174613a20747275657d0a", "0a0a"},
     {{"ping", "{\n\"foo\":\ntrue}"}}},
    {"special_new_line_character_U+2028",
     {"646174613a207b22636f6e74656e74223a222063756c7061227d0a", "0a",
      "646174613a207b22636f6e74656e74223a2220e280a8227d0a", "0a", "646174613a207b22636f6e74656e74223a22666f6f227d0a",
      "0a"},
     {{"", R"({"content":" culpa"})"}, {"", u"{\"content\":\" \u2028\"}"_qs}, {"", R"({"content":"foo"})"}}},
    {"multi_byte_character_multiple_chunks",
     {"646174613a207b22636f6e74656e74223a22", "d0", "b8d0b7d0", "b2d0b5d181d182d0bdd0b8", "227d0a", "0a"},
     {{"", u"{\"content\":\"известни\"}"_qs}}},
    {"error_event_python",
     {"6576656e743a206572726f720a",
      "646174613a207b2274797065223a20226572726f72222c20226572726f72223a207b2274797065223a20226f7665726c6f616465645f6572"
      "726f72222c20226d657373616765223a20224f7665726c6f61646564227d7d0a0a"},
     {{"error", R"({"type": "error", "error": {"type": "overloaded_error", "message": "Overloaded"}})"}}},
    {"error_event_typescript",
     {"6576656e743a206572726f720a",
      "646174613a207b2274797065223a226572726f72222c226572726f72223a7b2274797065223a226f7665726c6f616465645f6572726f7222"
      "2c226d657373616765223a224f7665726c6f61646564227d7d",
      "0a0a"},
     {{"error", R"({"type":"error","error":{"type":"overloaded_error","message":"Overloaded"}})"}}},
};

TEST(EventStreamReader, ReadsTheVendorDecoderCasesAsTheirSdksDo)
{
    for (const SdkCase &c : sdkCases) {
        SCOPED_TRACE(c.name);
        QList<QByteArray> chunks;
        for (const QByteArray &hex : c.hexChunks)
            chunks << QByteArray::fromHex(hex);
        const Events events = read(chunks);
        EXPECT_EQ(events, c.events);
    }
}

struct LimitCase {
    const char *rule;
    QByteArray body;
    Events events;
    bool overLimit;
};

QList<LimitCase> limitCases()
{
    const QByteArray full(EventStreamReader::maxEventBytes - 6, 'x'); // with "data: ", as long as allowed
    const QByteArray half(EventStreamReader::maxEventBytes / 2, 'x');
    return {
        {"a line as long as the limit is read", "data: " + full + "\n\n", {{"", full}}, false},
        {"a longer line ends the reading", "data: a\n\ndata: x" + full + "\n\ndata: b\n\n", {{"", "a"}}, true},
        {"so does one that never ends", "data: a\n\ndata: " + full + full, {{"", "a"}}, true},
        {"so do data lines adding up past it",
         "data: a\n\ndata: " + half + "\ndata: " + half + "\n\ndata: b\n\n",
         {{"", "a"}},
         true},
        {"each event has the whole limit",
         "data: " + half + "\n\ndata: " + half + "\n\n",
         {{"", half}, {"", half}},
         false},
    };
}

TEST(EventStreamReader, StopsAtALineOrEventLargerThanTheLimit)
{
    for (const LimitCase &c : limitCases()) {
        SCOPED_TRACE(c.rule);
        for (qsizetype size : {c.body.size(), qsizetype(4096)}) {
            EventStreamReader reader;
            Events events;
            for (qsizetype at = 0; at < c.body.size(); at += size)
                events += reader.feed(c.body.sliced(at, std::min(size, c.body.size() - at)));
            events += reader.finish();
            EXPECT_EQ(events, c.events) << "chunks of " << size;
            EXPECT_EQ(reader.isOverLimit(), c.overLimit);
        }
    }
}

TEST(EventStreamReader, HoldsLittleOfALineThatNeverEnds)
{
    ASSERT_TRUE(PeakResidentMemory::reset());
    const qint64 before = PeakResidentMemory::mebibytes();
    EventStreamReader reader;
    reader.feed("data: ");
    const QByteArray chunk(64 * 1024, 'x');
    for (int i = 0; i < 1024; ++i) // 64 MiB
        reader.feed(chunk);
    EXPECT_TRUE(reader.finish().isEmpty());
    EXPECT_LT(PeakResidentMemory::mebibytes() - before, 16);
}

} // namespace

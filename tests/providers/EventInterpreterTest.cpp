#include "support/RecordedStream.h"

#include "providers/AnthropicProvider.h"
#include "providers/EventStreamReader.h"
#include "providers/OpenAIProvider.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using Interpreter = LLMEventMeaning (*)(const ServerSentEvent &);

struct Outcome {
    QStringList fragments;
    QString failure;
    bool closed = false;
};

// What a body gives through the event stream reader and an interpreter, up to a failure.
Outcome interpretChunks(const QList<QByteArray> &chunks, Interpreter interpret)
{
    EventStreamReader reader;
    QList<ServerSentEvent> events;
    for (const QByteArray &chunk : chunks)
        events += reader.feed(chunk);
    Outcome outcome;
    for (const ServerSentEvent &event : events + reader.finish()) {
        const LLMEventMeaning meaning = interpret(event);
        outcome.closed = outcome.closed || meaning.closesAnswer;
        if (meaning.kind == LLMEventMeaning::Kind::Fragment)
            outcome.fragments << meaning.text;
        if (meaning.kind == LLMEventMeaning::Kind::Failure) {
            outcome.failure = meaning.text;
            break;
        }
    }
    return outcome;
}

Outcome interpretFile(const QString &name, Interpreter interpret)
{
    const QByteArray body = recordedStream(name);
    EXPECT_FALSE(body.isEmpty()) << name.toStdString();
    return interpretChunks({body}, interpret);
}

bool delivers(Interpreter interpret, const QString &data, const QString &fragment)
{
    const LLMEventMeaning meaning = interpret({{}, data});
    return meaning.kind == LLMEventMeaning::Kind::Fragment && meaning.text == fragment;
}

bool ignores(Interpreter interpret, const QString &data)
{
    const LLMEventMeaning meaning = interpret({{}, data});
    return meaning.kind == LLMEventMeaning::Kind::Nothing && !meaning.stop;
}

bool stops(Interpreter interpret, const QString &data, LLMAnswerEnding::Reason reason)
{
    return interpret({{}, data}).stop == reason;
}

bool refuses(Interpreter interpret, const QString &data, const QString &words)
{
    const LLMEventMeaning meaning = interpret({{}, data});
    return meaning.kind == LLMEventMeaning::Kind::Refusal && meaning.text == words;
}

// How a text delta and the closing event may travel. `json` is indented, so it spans several lines.
using WireShape = QByteArray (*)(const QByteArray &json);

QByteArray dataLines(const QByteArray &json, const QByteArray &prefix)
{
    QByteArray lines;
    for (const QByteArray &line : json.trimmed().split('\n'))
        lines += prefix + line + '\n';
    return lines;
}

QByteArray oneLine(const QByteArray &json)
{
    return json.trimmed().split('\n').join();
}

const QList<std::pair<const char *, WireShape>> wireShapes = {
    {"LF", [](const QByteArray &json) -> QByteArray { return "data: " + oneLine(json) + "\n\n"; }},
    {"CRLF", [](const QByteArray &json) -> QByteArray { return "data: " + oneLine(json) + "\r\n\r\n"; }},
    {"CR only", [](const QByteArray &json) -> QByteArray { return "data: " + oneLine(json) + "\r\r"; }},
    {"no space after data:", [](const QByteArray &json) -> QByteArray { return "data:" + oneLine(json) + "\n\n"; }},
    {"named, with a comment and an id",
     [](const QByteArray &json) -> QByteArray { return ": ping\nevent: x\nid: 1\ndata: " + oneLine(json) + "\n\n"; }},
    {"JSON over several data lines",
     [](const QByteArray &json) -> QByteArray { return dataLines(json, "data: ") + '\n'; }},
    {"several data lines without spaces",
     [](const QByteArray &json) -> QByteArray { return dataLines(json, "data:") + '\n'; }},
};

// Every shape carries the text "Grüße" and then closes the answer, for both providers.
void expectEveryWireShapeRead(Interpreter interpret, const QJsonObject &delta, const QByteArray &closing)
{
    const QByteArray json = QJsonDocument(delta).toJson(QJsonDocument::Indented);
    for (const auto &[name, shape] : wireShapes) {
        SCOPED_TRACE(name);
        const QByteArray body = shape(json) + shape(closing);
        QList<QByteArray> bytes;
        for (char c : body)
            bytes << QByteArray(1, c);
        for (const QList<QByteArray> &chunks : {QList<QByteArray>{body}, bytes}) {
            const Outcome outcome = interpretChunks(chunks, interpret);
            EXPECT_EQ(outcome.fragments, QStringList{u"Grüße"_qs});
            EXPECT_TRUE(outcome.closed);
            EXPECT_TRUE(outcome.failure.isEmpty());
        }
    }
}

TEST(EventInterpreters, ReadEveryWireShapeOfTheFormat)
{
    expectEveryWireShapeRead(AnthropicProvider::processEvent,
                             {{"type", "content_block_delta"}, {"delta", QJsonObject{{"text", u"Grüße"_qs}}}},
                             R"({"type": "message_stop"})");
    expectEveryWireShapeRead(OpenAIProvider::processEvent,
                             {{"choices", QJsonArray{QJsonObject{{"delta", QJsonObject{{"content", u"Grüße"_qs}}}}}}},
                             "[DONE]");
}

TEST(AnthropicEvents, RecordedStreamsGiveTheirTextDeltas)
{
    // Ends without a line feed, has a ping with spaced JSON.
    EXPECT_EQ(interpretFile("anthropic/sse-basic-text-stream.sse", AnthropicProvider::processEvent).fragments,
              (QStringList{"Hello", " there", "!"}));

    // The live service pads its JSON with spaces before the closing brace.
    const Outcome padded = interpretFile("anthropic/sse-padded-markdown-stream.sse", AnthropicProvider::processEvent);
    EXPECT_EQ(padded.fragments.size(), 15);
    EXPECT_TRUE(padded.fragments.join(QString()).startsWith(u" there! Happy to explain.\n\n**Solar eclipses**"));
    EXPECT_TRUE(padded.failure.isEmpty());
}

TEST(AnthropicEvents, AnErrorEventFailsTheAnswer)
{
    const Outcome outcome = interpretFile("anthropic/sse-error-event-overloaded.sse", AnthropicProvider::processEvent);
    EXPECT_EQ(outcome.failure, u"Stream error: {\"type\": \"error\", \"error\": {\"type\": \"overloaded_error\", "
                               u"\"message\": \"Overloaded\"}}");
}

TEST(AnthropicEvents, OnlyATextDeltaDeliversAndAStopShortOfAWholeAnswerIsTold)
{
    using enum LLMAnswerEnding::Reason;
    const auto interpret = AnthropicProvider::processEvent;
    EXPECT_TRUE(stops(interpret, R"({"type":"message_delta","delta":{"stop_reason":"max_tokens"}})", LengthLimit));
    EXPECT_TRUE(stops(interpret, R"({"type":"message_delta","delta":{"stop_reason":"model_context_window_exceeded"}})",
                      LengthLimit));
    EXPECT_TRUE(stops(interpret, R"({"type":"message_delta","delta":{"stop_reason":"refusal"}})", Refusal));
    EXPECT_TRUE(ignores(interpret, R"({"type":"message_delta","delta":{"stop_reason":"end_turn"}})"));
    EXPECT_TRUE(ignores(interpret, R"({"type":"message_start","message":{"stop_reason":"refusal"}})"));
    EXPECT_TRUE(delivers(interpret, R"({"type":"content_block_delta","delta":{"text":""}})", ""));
    EXPECT_TRUE(ignores(interpret, R"({"type":"content_block_delta","delta":{"partial_json":"{"}})"));
    EXPECT_TRUE(ignores(interpret, R"({"type":"content_block_delta","delta":{"text":5}})"));
    EXPECT_TRUE(ignores(interpret, R"({"type":"content_block_delta","delta":"text"})"));
    EXPECT_TRUE(ignores(interpret, R"({"type":"message_delta","delta":{"text":"x"}})"));
    EXPECT_TRUE(ignores(interpret, "[DONE]"));
    EXPECT_TRUE(ignores(interpret, "[1,2]"));
    EXPECT_TRUE(ignores(interpret, R"({"type":"content_block_delta")"));
    EXPECT_TRUE(ignores(interpret, ""));
}

TEST(OpenAIEvents, RecordedStreamsGiveTheFirstAnswersContent)
{
    const Outcome text = interpretFile("openai/sse-chat-text-stream.sse", OpenAIProvider::processEvent);
    EXPECT_EQ(text.fragments.size(), 31); // the first delta's empty content counts
    EXPECT_EQ(text.fragments.join(QString()),
              "I'm unable to provide real-time weather updates. To get the current weather in San Francisco, I "
              "recommend checking a reliable weather website or a weather app.");

    // Three answers interleaved chunk by chunk: only answer 0 is ours.
    EXPECT_EQ(interpretFile("openai/sse-chat-n3-interleaved-choices.sse", OpenAIProvider::processEvent)
                  .fragments.join(QString()),
              R"({"city":"San Francisco","temperature":65,"units":"f"})");
}

TEST(OpenAIEvents, AnErrorObjectFailsTheAnswer)
{
    const Outcome outcome =
        interpretFile("openai/sse-chat-midstream-error-normalized.sse", OpenAIProvider::processEvent);
    EXPECT_TRUE(outcome.failure.startsWith(u"Stream error: {\"error\":{\"message\":\"The server had an error"));
}

TEST(OpenAIEvents, OnlyAStringContentOfAnswerZeroDeliversAndARefusalIsTold)
{
    using enum LLMAnswerEnding::Reason;
    const auto interpret = OpenAIProvider::processEvent;
    EXPECT_TRUE(ignores(interpret, R"({"choices":[{"index":0,"delta":{"content":null,"refusal":""}}]})"));
    EXPECT_TRUE(refuses(interpret, R"({"choices":[{"index":0,"delta":{"refusal":"No."}}]})", "No."));
    EXPECT_TRUE(
        refuses(interpret, R"({"choices":[{"index":1,"delta":{"content":"b"}},{"delta":{"refusal":"No."}}]})", "No."));
    EXPECT_TRUE(ignores(interpret, R"({"choices":[{"index":1,"delta":{"refusal":"No."}}]})"));
    EXPECT_TRUE(stops(interpret, R"({"choices":[{"index":0,"delta":{},"finish_reason":"length"}]})", LengthLimit));
    EXPECT_TRUE(stops(interpret, R"({"choices":[{"index":0,"delta":{},"finish_reason":"content_filter"}]})", Refusal));
    EXPECT_TRUE(delivers(interpret, R"({"choices":[{"index":0,"delta":{"content":"hi"}}]})", "hi"));
    EXPECT_TRUE(delivers(interpret, R"({"choices":[{"delta":{"content":""}}]})", ""));
    EXPECT_TRUE(delivers(interpret,
                         R"({"choices":[{"index":1,"delta":{"content":"b"}},)"
                         R"({"index":0,"delta":{"content":"a"}}]})",
                         "a"));
    EXPECT_TRUE(ignores(interpret, R"({"choices":[{"index":0,"delta":{"role":"assistant"}}]})"));
    EXPECT_TRUE(ignores(interpret, R"({"choices":[{"index":0,"delta":{"content":null}}]})"));
    EXPECT_TRUE(ignores(interpret, R"({"choices":[],"usage":{"total_tokens":3}})"));
    EXPECT_TRUE(ignores(interpret, R"({"choices":{"index":0}})"));
    EXPECT_TRUE(ignores(interpret, R"({"choices":[{"index":2,"delta":{"content":"c"}}]})"));
    EXPECT_TRUE(ignores(interpret, "[DONE]"));
}

} // namespace

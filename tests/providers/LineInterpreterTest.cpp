#include "providers/AnthropicProvider.h"
#include "providers/LineAssembler.h"
#include "providers/OpenAIProvider.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using Interpreter = LLMLineEvent (*)(const QString &);

struct Outcome {
    QStringList fragments;
    QString failure;
};

// What a recorded stream gives through the line assembly and an interpreter, up to a failure.
Outcome interpretFile(const QString &name, Interpreter interpret)
{
    QFile file(QStringLiteral(GLINT_PROVIDER_TEST_DATA "/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    LineAssembler assembler;
    Outcome outcome;
    for (const QString &line : assembler.feed(file.readAll()) + assembler.finish()) {
        const LLMLineEvent event = interpret(line);
        if (event.kind == LLMLineEvent::Kind::Fragment)
            outcome.fragments << event.text;
        if (event.kind == LLMLineEvent::Kind::Failure) {
            outcome.failure = event.text;
            break;
        }
    }
    return outcome;
}

bool delivers(Interpreter interpret, const QString &line, const QString &fragment)
{
    const LLMLineEvent event = interpret(line);
    return event.kind == LLMLineEvent::Kind::Fragment && event.text == fragment;
}

bool ignores(Interpreter interpret, const QString &line)
{
    return interpret(line).kind == LLMLineEvent::Kind::Nothing;
}

TEST(AnthropicLines, RecordedStreamsGiveTheirTextDeltas)
{
    // Ends without a line feed, has a ping with spaced JSON.
    EXPECT_EQ(interpretFile("anthropic/sse-basic-text-stream.sse", AnthropicProvider::processLine).fragments,
              (QStringList{"Hello", " there", "!"}));

    // The live service pads its JSON with spaces before the closing brace.
    const Outcome padded = interpretFile("anthropic/sse-padded-markdown-stream.sse", AnthropicProvider::processLine);
    EXPECT_EQ(padded.fragments.size(), 15);
    EXPECT_TRUE(padded.fragments.join(QString()).startsWith(u" there! Happy to explain.\n\n**Solar eclipses**"));
    EXPECT_TRUE(padded.failure.isEmpty());

    EXPECT_EQ(interpretFile("anthropic/sse-refusal-no-text-stream.sse", AnthropicProvider::processLine).fragments,
              QStringList{});
}

TEST(AnthropicLines, AnErrorEventFailsTheAnswer)
{
    const Outcome outcome = interpretFile("anthropic/sse-error-event-overloaded.sse", AnthropicProvider::processLine);
    EXPECT_EQ(outcome.failure, u"Stream error: {\"type\": \"error\", \"error\": {\"type\": \"overloaded_error\", "
                               u"\"message\": \"Overloaded\"}}");
}

TEST(AnthropicLines, OnlyDataLinesWithATextDeltaDeliver)
{
    const auto interpret = AnthropicProvider::processLine;
    EXPECT_TRUE(delivers(interpret, R"(data: {"type":"content_block_delta","delta":{"text":""}})", ""));
    EXPECT_TRUE(ignores(interpret, R"(data:{"type":"content_block_delta","delta":{"text":"x"}})"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"type":"content_block_delta","delta":{"partial_json":"{"}})"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"type":"content_block_delta","delta":{"text":5}})"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"type":"content_block_delta","delta":"text"})"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"type":"message_delta","delta":{"text":"x"}})"));
    EXPECT_TRUE(ignores(interpret, "data: [DONE]"));
    EXPECT_TRUE(ignores(interpret, "data: [1,2]"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"type":"content_block_delta")"));
    EXPECT_TRUE(ignores(interpret, "event: content_block_delta"));
    EXPECT_TRUE(ignores(interpret, ""));
}

TEST(OpenAILines, RecordedStreamsGiveTheFirstAnswersContent)
{
    const Outcome text = interpretFile("openai/sse-chat-text-stream.sse", OpenAIProvider::processLine);
    EXPECT_EQ(text.fragments.size(), 31); // the first delta's empty content counts
    EXPECT_EQ(text.fragments.join(QString()),
              "I'm unable to provide real-time weather updates. To get the current weather in San Francisco, I "
              "recommend checking a reliable weather website or a weather app.");

    // Three answers interleaved chunk by chunk: only answer 0 is ours.
    EXPECT_EQ(interpretFile("openai/sse-chat-n3-interleaved-choices.sse", OpenAIProvider::processLine)
                  .fragments.join(QString()),
              R"({"city":"San Francisco","temperature":65,"units":"f"})");

    EXPECT_EQ(interpretFile("openai/sse-chat-refusal-content-null.sse", OpenAIProvider::processLine).fragments,
              QStringList{});
}

TEST(OpenAILines, AnErrorObjectFailsTheAnswer)
{
    const Outcome outcome =
        interpretFile("openai/sse-chat-midstream-error-normalized.sse", OpenAIProvider::processLine);
    EXPECT_TRUE(outcome.failure.startsWith(u"Stream error: {\"error\":{\"message\":\"The server had an error"));
}

TEST(OpenAILines, OnlyAStringContentOfAnswerZeroDelivers)
{
    const auto interpret = OpenAIProvider::processLine;
    EXPECT_TRUE(delivers(interpret, R"(data: {"choices":[{"index":0,"delta":{"content":"hi"}}]})", "hi"));
    EXPECT_TRUE(delivers(interpret, R"(data: {"choices":[{"delta":{"content":""}}]})", ""));
    EXPECT_TRUE(delivers(interpret,
                         R"(data: {"choices":[{"index":1,"delta":{"content":"b"}},)"
                         R"({"index":0,"delta":{"content":"a"}}]})",
                         "a"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"choices":[{"index":0,"delta":{"role":"assistant"}}]})"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"choices":[{"index":0,"delta":{"content":null}}]})"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"choices":[],"usage":{"total_tokens":3}})"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"choices":{"index":0}})"));
    EXPECT_TRUE(ignores(interpret, R"(data: {"choices":[{"index":2,"delta":{"content":"c"}}]})"));
    EXPECT_TRUE(ignores(interpret, "data: [DONE]"));
    EXPECT_TRUE(ignores(interpret, R"(data:{"choices":[{"delta":{"content":"x"}}]})"));
}

} // namespace

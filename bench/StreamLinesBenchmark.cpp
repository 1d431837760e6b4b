#include "providers/AnthropicProvider.h"
#include "providers/EventStreamReader.h"
#include "providers/OpenAIProvider.h"

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype bodySize = 8 * 1024 * 1024;
constexpr qsizetype chunkSize = 16 * 1024; // about what one network read delivers

// A long answer as the services stream it: one short text delta per event.
QByteArray anthropicBody()
{
    QByteArray body;
    for (int i = 0; body.size() < bodySize; ++i)
        body += "event: content_block_delta\ndata: "
                "{\"type\":\"content_block_delta\",\"index\":0,\"delta\":{\"type\":"
                "\"text_delta\",\"text\":\"word " +
                QByteArray::number(i) + " of the answer, with **some** markdown\\n\"}}\n\n";
    return body;
}

QByteArray openAIBody()
{
    QByteArray body;
    for (int i = 0; body.size() < bodySize; ++i)
        body += "data: {\"id\":\"chatcmpl-ABfw2KKFuVXmEJgVwYfBvejMAdWtq\",\"object\":\"chat.completion.chunk\","
                "\"created\":1727346170,\"model\":\"gpt-4o-2024-08-06\",\"system_fingerprint\":\"fp_b40fb1c6fb\","
                "\"choices\":[{\"index\":0,\"delta\":{\"content\":\" word " +
                QByteArray::number(i) + "\"},\"logprobs\":null,\"finish_reason\":null}]}\n\n";
    return body;
}

// Event reading plus interpretation, chunk by chunk, as the streaming run does it.
void run(benchmark::State &state, const QByteArray &body, LLMEventMeaning (*interpret)(const ServerSentEvent &))
{
    for (auto _ : state) {
        EventStreamReader reader;
        int fragments = 0;
        for (qsizetype at = 0; at < body.size(); at += chunkSize)
            for (const ServerSentEvent &event :
                 reader.feed(QByteArrayView(body).sliced(at, std::min(chunkSize, body.size() - at))))
                fragments += interpret(event).kind == LLMEventMeaning::Kind::Fragment;
        benchmark::DoNotOptimize(fragments);
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}

void anthropicStream(benchmark::State &state)
{
    run(state, anthropicBody(), &AnthropicProvider::processEvent);
}
void openAIStream(benchmark::State &state)
{
    run(state, openAIBody(), &OpenAIProvider::processEvent);
}

void eventReadingAlone(benchmark::State &state)
{
    const QByteArray body = openAIBody();
    for (auto _ : state) {
        EventStreamReader reader;
        qsizetype events = 0;
        for (qsizetype at = 0; at < body.size(); at += chunkSize)
            events += reader.feed(QByteArrayView(body).sliced(at, std::min(chunkSize, body.size() - at))).size();
        benchmark::DoNotOptimize(events);
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}

} // namespace

BENCHMARK(anthropicStream)->Unit(benchmark::kMillisecond);
BENCHMARK(openAIStream)->Unit(benchmark::kMillisecond);
BENCHMARK(eventReadingAlone)->Unit(benchmark::kMillisecond);

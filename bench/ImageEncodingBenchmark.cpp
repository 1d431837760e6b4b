#include "BenchmarkImages.h"

#include "providers/AnthropicImageEncoder.h"
#include "providers/AnthropicProvider.h"

#include <benchmark/benchmark.h>

namespace {

// The whole preparation of one capture for an Anthropic request: PNG decoding, WebP encoding, base64.
void encode(benchmark::State &state, const QImage &image)
{
    const QByteArray png = BenchmarkImages::png(image);
    qsizetype bytes = 0;
    for (auto _ : state) {
        const auto result = AnthropicImageEncoder::encodeImageForAnthropic(png, AnthropicProvider::maxImageBytes);
        bytes = std::get<EncodedImage>(result).byteCount;
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["png_bytes"] = double(png.size());
    state.counters["output_bytes"] = double(bytes);
}

void textHeavyScreenshot(benchmark::State &state)
{
    encode(state, BenchmarkImages::textHeavy());
}
void photoLikeScreenshot(benchmark::State &state)
{
    encode(state, BenchmarkImages::photoLike());
}

} // namespace

BENCHMARK(textHeavyScreenshot)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(photoLikeScreenshot)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

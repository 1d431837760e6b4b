#include "BenchmarkImages.h"
#include "session/SessionDoubles.h"
#include "support/FakeModelServer.h"

#include "providers/StandardProviderFactory.h"

#include <QtCore/qtestsupport_core.h>

#include <benchmark/benchmark.h>

namespace {

// From the question's submit to the first byte of the request reaching the service: reading the
// settings, decoding the capture, WebP and base64, the JSON body and the connection. The session, the
// providers and the transport are the real ones; the service is a local server. The argument is the
// time between the capture and the submit: 0 for a question sent at once, 1000 ms for a short typed one
// (the capture is re-encoded for Anthropic meanwhile).
void submitToFirstRequestByte(benchmark::State &state)
{
    FakeModelServer server;
    qputenv("GLINT_ANTHROPIC_BASE_URL", server.baseUrl().toUtf8());
    StandardProviderFactory providers;
    SessionRig rig(&providers);
    rig.keys->insert(QStringLiteral("apiKey.anthropic"), QStringLiteral("sk-ant-bench"));
    const QImage picture = BenchmarkImages::textHeavy();
    QByteArray screenshot;
    int serial = 0;

    for (auto _ : state) {
        // A new screenshot every time, as every session has one: nothing is prepared from an earlier one.
        QImage marked = picture;
        marked.setPixel(0, 0, qRgb(serial % 256, serial / 256, 0));
        ++serial;
        screenshot = BenchmarkImages::png(marked);
        rig.openPanelWithCapture(screenshot);
        QTest::qWait(int(state.range(0)));
        server.enqueue(FakeModelServer::Response::events(
            "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"ok\"}}\ndata: "
            "{\"type\":\"message_stop\"}\n"));
        const qsizetype seen = server.requests().size();
        const qint64 submitted = server.elapsedMs();
        rig.session->submit(QStringLiteral("What is this?"));
        const bool answered = QTest::qWaitFor([&] { return rig.session->state() == SessionState::Querying; }, 10000);
        if (!answered || server.requests().size() != seen + 1) {
            state.SkipWithError("the request did not arrive");
            break;
        }
        state.SetIterationTime(double(server.requests().last().startedAtMs - submitted) / 1000);
        rig.session->cancel();
        SessionRig::settle();
    }
    state.counters["png_bytes"] = double(screenshot.size());
    qunsetenv("GLINT_ANTHROPIC_BASE_URL");
}

} // namespace

BENCHMARK(submitToFirstRequestByte)
    ->Arg(0)
    ->Arg(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

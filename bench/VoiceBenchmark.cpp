#include "support/FakeModelServer.h"
#include "voice/AudioRecorder.h"
#include "voice/AudioTestSupport.h"
#include "voice/OpenAITranscriptionService.h"
#include "voice/ReplicateWhisperService.h"
#include "voice/VoiceModule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::vector<float> noise(qsizetype count)
{
    std::vector<float> samples(static_cast<size_t>(count));
    quint32 seed = 1;
    for (float &sample : samples) {
        seed = seed * 1664525u + 1013904223u;
        sample = float(seed >> 8) / float(1u << 24) - 0.5f;
    }
    return samples;
}

// The recorder's encoder, from the voice module; none (and the benchmark skipped) without the module.
std::unique_ptr<AudioFileWriter> makeWriter(benchmark::State &state)
{
    QString error;
    const VoiceBackend *backend = VoiceModule::installed().backend(error);
    if (!backend)
        state.SkipWithError(error.toStdString().c_str());
    return backend ? backend->makeWriter() : nullptr;
}

// Encoding speed: ten seconds of sound, fed in the 1024-sample pieces the microphone delivers.
void encodeTenSeconds(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.m4a"));
    const std::vector<float> sound = noise(10 * AudioInput::sampleRate);
    for (auto _ : state) {
        const std::unique_ptr<AudioFileWriter> writer = makeWriter(state);
        if (!writer)
            break;
        QString error;
        bool ok = writer->open(path, error);
        for (size_t at = 0; ok && at < sound.size(); at += 1024)
            ok = writer->write(sound.data() + at, qMin<qsizetype>(1024, qsizetype(sound.size() - at)), error);
        if (!ok || !writer->finish(error)) {
            state.SkipWithError(error.toStdString().c_str());
            break;
        }
    }
    state.counters["realtime_x"] = benchmark::Counter(10.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}

// From the press (startRecording) to the first microphone samples on the audio thread, through the
// sound server in the environment. The start of a question is lost for this long.
void pressToFirstSamples(benchmark::State &state)
{
    ReplicateWhisperService service(QStringLiteral("k"), QStringLiteral("v"));
    for (auto _ : state) {
        QElapsedTimer pressed;
        pressed.start();
        service.startRecording();
        const qint64 startReturnedNs = pressed.nsecsElapsed();
        const bool captured = QTest::qWaitFor(
            [&] { return service.audioRecorder() && service.audioRecorder()->firstSamplesAfterNs() >= 0; }, 5000);
        if (!captured) {
            state.SkipWithError("no samples: is a sound server with a capture source running?");
            break;
        }
        state.SetIterationTime(double(startReturnedNs + service.audioRecorder()->firstSamplesAfterNs()) / 1e9);
        service.cancelRecording();
    }
}

// Runs the event loop until `done` holds. The local server and the client share this thread, so the waiting
// must not sleep between rounds as QTest::qWaitFor does: each round would add to what is measured.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// A service of each kind with a microphone that gives 10 s of tone at once, sending to `server`.
std::unique_ptr<RecordingTranscriptionService> tenSecondService(int kind, const FakeModelServer &server)
{
    const AudioInputFactory tone = [] { return std::make_unique<ToneInput>(10.0); };
    if (kind == 0) {
        qputenv("GLINT_REPLICATE_BASE_URL", server.baseUrl().toUtf8());
        return std::make_unique<ReplicateWhisperService>(QStringLiteral("k"), QStringLiteral("v"), tone);
    }
    return std::make_unique<OpenAITranscriptionService>(
        QString(), OpenAITranscriptionService::compatibleServer(server.baseUrl(), false, QStringLiteral("whisper-1")),
        QString(), tone);
}

// From the release (stopAndTranscribe) of a 10 s recording to the first byte of the upload at the service:
// completing the file, reading it, the request body (base64 and JSON for Replicate, a multipart form for
// OpenAI's protocol) and the connection. Argument: 0 Replicate, 1 OpenAI's protocol.
void releaseToFirstRequestByte(benchmark::State &state)
{
    FakeModelServer server;
    const std::unique_ptr<RecordingTranscriptionService> service = tenSecondService(int(state.range(0)), server);
    for (auto _ : state) {
        server.enqueue(FakeModelServer::Response::json(401, "{}"));
        service->startRecording();
        const qsizetype seen = server.requests().size();
        bool done = false;
        const qint64 released = server.elapsedMs();
        service->stopAndTranscribe([&](const TranscriptionService::Result &) { done = true; });
        if (!runUntil([&] { return done; }, 10000) || server.requests().size() != seen + 1) {
            state.SkipWithError("the request did not arrive");
            break;
        }
        state.SetIterationTime(double(server.requests().last().startedAtMs - released) / 1000);
    }
    qunsetenv("GLINT_REPLICATE_BASE_URL");
}

// From the release of a 10 s recording to the transcript handed to the panel, with a server of OpenAI's
// protocol that answers at once: everything but the service's own thinking. Argument: 0 a JSON answer, 1 a
// streamed one.
void releaseToTranscriptShown(benchmark::State &state)
{
    FakeModelServer server;
    const std::unique_ptr<RecordingTranscriptionService> service = tenSecondService(1, server);
    const FakeModelServer::Response answer =
        state.range(0) == 0 ? FakeModelServer::Response::json(200, R"({"text":"What is marked here?"})")
                            : FakeModelServer::Response::events(
                                  "data: {\"type\":\"transcript.text.delta\",\"delta\":\"What is marked here?\"}\n\n"
                                  "data: {\"type\":\"transcript.text.done\",\"text\":\"What is marked here?\"}\n\n");
    for (auto _ : state) {
        server.enqueue(answer);
        service->startRecording();
        std::optional<TranscriptionService::Result> result;
        QElapsedTimer released;
        released.start();
        qint64 shownNs = 0;
        service->stopAndTranscribe([&](const TranscriptionService::Result &r) {
            shownNs = released.nsecsElapsed();
            result = r;
        });
        if (!runUntil([&] { return result.has_value(); }, 10000) || result->text.isEmpty()) {
            state.SkipWithError("no transcript");
            break;
        }
        state.SetIterationTime(double(shownNs) / 1e9);
    }
}

qint64 residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE) / 1024;
}

// Resident memory while a minute is recorded: the recorder and encoder fed 60 s in microphone-sized
// pieces, faster than real time. Flat means the 60th second costs what the 10th did.
void memoryWhileRecordingAMinute(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("minute.m4a"));
    QFile(path).open(QIODevice::WriteOnly);
    const std::vector<float> piece = noise(1024);
    qint64 atTenSeconds = 0;
    qint64 atSixtySeconds = 0;
    for (auto _ : state) {
        const std::unique_ptr<AudioFileWriter> writer = makeWriter(state);
        if (!writer)
            break;
        QString error;
        if (!writer->open(path, error)) {
            state.SkipWithError(error.toStdString().c_str());
            break;
        }
        for (qint64 written = 0; written < 60LL * AudioInput::sampleRate; written += 1024) {
            writer->write(piece.data(), 1024, error);
            if (written / AudioInput::sampleRate == 10 && atTenSeconds == 0)
                atTenSeconds = residentKb();
        }
        atSixtySeconds = residentKb();
        writer->finish(error);
    }
    state.counters["rss_kb_at_10s"] = double(atTenSeconds);
    state.counters["rss_kb_at_60s"] = double(atSixtySeconds);
}

} // namespace

BENCHMARK(encodeTenSeconds)->Unit(benchmark::kMillisecond);
BENCHMARK(pressToFirstSamples)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(releaseToFirstRequestByte)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Arg(0)->Arg(1);
BENCHMARK(releaseToTranscriptShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Arg(0)->Arg(1);
BENCHMARK(memoryWhileRecordingAMinute)->Unit(benchmark::kMillisecond)->Iterations(3);

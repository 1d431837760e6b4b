#include "voice/ReplicateWhisperService.h"
#include "AudioTestSupport.h"
#include "support/FakeModelServer.h"
#include "support/LogRecorder.h"
#include "support/PeakResidentMemory.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

// Every way a prediction can end, against a local server speaking Replicate's create-then-poll
// protocol. The microphone is a tone, so no sound server is needed. A second local server stands for
// any other address: it must never hear from us, the key least of all.

namespace {

using namespace std::chrono_literals;
using Response = FakeModelServer::Response;

const QByteArray pollPath = "/v1/predictions/p1";

struct Outcome {
    const char *name;
    Response create; // "{get}" stands for the server's poll address, "{port}" its port, "{elsewhere}" the other's
    QList<Response> polls;
    QString expected; // the transcript, or the error's description
    bool isError;
    qsizetype requests;
    QStringList logged = {}; // lines of the "Replicate" log in this order (others may come between)

    friend void PrintTo(const Outcome &outcome, std::ostream *out) { *out << outcome.name; }
};

Response created(int status = 201)
{
    return Response::json(status, R"({"id":"p1","status":"starting","urls":{"get":"{get}","cancel":"c"}})");
}

Response poll(const QByteArray &body)
{
    return Response::json(200, body);
}

QList<Response> processing(int count)
{
    return QList<Response>(count, poll(R"({"status":"processing","output":null})"));
}

Response redirect(const QByteArray &path)
{
    Response response = Response::json(307, "{}");
    response.headers << std::pair<QByteArray, QByteArray>("Location", "{elsewhere}" + path);
    return response;
}

// Far more than any prediction, sent as fast as it is read.
Response flood(Response response)
{
    response.chunked = true;
    response.flood = ReplicateWhisperService::bodyLimit + 96 * 1024 * 1024;
    return response;
}

Response pollAddress(const QByteArray &address)
{
    return Response::json(201, R"({"id":"p1","status":"starting","urls":{"get":")" + address + R"("}})");
}

const QString longBody(5000, u'x');
const QString refused = u"Refused to follow a redirect to {elsewhere}"_qs;

const Outcome outcomes[] = {
    {"StringOutput",
     created(),
     {poll(R"({"status":"succeeded","output":"  hello Alice\n"})")},
     "hello Alice",
     false,
     2},
    {"StringArrayOutput",
     created(),
     {poll(R"({"status":"starting"})"), poll(R"({"status":"succeeded","output":["What ","is"," this? "]})")},
     "What  is  this?",
     false,
     3},
    {"WhisperObjectOutput",
     created(),
     {poll(R"({"status":"succeeded","output":{"transcription":"Zoom in","segments":[],"translation":null}})")},
     "Zoom in",
     false,
     2},
    {"SegmentArrayOutput",
     created(),
     {poll(R"({"status":"succeeded","output":[{"text":"One"},{"speaker":"A"},{"transcription":"two"},"x"]})")},
     "One two",
     false,
     2},
    {"NoOutputIsNoSpeech", created(), {poll(R"({"status":"succeeded"})")}, "", false, 2},
    {"AcceptedWith202", created(202), {poll(R"({"status":"succeeded","output":"ok"})")}, "ok", false, 2},
    {"Failed",
     created(),
     {poll(R"j({"status":"failed","error":"Prediction interrupted; please retry (code: PA)"})j")},
     "Transcription failed: Prediction interrupted; please retry (code: PA)",
     true,
     2,
     {"Prediction status=failed",
      "Prediction ended status=failed error=Prediction interrupted; please retry (code: PA)"}},
    {"AbortedEndsPolling",
     created(),
     {poll(R"({"status":"aborted"})"), poll(R"({"status":"succeeded","output":"late"})")},
     "Transcription failed: Unknown error",
     true,
     2},
    {"TimeoutAfterSixtyPolls",
     created(),
     processing(61),
     "Transcription timed out",
     true,
     61,
     {"Prediction status=processing", "Prediction polling timed out url={get}"}},
    {"StatusLoggedOncePerChange",
     created(),
     processing(10) << poll(R"({"status":"succeeded","output":"done"})"),
     "done",
     false,
     12,
     {"Create prediction response status=201", "Prediction status=processing", "Prediction status=succeeded",
      "Prediction succeeded outputLength=4"}},
    {"CreateRefused",
     Response::json(401, R"({"title":"Unauthenticated","status":401})"),
     {},
     R"(HTTP 401 from Replicate API: {"title":"Unauthenticated","status":401})",
     true,
     1,
     {R"(Create prediction response status=401 body={"title":"Unauthenticated","status":401})"}},
    {"PollFailsWithLongBody",
     created(),
     {Response::json(500, longBody.toUtf8())},
     u"HTTP 500 from Replicate API: " + longBody.left(4000) + u"…",
     true,
     2,
     {u"Poll response status=500 body=" + longBody.left(4000) + u"…"}},
    {"NonUtf8Body",
     created(),
     {Response::json(502, "\xff\xfe bad")},
     "HTTP 502 from Replicate API: <non-utf8 body 6 bytes>",
     true,
     2},
    {"CreateBadJson", Response::json(201, "{not json"), {}, "Unreadable JSON from Replicate API: ", true, 1},
    {"CreateWithoutPollAddress",
     Response::json(201, R"({"id":"p1","urls":{"cancel":"c"}})"),
     {},
     "Unexpected response from Replicate API",
     true,
     1},
    // The key goes to the poll address too: only to the server the prediction was created on.
    {"PollAddressOnAnotherPort",
     pollAddress("{elsewhere}/v1/predictions/p1"),
     {},
     "Unexpected response from Replicate API",
     true,
     1},
    {"PollAddressOnAnotherHost",
     pollAddress("http://localhost:{port}/v1/predictions/p1"),
     {},
     "Unexpected response from Replicate API",
     true,
     1},
    {"PollAddressOnAnotherScheme",
     pollAddress("https://127.0.0.1:{port}/v1/predictions/p1"),
     {},
     "Unexpected response from Replicate API",
     true,
     1},
    {"CreateRedirected",
     redirect("/v1/predictions"),
     {},
     refused + u"/v1/predictions: the API key goes only to the address configured",
     true,
     1},
    {"PollRedirected",
     created(),
     {redirect(pollPath)},
     refused + u"/v1/predictions/p1: the API key goes only to the address configured",
     true,
     2},
    {"CreateFlood",
     flood(Response::json(201, R"({"id":"p1","urls":{"get":"{get}"},"input":{"audio":")")),
     {},
     "The answer is larger than 8 MiB; reading stopped",
     true,
     1,
     {"Create prediction failed error=The answer is larger than 8 MiB; reading stopped"}},
    {"PollFlood",
     created(),
     {flood(poll(R"({"status":"processing","input":{"audio":")"))},
     "The answer is larger than 8 MiB; reading stopped",
     true,
     2},
    {"PollWithoutStatus",
     created(),
     {poll(R"({"output":"x"})")},
     "Unexpected response from Replicate API",
     true,
     2,
     {R"(Poll invalid response body={"output":"x"})"}},
};

class PredictionOutcomeTest : public ::testing::TestWithParam<Outcome> {};

TEST_P(PredictionOutcomeTest, EndsAsTheServiceSays)
{
    const Outcome &outcome = GetParam();
    FakeModelServer server;
    FakeModelServer elsewhere;
    qputenv("GLINT_REPLICATE_BASE_URL", server.baseUrl().toUtf8());
    const QByteArray get = server.baseUrl().toUtf8() + pollPath;
    const auto fill = [&](QByteArray text) {
        return text.replace("{get}", get)
            .replace("{port}", QByteArray::number(server.port()))
            .replace("{elsewhere}", elsewhere.baseUrl().toUtf8());
    };
    for (Response response : QList{outcome.create} + outcome.polls) {
        for (FakeModelServer::Piece &piece : response.pieces)
            piece.bytes = fill(piece.bytes);
        for (auto &header : response.headers)
            header.second = fill(header.second);
        server.enqueue(response);
    }

    LogRecorder log;
    ReplicateWhisperService service(u"r8_key"_qs, u"v1"_qs, [] { return std::make_unique<ToneInput>(0.5); });
    service.setPollInterval(1ms);
    service.startRecording();
    std::optional<TranscriptionService::Result> result;
    ASSERT_TRUE(PeakResidentMemory::reset());
    const qint64 before = PeakResidentMemory::mebibytes();
    service.stopAndTranscribe([&](const TranscriptionService::Result &r) { result = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 20000));
    qunsetenv("GLINT_REPLICATE_BASE_URL");
    EXPECT_LT(PeakResidentMemory::mebibytes() - before, 64) << "a body grew past its cap";

    ASSERT_EQ(result->error.has_value(), outcome.isError) << result->text.toStdString();
    const QString shown = result->error ? result->error->errorDescription() : result->text;
    const QString expected = QString::fromUtf8(fill(outcome.expected.toUtf8()));
    if (expected.endsWith(u": ")) // a parser's own words follow
        EXPECT_TRUE(shown.startsWith(expected)) << shown.toStdString();
    else
        EXPECT_EQ(shown, expected);
    EXPECT_EQ(server.requests().size(), outcome.requests);
    EXPECT_TRUE(elsewhere.requests().isEmpty());

    const QStringList lines = log.messages(u"Replicate"_qs);
    qsizetype from = 0;
    for (const QString &logged : outcome.logged) {
        const QString line = QString::fromUtf8(fill(logged.toUtf8()));
        const qsizetype at = lines.indexOf(line, from);
        EXPECT_GE(at, 0) << "missing in order: " << line.toStdString() << "\nlog:\n" << lines.join(u'\n').toStdString();
        from = at + 1;
    }
    if (QString(outcome.name) == u"StatusLoggedOncePerChange") {
        EXPECT_EQ(lines.filter(u"Prediction status="_qs).size(), 2);
    }
    // What the user said stays out of the log.
    if (!outcome.isError && !outcome.expected.isEmpty())
        EXPECT_TRUE(lines.filter(outcome.expected).isEmpty()) << lines.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Replicate, PredictionOutcomeTest, ::testing::ValuesIn(outcomes),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ReplicateWhisperServiceTest, RecordingsAreDiscardedAndNeverOutliveTheService)
{
    FakeModelServer server;
    LogRecorder log;
    std::optional<TranscriptionService::Result> result;
    QString replaced;
    QString last;
    {
        ReplicateWhisperService service(u"k"_qs, u"v"_qs, [] { return std::make_unique<ToneInput>(0.2); });
        // Nothing recorded: no file, no network.
        service.stopAndTranscribe([&](const TranscriptionService::Result &r) { result = r; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }));
        ASSERT_TRUE(result->error);
        EXPECT_EQ(result->error->errorDescription(), u"No audio file to transcribe");

        service.startRecording();
        replaced = service.audioFile().value_or(QString());
        EXPECT_TRUE(QFile::exists(replaced));
        service.startRecording(); // a second press replaces the first recording
        EXPECT_FALSE(QFile::exists(replaced));
        service.cancelRecording();
        EXPECT_FALSE(service.audioFile());
        service.startRecording();
        last = service.audioFile().value_or(QString());
        EXPECT_TRUE(QFile::exists(last));
    }
    EXPECT_FALSE(QFile::exists(last));
    EXPECT_EQ(server.requests().size(), 0);
    EXPECT_TRUE(log.messages(u"Replicate"_qs).contains(u"Recording discarded"));
}

TEST(ReplicateWhisperServiceTest, AFailingMicrophoneIsReportedAndLeavesNothing)
{
    LogRecorder log;
    ReplicateWhisperService service(u"k"_qs, u"v"_qs,
                                    [] { return std::make_unique<ToneInput>(0, u"No microphone found"_qs); });
    QSignalSpy failed(&service, &TranscriptionService::recordingFailed);
    service.startRecording();
    const QString file = service.audioFile().value_or(QString());
    ASSERT_TRUE(failed.wait());
    EXPECT_EQ(failed[0][0].toString(), u"No microphone found");
    EXPECT_FALSE(service.audioFile());
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(log.messages(u"Replicate"_qs).contains(u"Recording failed error=No microphone found"));
}

} // namespace

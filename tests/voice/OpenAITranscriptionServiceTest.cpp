#include "voice/OpenAITranscriptionService.h"
#include "AudioTestSupport.h"
#include "support/FakeModelServer.h"
#include "support/FormFields.h"
#include "support/LogRecorder.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

// Every way an upload to OpenAI's audio API, or to a server that copies it, can end, against a local server
// speaking that protocol. The request is read back field by field; the microphone is a tone. A second local
// server stands for any other address: it must never hear from us.

namespace {

using namespace std::chrono_literals;
using Response = FakeModelServer::Response;

const QString key = u"sk-proj-voice-6f1d"_qs;

enum class Server { OpenAI, Compatible, CompatibleWithKey, CompatibleElsewhere };

struct Outcome {
    const char *name;
    Server server;
    Response answer;
    QString expected; // the transcript, or the error's description ("{elsewhere}" the other server)
    bool isError;
    QString language = {};
    QStringList partials = {}; // what the bubble can show while the transcript is made, in order
    bool prefixOnly = false;   // the transport's own words follow `expected`

    friend void PrintTo(const Outcome &outcome, std::ostream *out) { *out << outcome.name; }
};

QByteArray event(const QByteArray &json)
{
    return "data: " + json + "\n\n";
}

Response streamed(const QList<QByteArray> &events, Response::Ending ending = Response::Ending::Complete)
{
    QList<FakeModelServer::Piece> pieces;
    for (const QByteArray &json : events)
        pieces << FakeModelServer::Piece{event(json), 100};
    Response response = Response::events(pieces);
    response.ending = ending;
    return response;
}

Response redirect()
{
    Response response = Response::json(307, "{}");
    response.headers << std::pair<QByteArray, QByteArray>("Location", "{elsewhere}/v1/audio/transcriptions");
    return response;
}

QByteArray apiError(const QByteArray &message, const QByteArray &type)
{
    return R"({"error":{"message":")" + message + R"(","type":")" + type + R"(","param":null,"code":null}})";
}

const QByteArray delta1 = R"({"type":"transcript.text.delta","delta":"What is"})";
const QByteArray delta2 = R"({"type":"transcript.text.delta","delta":" marked here?"})";
const QByteArray done = R"({"type":"transcript.text.done","text":"What is marked here?","usage":{"type":"tokens"}})";

const Outcome outcomes[] = {
    {"Json", Server::OpenAI, Response::json(200, R"({"text":" Zoom in on the chart. ","usage":{}})"),
     "Zoom in on the chart.", false},
    {"Streamed",
     Server::OpenAI,
     streamed({delta1, delta2, done}),
     "What is marked here?",
     false,
     {},
     {"What is", "What is marked here?"}},
    {"StreamedWithoutDoneIsCut",
     Server::OpenAI,
     streamed({delta1, delta2}),
     "The transcript was cut off before it was complete",
     true,
     {},
     {"What is", "What is marked here?"}},
    {"StreamReset", Server::OpenAI, streamed({delta1}, Response::Ending::Reset), "", true, {}, {"What is"}, true},
    {"StreamError",
     Server::OpenAI,
     streamed({delta1, R"({"type":"error","error":{"message":"Audio file might be corrupted"}})"}),
     "Transcription failed: Audio file might be corrupted",
     true,
     {},
     {"What is"}},
    {"EmptyText", Server::OpenAI, Response::json(200, R"({"text":""})"), "", false},
    {"StreamedEmpty", Server::Compatible, streamed({R"({"type":"transcript.text.done","text":" "})"}), "", false},
    {"JsonWithoutText", Server::OpenAI, Response::json(200, R"({"segments":[]})"), "Unexpected response from OpenAI",
     true},
    {"BadRequest", Server::OpenAI,
     Response::json(
         400, apiError("Invalid file format. Supported formats: ['flac', 'm4a', 'mp3']", "invalid_request_error")),
     "HTTP 400 from OpenAI: Invalid file format. Supported formats: ['flac', 'm4a', 'mp3']", true},
    // The service quotes the key it refused; it never reaches an error or the log.
    {"WrongKey", Server::OpenAI,
     Response::json(401, apiError("Incorrect API key provided: " + key.toUtf8() + ".", "invalid_request_error")),
     "HTTP 401 from OpenAI: Incorrect API key provided: <redacted>.", true},
    {"RateLimited", Server::OpenAI,
     Response::json(429, apiError("You exceeded your current quota.", "insufficient_quota")),
     "HTTP 429 from OpenAI: You exceeded your current quota.", true},
    {"ServerErrorWithPlainBody", Server::Compatible, Response::error(500, "model not loaded", "text/plain"),
     "HTTP 500 from the OpenAI-compatible server: model not loaded", true, u"de"_qs},
    {"CompatibleJsonWithLanguage", Server::Compatible, Response::json(200, R"({"text":"Was ist das?"})"),
     "Was ist das?", false, u"de"_qs},
    {"CompatibleWithItsKey", Server::CompatibleWithKey, Response::json(200, R"({"text":"ok"})"), "ok", false},
    {"RedirectWithKeyRefused", Server::OpenAI, redirect(),
     "Refused to follow a redirect to {elsewhere}/v1/audio/transcriptions: the API key goes only to the address "
     "configured",
     true},
    {"RedirectWithoutKeyRefused", Server::Compatible, redirect(),
     "Refused to follow a redirect to {elsewhere}/v1/audio/transcriptions: the upload goes only to the address "
     "configured",
     true},
    {"NeverAnswers", Server::Compatible, Response::without(Response::Opening::Silence),
     "No complete answer within 1 seconds", true},
    {"PlainHttpToAnotherHostRefused", Server::CompatibleElsewhere, Response::json(200, R"({"text":"no"})"),
     "Refusing to send the request unencrypted to 192.0.2.1: plain http is allowed only for loopback addresses, use "
     "https or allow an unencrypted connection to this server in Settings",
     true},
};

class TranscriptionOutcomeTest : public ::testing::TestWithParam<Outcome> {};

TEST_P(TranscriptionOutcomeTest, EndsAsTheServiceSays)
{
    const Outcome &outcome = GetParam();
    FakeModelServer server;
    FakeModelServer elsewhere;
    const auto fill = [&](QByteArray text) { return text.replace("{elsewhere}", elsewhere.baseUrl().toUtf8()); };
    Response answer = outcome.answer;
    for (auto &header : answer.headers)
        header.second = fill(header.second);
    server.enqueue(answer);

    qputenv("GLINT_OPENAI_BASE_URL", server.baseUrl().toUtf8());
    const bool openAI = outcome.server == Server::OpenAI;
    const QString base =
        outcome.server == Server::CompatibleElsewhere ? u"http://192.0.2.1:8000/v1"_qs : server.baseUrl() + u"/v1";
    OpenAITranscriptionService::Server endpoint =
        openAI ? OpenAITranscriptionService::openAIServer()
               : OpenAITranscriptionService::compatibleServer(base, false, u"Systran/faster-whisper-small"_qs);
    qunsetenv("GLINT_OPENAI_BASE_URL");
    const bool keyed = openAI || outcome.server == Server::CompatibleWithKey;

    LogRecorder log;
    OpenAITranscriptionService service(keyed ? key : QString(), endpoint, outcome.language,
                                       [] { return std::make_unique<ToneInput>(0.5); });
    service.setTimeLimit(1s);
    QStringList partials;
    QObject::connect(&service, &TranscriptionService::partialTranscript,
                     [&](const QString &text) { partials << text; });
    service.startRecording();
    std::optional<TranscriptionService::Result> result;
    service.stopAndTranscribe([&](const TranscriptionService::Result &r) { result = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));

    ASSERT_EQ(result->error.has_value(), outcome.isError) << result->text.toStdString();
    const QString shown = result->error ? result->error->errorDescription() : result->text;
    const QString expected = QString::fromUtf8(fill(outcome.expected.toUtf8()));
    if (outcome.prefixOnly)
        EXPECT_TRUE(shown.startsWith(expected) && shown.size() > expected.size()) << shown.toStdString();
    else
        EXPECT_EQ(shown, expected);
    // Pieces that arrive together show together: the bubble may skip a step, never show one out of order.
    qsizetype step = 0;
    bool inOrder = true;
    for (const QString &partial : partials) {
        const qsizetype at = outcome.partials.indexOf(partial, step);
        inOrder = inOrder && at >= 0;
        step = at + 1;
    }
    EXPECT_TRUE(inOrder) << partials.join(u'|').toStdString();
    EXPECT_EQ(partials.value(partials.size() - 1), outcome.partials.value(outcome.partials.size() - 1));
    EXPECT_TRUE(elsewhere.requests().isEmpty());
    EXPECT_FALSE(service.audioFile()) << "the recording outlived its upload";

    const QString logged = log.lines().join(u'\n');
    EXPECT_FALSE(logged.contains(key) || shown.contains(key));
    // What the user said stays out of the log.
    if (!outcome.isError && !expected.isEmpty()) {
        EXPECT_FALSE(logged.contains(expected)) << logged.toStdString();
    }

    if (outcome.server == Server::CompatibleElsewhere) {
        EXPECT_TRUE(server.requests().isEmpty());
        return;
    }
    ASSERT_EQ(server.requests().size(), 1);
    const FakeModelServer::Request &request = server.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v1/audio/transcriptions");
    EXPECT_EQ(request.headers.value("authorization"), keyed ? "Bearer " + key.toUtf8() : QByteArray());
    EXPECT_EQ(request.headers.contains("authorization"), keyed);
    const QMap<QString, FormField> fields = formFields(request);
    QStringList names = {u"file"_qs, u"model"_qs, u"response_format"_qs, u"stream"_qs};
    if (!outcome.language.isEmpty())
        names << u"language"_qs;
    names.sort();
    EXPECT_EQ(fields.keys(), names);
    EXPECT_EQ(fields.value(u"file"_qs).disposition, R"(form-data; name="file"; filename="question.m4a")");
    EXPECT_EQ(fields.value(u"file"_qs).contentType, "audio/m4a");
    EXPECT_TRUE(isSpokenAudio(fields.value(u"file"_qs).body, 0.5, 0.2));
    EXPECT_EQ(fields.value(u"model"_qs).body, openAI ? "gpt-4o-mini-transcribe" : "Systran/faster-whisper-small");
    EXPECT_EQ(fields.value(u"response_format"_qs).body, "json");
    EXPECT_EQ(fields.value(u"stream"_qs).body, "true");
    EXPECT_EQ(fields.value(u"language"_qs).body, outcome.language.toUtf8());
}

INSTANTIATE_TEST_SUITE_P(OpenAIProtocol, TranscriptionOutcomeTest, ::testing::ValuesIn(outcomes),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

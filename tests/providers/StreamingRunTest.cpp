#include "StreamRecorder.h"
#include "support/FakeModelServer.h"
#include "support/LogRecorder.h"
#include "support/ModelStreams.h"
#include "support/PeakResidentMemory.h"
#include "support/TestCertificates.h"

#include "providers/AnthropicProvider.h"
#include "providers/CompatibleModelList.h"
#include "providers/NetworkThread.h"
#include "providers/OpenAIProvider.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

using Response = FakeModelServer::Response;

const QString apiKey = u"sk-ant-test-7f3a9c"_qs;
const QByteArray threeDeltas = "event: content_block_delta\r\n"
                               "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"Gr\xc3\xbc\"}}\r\n\r\n"
                               "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"\xc3\x9f\"}}\n\n"
                               "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"e\"}}\n\n"
                               "data: {\"type\":\"message_stop\"}";

using namespace ModelStreams;

Response endingWith(QList<FakeModelServer::Piece> pieces, Response::Ending ending)
{
    Response response = Response::events(pieces);
    response.ending = ending;
    return response;
}

Response html(const QByteArray &body)
{
    Response response = Response::error(200, body, "text/html; charset=utf-8");
    response.chunked = true;
    return response;
}

// How a 200 answer, or an error, can end. An empty `error` is a finished answer; "*" any failure.
struct Ending {
    const char *name;
    bool openAI;
    Response response;
    QStringList fragments;
    QString error;
    bool huge = false; // far larger than may be held: memory must stay flat
    LLMAnswerEnding ending = {};
};

QList<Ending> endings()
{
    const QString cutOff = u"The answer was cut off before it finished."_qs;
    QByteArray many;
    QStringList manyFragments;
    for (int i = 0; i < 20000; ++i) {
        many += anthropicDelta(QByteArray::number(i % 10));
        manyFragments << QString::number(i % 10);
    }
    const QByteArray errorEvent =
        "event: error\ndata: {\"type\":\"error\",\"error\":{\"type\":\"overloaded_error\"}}\n\n";
    // Bodies far past what may be held, sent a mebibyte at a time so the server holds one.
    const QByteArray mebibyte(1024 * 1024, 'x');
    QByteArray dataLines;
    while (dataLines.size() < mebibyte.size())
        dataLines += "data: " + QByteArray(1000, 'x') + '\n';
    const Response hugeError = Response::error(500, {}).flooded(mebibyte, 32);
    const QString oversized = u"The server sent an event larger than 1 MiB, so the answer was stopped."_qs;
    using enum LLMAnswerEnding::Reason;
    return {
        {"reset mid-body",
         false,
         endingWith({{anthropicDelta("one"), 0}, {anthropicDelta("two"), 20}}, Response::Ending::Reset),
         {"one", "two"},
         "*"},
        {"orderly close mid-body",
         false,
         endingWith({{anthropicDelta("one"), 0}, {anthropicDelta("two"), 20}}, Response::Ending::Close),
         {"one", "two"},
         "*"},
        {"whole body without the closing event", false, Response::events(anthropicDelta("one")), {"one"}, cutOff},
        {"a body ending inside the closing event",
         false,
         Response::events(anthropicDelta("one") + "data: {\"type\":\"message_st"),
         {"one"},
         cutOff},
        {"closing event, then a reset",
         false,
         endingWith({{anthropicDelta("one") + anthropicStop, 0}}, Response::Ending::Reset),
         {"one"},
         {}},
        {"closing event without its blank line, then a reset",
         false,
         endingWith({{anthropicDelta("one") + anthropicStop.chopped(1), 0}}, Response::Ending::Reset),
         {"one"},
         {}},
        {"an error event",
         false,
         Response::events(anthropicDelta("Hel") + errorEvent + anthropicDelta("lo") + anthropicStop),
         {"Hel"},
         u"Stream error: {\"type\":\"error\",\"error\":{\"type\":\"overloaded_error\"}}"_qs},
        {"an invalid UTF-8 line",
         false,
         Response::events(anthropicDelta("a") + "data: \xff\xfe\n" + anthropicDelta("b") + anthropicStop),
         {"a", "b"},
         {}},
        {"20,000 fragments", false, Response::events(many + anthropicStop), manyFragments, {}},
        {"an HTML page",
         false,
         html("<!DOCTYPE html>\n<html><head><title>Sign in</title></head></html>"),
         {},
         u"The server did not answer with an event stream (status 200, content type text/html; charset=utf-8, body "
         u"starts \"<!DOCTYPE html> <html><head><title>Sign in</title></head></html>\"). Check the server address."_qs},
        {"an empty body",
         false,
         Response::events(QByteArray()),
         {},
         u"The server did not answer with an event stream (status 200, content type text/event-stream; "
         u"charset=utf-8, empty body). Check the server address."_qs},
        {"a key echoed in an error body",
         false,
         Response::error(401, R"({"error":"invalid x-api-key )" + apiKey.toUtf8() + "\"}"),
         {},
         u"HTTP error 401: {\"error\":\"invalid x-api-key <redacted>\"}"_qs},
        {"an empty error body", false, Response::error(429, ""), {}, u"HTTP error 429"_qs},
        {"an error body that is not UTF-8",
         false,
         Response::error(401, "\xff\xfe oops", "text/plain"),
         {},
         u"HTTP error 401: <non-utf8 body>"_qs},
        {"a line that never ends",
         false,
         Response::events(anthropicDelta("one") + "data: ").flooded(mebibyte, 64),
         {"one"},
         oversized,
         true},
        {"an event that never ends", false, Response::events(QByteArray()).flooded(dataLines, 64), {}, oversized, true},
        {"an error body of 32 MiB", false, hugeError, {}, u"HTTP error 500: " + QString(2000, u'x') + u'…', true},
        {"OpenAI: [DONE]", true, Response::events(openAIAnswer("Hi")), {"Hi"}, {}},
        {"OpenAI: a finish reason with the last text",
         true,
         Response::events(openAIDelta("Hi", "\"length\"")),
         {"Hi"},
         {},
         false,
         {LengthLimit, {}}},
        {"a refusal after some text",
         false,
         Response::events(anthropicDelta("Sure, the") +
                          R"(data: {"type":"message_delta","delta":{"stop_reason":"refusal"}})"
                          "\n\n" +
                          anthropicStop),
         {"Sure, the"},
         {},
         false,
         {Refusal, {}}},
        {"OpenAI: neither", true, Response::events(openAIDelta("Hi")), {"Hi"}, cutOff},
    };
}

class StreamingRun : public ::testing::Test {
protected:
    void SetUp() override { useServer(server_); }
    void TearDown() override
    {
        qunsetenv("GLINT_ANTHROPIC_BASE_URL");
        qunsetenv("GLINT_OPENAI_BASE_URL");
        NetworkThread::setLimits({});
        // Everything logged, under every category, keeps the key out.
        for (const QString &line : log_.lines())
            EXPECT_FALSE(line.contains(apiKey)) << line.toStdString();
    }

    static void useServer(const FakeModelServer &server) { useBaseUrl(server.baseUrl()); }
    static void useBaseUrl(const QString &url)
    {
        qputenv("GLINT_ANTHROPIC_BASE_URL", url.toUtf8());
        qputenv("GLINT_OPENAI_BASE_URL", url.toUtf8());
    }

    std::unique_ptr<StreamRecorder> askAnthropic(bool openAI = false)
    {
        std::unique_ptr<LLMProvider> provider;
        if (openAI)
            provider = std::make_unique<OpenAIProvider>(apiKey, u"gpt-5.4-mini"_qs);
        else
            provider = std::make_unique<AnthropicProvider>(apiKey, u"claude-haiku-4-5-20251001"_qs);
        auto recorder = std::make_unique<StreamRecorder>(
            provider->stream({{LLMMessage::Role::User, u"Hi"_qs, std::nullopt}}, u"Be brief."_qs));
        EXPECT_TRUE(recorder->waitForEnd());
        return recorder;
    }

    QStringList anthropicLog() const { return log_.messages(u"Anthropic"_qs); }

    LogRecorder log_;
    FakeModelServer server_;
};

TEST_F(StreamingRun, StreamsTheAnswerAndSendsTheExactRequest)
{
    QList<FakeModelServer::Piece> drip; // arrives a few bytes at a time, cutting lines and characters
    for (qsizetype i = 0; i < threeDeltas.size(); i += 7)
        drip << FakeModelServer::Piece{threeDeltas.mid(i, 7), 2};
    server_.enqueue(Response::events(drip));

    const auto answer = askAnthropic();
    EXPECT_EQ(answer->fragments, (QStringList{u"Grü"_qs, u"ß"_qs, u"e"_qs}));
    EXPECT_TRUE(answer->finished);
    EXPECT_EQ(anthropicLog(),
              (QStringList{"Preparing request model=claude-haiku-4-5-20251001 messages=1 imageAttached=false",
                           "Starting request attempt=1", "Streaming response started status=200",
                           "Streaming response completed emittedChunks=3"}));

    ASSERT_EQ(server_.requests().size(), 1);
    const FakeModelServer::Request &request = server_.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v1/messages");
    EXPECT_EQ(request.headers.value("x-api-key"), apiKey.toUtf8());
    EXPECT_EQ(request.headers.value("anthropic-version"), "2023-06-01");
    EXPECT_EQ(request.headers.value("content-type"), "application/json");
    EXPECT_EQ(QJsonDocument::fromJson(request.body).object().value(u"system").toString(), u"Be brief.");
}

// OpenAI and a server of the user's own get the same request, each at its own address, with the key as
// a bearer token when there is one.
TEST_F(StreamingRun, OpenAIAndCompatibleServersGetTheSameRequest)
{
    const LLMConversation question{{LLMMessage::Role::User, u"Hi"_qs, std::nullopt}};
    const OpenAIProvider::Server compatible = OpenAIProvider::compatibleServer(server_.baseUrl() + u"/v1/", false);
    for (const auto &[server, key] : {std::pair{OpenAIProvider::openAIServer(), apiKey},
                                      std::pair{compatible, QString()}, std::pair{compatible, apiKey}}) {
        server_.enqueue(Response::events(openAIAnswer("Hi")));
        OpenAIProvider provider(key, u"llava:13b"_qs, server);
        StreamRecorder answer(provider.stream(question, u"Be brief."_qs));
        ASSERT_TRUE(answer.waitForEnd());
        EXPECT_EQ(answer.fragments, QStringList{"Hi"});
        const FakeModelServer::Request &request = server_.requests().last();
        EXPECT_EQ(request.path, "/v1/chat/completions");
        EXPECT_EQ(request.headers.value("authorization"), key.isEmpty() ? QByteArray() : "Bearer " + key.toUtf8());
        EXPECT_EQ(request.body, OpenAIProvider::buildRequestBody(question, u"Be brief."_qs, u"llava:13b"_qs));
    }
    EXPECT_EQ(log_.messages(u"OpenAI"_qs).last(), u"Streaming response completed emittedChunks=1");
}

// The list comes from the configured server alone, and whatever it sends, holds no more than a list needs.
TEST_F(StreamingRun, TheModelListOfACompatibleServer)
{
    FakeModelServer elsewhere;
    const QString moved = elsewhere.baseUrl() + u"/v1/models";
    Response redirected = Response::error(302, "{}");
    redirected.headers << std::pair<QByteArray, QByteArray>("Location", moved.toUtf8());
    Response flood = Response::error(200, R"({"object":"list","data":[)");
    flood.chunked = true;
    flood.flood = CompatibleModelList::bodyLimit + 96 * 1024 * 1024;
    const Response list = Response::error(
        200, R"({"object":"list","data":[{"id":"llava:13b","object":"model"},{"id":"qwen2.5vl:7b"},{"id":""}]})");
    const QStringList offered{"llava:13b", "qwen2.5vl:7b"};
    const struct {
        Response response;
        QStringList models;
        QString logged;
    } fetches[] = {
        {list, offered, u"Compatible server models status=200 count=2"_qs},
        {redirected,
         {},
         u"Compatible server models failed error=Refused to follow a redirect to " + moved +
             u": the API key goes only to the address configured"},
        {list, offered, u"Compatible server models status=200 count=2"_qs},
        {flood, {}, u"Compatible server models failed error=The answer is larger than 4 MiB; reading stopped"_qs},
        {Response::error(404, "404 page not found", "text/plain"),
         {},
         u"Compatible server models status=404 count=0"_qs},
    };
    CompatibleModelList models;
    for (const auto &fetch : fetches) {
        SCOPED_TRACE(fetch.logged.toStdString());
        server_.enqueue(fetch.response);
        log_.clear();
        ASSERT_TRUE(PeakResidentMemory::reset());
        const qint64 before = PeakResidentMemory::mebibytes();
        models.fetch(server_.baseUrl() + u"/v1", false, apiKey);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !log_.messages(u"OpenAI"_qs).isEmpty(); }, 20000));
        EXPECT_LT(PeakResidentMemory::mebibytes() - before, 64) << "the body grew past its cap";
        EXPECT_EQ(log_.messages(u"OpenAI"_qs).join(u'\n').toStdString(), fetch.logged.toStdString());
        EXPECT_EQ(models.models(), fetch.models);
        EXPECT_EQ(server_.requests().last().method, "GET");
        EXPECT_EQ(server_.requests().last().path, "/v1/models");
        EXPECT_EQ(server_.requests().last().headers.value("authorization"), "Bearer " + apiKey.toUtf8());
    }
    EXPECT_TRUE(elsewhere.requests().isEmpty());
}

TEST_F(StreamingRun, EveryStatusButOkIsAnErrorCarryingTheBodyAndIsNotRetried)
{
    const QByteArray body = R"({"type":"error","error":{"type":"api_error","message":"Internal server error"}})";
    for (int status : {500, 201, 307}) {
        log_.clear();
        Response response = Response::error(status, body);
        response.headers << std::pair<QByteArray, QByteArray>("Location", "http://127.0.0.1:1/elsewhere");
        server_.enqueue(response);
        const auto answer = askAnthropic();
        const QString description = u"HTTP error " + QString::number(status) + u": " + QString::fromUtf8(body);
        EXPECT_EQ(answer->errorText(), description);
        EXPECT_EQ(anthropicLog().filter(u"Starting request").size(), 1);
        EXPECT_TRUE(anthropicLog().contains(u"HTTP error status=" + QString::number(status) + u" body=" + body));
        EXPECT_EQ(anthropicLog().last(), u"Streaming failed error=" + description);
    }
    EXPECT_EQ(server_.requests().size(), 3);
}

TEST_F(StreamingRun, AnAnswerFinishesOnlyWhenItsProtocolSaysSoAndFailuresKeepTheText)
{
    for (const Ending &ending : endings()) {
        SCOPED_TRACE(ending.name);
        log_.clear();
        server_.enqueue(ending.response);
        ASSERT_TRUE(PeakResidentMemory::reset());
        const qint64 residentBefore = PeakResidentMemory::mebibytes();
        const auto answer = askAnthropic(ending.openAI);
        if (ending.huge)
            EXPECT_LT(PeakResidentMemory::mebibytes() - residentBefore, 24);
        EXPECT_EQ(answer->fragments, ending.fragments);
        if (ending.error.isEmpty())
            EXPECT_EQ(answer->finished, ending.ending) << answer->errorText().toStdString();
        else if (ending.error != u"*")
            EXPECT_EQ(answer->errorText(), ending.error);
        else
            EXPECT_FALSE(answer->errorText().isEmpty());
        const QStringList log = log_.messages(QString::fromLatin1(ending.openAI ? "OpenAI" : "Anthropic"));
        EXPECT_EQ(log.filter(u"Starting request").size(), 1) << "nothing after the head is retried";
        EXPECT_EQ(log.last().startsWith(u"Streaming failed error="), !ending.error.isEmpty())
            << log.last().toStdString();
        for (const QString &line : log)
            EXPECT_LT(line.size(), 2100);
    }
}

TEST_F(StreamingRun, AConnectionResetOrClosedBeforeTheHeadIsTriedOnceMoreAfterASecond)
{
    // Qt's HTTP layer may itself resend at once when a connection closes before any response byte, so
    // the server can see more requests than there are attempts.
    for (const Response::Opening opening : {Response::Opening::Reset, Response::Opening::Close}) {
        log_.clear();
        FakeModelServer server; // a script of its own: not every scripted response gets used
        useServer(server);
        for (int i = 0; i < 8; ++i)
            server.enqueue(Response::without(opening));
        const auto answer = askAnthropic();
        EXPECT_FALSE(answer->errorText().isEmpty());
        EXPECT_EQ(anthropicLog().filter(u"Starting request").size(), 2);
        EXPECT_EQ(anthropicLog().filter(u"Request attempt failed attempt=1 retryable=true").size(), 1);
        ASSERT_GE(server.requests().size(), 2);
        EXPECT_GE(server.requests().last().receivedAtMs - server.requests().first().receivedAtMs, 950);
    }
}

TEST_F(StreamingRun, ARefusedConnectionOrAnUnknownHostIsTriedTwiceASecondApartThenReported)
{
    QTcpServer closed; // a port nobody listens on
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    const struct {
        QString url;
        QString error; // the whole error, or a part of it
        bool whole;
    } cases[] = {
        {u"http://127.0.0.1:"_qs + QString::number(port), u"Connection refused"_qs, true},
        {u"https://glint-test-host.invalid"_qs, u"glint-test-host.invalid"_qs, false},
    };
    for (const auto &[url, error, whole] : cases) {
        log_.clear();
        useBaseUrl(url);
        QElapsedTimer clock;
        clock.start();
        const auto answer = askAnthropic();
        EXPECT_GE(clock.elapsed(), 950);
        EXPECT_TRUE(whole ? answer->errorText() == error : answer->errorText().contains(error))
            << answer->errorText().toStdString();
        const QStringList failures = anthropicLog().filter(u"Request attempt failed");
        ASSERT_EQ(failures.size(), 2);
        for (int attempt : {1, 2})
            EXPECT_TRUE(failures[attempt - 1].startsWith(u"Request attempt failed attempt=" + QString::number(attempt) +
                                                         u" retryable=true error="))
                << failures[attempt - 1].toStdString();
    }
}

TEST_F(StreamingRun, TimeLimitsEndStalledAndEndlessExchanges)
{
    // No head at all: a time-out is worth a second attempt.
    NetworkThread::setLimits({std::chrono::milliseconds(300), std::chrono::seconds(30)});
    server_.enqueue(Response::without(Response::Opening::Silence));
    server_.enqueue(Response::without(Response::Opening::Silence));
    EXPECT_EQ(askAnthropic()->errorText(), u"The request timed out.");
    EXPECT_EQ(anthropicLog().filter(u"retryable=true error=The request timed out.").size(), 2);

    // Silence in the middle of the body.
    Response stalled = Response::events(anthropicDelta("one"));
    stalled.ending = Response::Ending::Hang;
    server_.enqueue(stalled);
    auto answer = askAnthropic();
    EXPECT_EQ(answer->fragments, QStringList{"one"});
    EXPECT_EQ(answer->errorText(), u"The request timed out.");

    // A steady drip that goes on past the limit for the whole exchange.
    NetworkThread::setLimits({std::chrono::seconds(30), std::chrono::milliseconds(1500)});
    QList<FakeModelServer::Piece> drip{{anthropicDelta("x"), 0}};
    for (int i = 0; i < 40; ++i)
        drip << FakeModelServer::Piece{anthropicDelta("x"), 100};
    server_.enqueue(Response::events(drip));
    answer = askAnthropic();
    EXPECT_GE(answer->fragments.size(), 1);
    EXPECT_LT(answer->fragments.size(), 41);
    EXPECT_EQ(answer->errorText(), u"The request timed out.");
    EXPECT_EQ(server_.requests().size(), 4);
}

TEST_F(StreamingRun, PlainHttpLeavesOnlyForLoopback)
{
    useBaseUrl(u"http://192.0.2.1:8080"_qs);
    const auto answer = askAnthropic();
    EXPECT_TRUE(answer->errorText().contains(u"plain http")) << answer->errorText().toStdString();
    EXPECT_EQ(anthropicLog().filter(u"Starting request").size(), 0);
}

class SecureStreamingRun : public StreamingRun {
protected:
    static void SetUpTestSuite() { certificates_ = TestCertificates::generate(); }
    void SetUp() override
    {
        if (!certificates_)
            GTEST_SKIP() << "the openssl command could not make test certificates";
        server_ =
            std::make_unique<FakeModelServer>(FakeModelServer::Tls{certificates_->server, certificates_->serverKey});
        useServer(*server_);
    }
    void TearDown() override
    {
        NetworkThread::setAdditionalCaCertificates({});
        StreamingRun::TearDown();
    }

    static inline std::optional<TestCertificates> certificates_;
    std::unique_ptr<FakeModelServer> server_;
};

TEST_F(SecureStreamingRun, ATrustedAuthorityGetsTheRequest)
{
    NetworkThread::setAdditionalCaCertificates({certificates_->authority});
    server_->enqueue(Response::events(anthropicDelta("secure")));
    EXPECT_EQ(askAnthropic()->fragments, QStringList{"secure"});
}

TEST_F(SecureStreamingRun, AnUnknownAuthorityIsRefusedAtOnce)
{
    const auto answer = askAnthropic();
    EXPECT_TRUE(answer->errorText().startsWith(u"SSL handshake failed")) << answer->errorText().toStdString();
    EXPECT_EQ(anthropicLog().filter(u"Starting request").size(), 1);
    EXPECT_TRUE(anthropicLog().filter(u"Request attempt failed").value(0).contains(u"retryable=false"));
    EXPECT_TRUE(server_->requests().isEmpty());
}

} // namespace

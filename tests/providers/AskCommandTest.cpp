#include "support/FakeModelServer.h"
#include "support/LogRecorder.h"
#include "support/ModelStreams.h"
#include "support/RecordedStream.h"
#include "support/TestImages.h"

#include "app/AskCommand.h"
#include "settings/SettingsManager.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Response = FakeModelServer::Response;
using namespace ModelStreams;

const QByteArray anthropicKey = "sk-ant-cli-5e2d";
const QByteArray openAIKey = "sk-proj-cli-9b1c";

QByteArray png(int width, int height)
{
    return encodedImage(QSize(width, height), Qt::darkYellow);
}

class AskCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("GLINT_ANTHROPIC_BASE_URL", server_.baseUrl().toUtf8());
        qputenv("GLINT_OPENAI_BASE_URL", server_.baseUrl().toUtf8());
        qputenv("ANTHROPIC_API_KEY", anthropicKey);
        qputenv("OPENAI_API_KEY", openAIKey);
    }
    void TearDown() override
    {
        for (const char *name :
             {"GLINT_ANTHROPIC_BASE_URL", "GLINT_OPENAI_BASE_URL", "ANTHROPIC_API_KEY", "OPENAI_API_KEY"})
            qunsetenv(name);
        const QByteArray everything = output_ + errors_ + log_.lines().join(u'\n').toUtf8();
        EXPECT_FALSE(everything.contains(anthropicKey) || everything.contains(openAIKey));
    }

    int ask(QStringList arguments, const QByteArray &standardInput = {})
    {
        QByteArray in = standardInput;
        QBuffer input(&in), output(&output_), errors(&errors_);
        input.open(QIODevice::ReadOnly);
        output.open(QIODevice::WriteOnly);
        errors.open(QIODevice::WriteOnly);
        arguments.prepend(u"ask"_qs);
        arguments.prepend(u"glint"_qs);
        return AskCommand::run(arguments, settings_, input, output, errors);
    }

    QJsonObject sentBody(int index = 0) const
    {
        return QJsonDocument::fromJson(server_.requests().value(index).body).object();
    }

    QTemporaryDir dir_;
    SettingsManager settings_{dir_.filePath(u"glint.conf"_qs)};
    FakeModelServer server_;
    LogRecorder log_;
    QByteArray output_;
    QByteArray errors_;
};

TEST_F(AskCommandTest, AsksTheProviderFromTheSettingsAndPrintsTheAnswer)
{
    server_.enqueue(Response::events(anthropicDelta("Hello") + anthropicAnswer(" there")));
    EXPECT_EQ(ask({u"What"_qs, u"is"_qs, u"this?"_qs}), 0);
    EXPECT_EQ(output_, "Hello there\n");
    EXPECT_EQ(errors_, "");

    ASSERT_EQ(server_.requests().size(), 1);
    EXPECT_EQ(server_.requests()[0].headers.value("x-api-key"), anthropicKey);
    const QJsonObject body = sentBody();
    EXPECT_EQ(body.value(u"model").toString(), settings_.anthropicModel());
    EXPECT_EQ(body.value(u"system").toString(), settings_.effectiveSystemPrompt());
    EXPECT_EQ(
        body.value(u"messages").toArray(),
        QJsonDocument::fromJson(R"([{"role":"user","content":[{"type":"text","text":"What is this?"}]}])").array());
}

TEST_F(AskCommandTest, SendsAnImageReducedAndEncodedAsACapture)
{
    QTemporaryDir images;
    QFile file(images.filePath(u"wide.png"_qs));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(png(3137, 1000));
    file.close();

    server_.enqueue(Response::events(openAIDelta("A wall.", "\"stop\"")));
    EXPECT_EQ(ask({u"--provider"_qs, u"openai"_qs, u"--model"_qs, u"gpt-5.4-nano"_qs, u"--image"_qs, file.fileName(),
                   u"Colour?"_qs}),
              0);
    EXPECT_EQ(output_, "A wall.\n");
    const QJsonObject body = sentBody();
    EXPECT_EQ(body.value(u"model").toString(), u"gpt-5.4-nano");
    const QString url = body.value(u"messages").toArray().last()[u"content"][0][u"image_url"][u"url"].toString();
    ASSERT_TRUE(url.startsWith(u"data:image/png;base64,"));
    const QImage sent = QImage::fromData(QByteArray::fromBase64(url.sliced(22).toLatin1()), "PNG");
    EXPECT_EQ(sent.size(), QSize(1568, 499));
}

TEST_F(AskCommandTest, ReadsTheImageFromStandardInput)
{
    server_.enqueue(Response::events(anthropicAnswer("Square.")));
    EXPECT_EQ(ask({u"--image"_qs, u"-"_qs, u"Shape?"_qs}, png(40, 40)), 0);
    const QJsonObject block = sentBody().value(u"messages")[0][u"content"][0].toObject();
    EXPECT_EQ(block.value(u"source")[u"media_type"].toString(), u"image/webp");

    EXPECT_EQ(ask({u"--image"_qs, u"-"_qs, u"Shape?"_qs}, "plain text"), 1);
    EXPECT_EQ(errors_, "No readable image in standard input\n");
}

// Standard error says why an answer failed or stopped short, after what arrived of it on standard output.
TEST_F(AskCommandTest, FailuresAndShortAnswersAreToldOnStandardError)
{
    const QByteArray mebibyte(1024 * 1024, 'x');
    const Response hugeError = Response::error(500, {}).flooded(mebibyte, 32);
    const QByteArray lengthLimit = "The answer reached the model's length limit.\n";
    const struct {
        QString provider;
        Response response;
        int status;
        QByteArray output, errors;
    } endings[] = {
        {u"anthropic"_qs,
         Response::error(401, R"({"error":{"type":"authentication_error","message":"invalid x-api-key"}})"),
         1,
         {},
         R"(HTTP error 401: {"error":{"type":"authentication_error","message":"invalid x-api-key"}})"
         "\n"},
        {u"anthropic"_qs, hugeError, 1, {}, "HTTP error 500: " + mebibyte.first(2000) + "\xe2\x80\xa6\n"},
        {u"anthropic"_qs, Response::events(anthropicDelta("Part") + "data: ").flooded(mebibyte, 64), 1, "Part\n",
         "The server sent an event larger than 1 MiB, so the answer was stopped.\n"},
        {u"anthropic"_qs, Response::events(recordedStream(u"anthropic/sse-max-tokens-stream.sse"_qs)), 0,
         "The dialog offers three choices:\n\n1. **Keep**\n", lengthLimit},
        {u"openai"_qs, Response::events(recordedStream(u"openai/sse-chat-finish-length.sse"_qs)), 0, "{\"\n",
         lengthLimit},
        {u"anthropic"_qs,
         Response::events(recordedStream(u"anthropic/sse-refusal-no-text-stream.sse"_qs)),
         3,
         {},
         "The model declined to answer.\n"},
        {u"openai"_qs,
         Response::events(recordedStream(u"openai/sse-chat-refusal-content-null.sse"_qs)),
         3,
         {},
         "I'm sorry, I can't assist with that request.\n"},
    };
    for (const auto &ending : endings) {
        SCOPED_TRACE(ending.errors.toStdString());
        output_.clear();
        errors_.clear();
        server_.enqueue(ending.response);
        EXPECT_EQ(ask({u"--provider"_qs, ending.provider, u"Hi"_qs}), ending.status);
        EXPECT_EQ(output_, ending.output);
        EXPECT_EQ(errors_, ending.errors);
    }

    errors_.clear();
    qunsetenv("OPENAI_API_KEY");
    if (!settings_.keychainRead(SettingsManager::openAIKeyAccount).isSet()) {
        EXPECT_EQ(ask({u"--provider"_qs, u"openai"_qs, u"Hi"_qs}), 1);
        EXPECT_EQ(errors_, "No OpenAI API key configured. Add it in Settings or set OPENAI_API_KEY.\n");
    }
}

TEST_F(AskCommandTest, AsksTheCompatibleServerOfTheSettings)
{
    settings_.setCompatibleBaseURL(server_.baseUrl() + u"/v1");
    settings_.setCompatibleModel(u"llava:13b"_qs);
    server_.enqueue(Response::events(openAIAnswer("Local.")));
    EXPECT_EQ(ask({u"--provider"_qs, u"compatible"_qs, u"--model"_qs, u"qwen2.5vl:7b"_qs, u"Who?"_qs}), 0);
    EXPECT_EQ(output_, "Local.\n");
    ASSERT_EQ(server_.requests().size(), 1);
    EXPECT_EQ(server_.requests()[0].path, "/v1/chat/completions");
    EXPECT_EQ(sentBody().value(u"model").toString(), u"qwen2.5vl:7b");
    if (!settings_.keychainRead(SettingsManager::compatibleKeyAccount).isSet())
        EXPECT_FALSE(server_.requests()[0].headers.contains("authorization")) << "no key, no header";

    // Plain http allowed for one server is refused to another.
    settings_.setCompatibleBaseURL(u"http://192.0.2.1:11434/v1"_qs);
    settings_.setCompatibleAllowUnencrypted(true);
    settings_.setCompatibleBaseURL(u"http://192.0.2.2:11434/v1"_qs);
    EXPECT_EQ(ask({u"--provider"_qs, u"compatible"_qs, u"Who?"_qs}), 1);
    EXPECT_TRUE(errors_.endsWith("or allow an unencrypted connection to this server in Settings\n"))
        << errors_.constData();
    EXPECT_EQ(server_.requests().size(), 1);
}

TEST_F(AskCommandTest, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(ask({}), 2);
    EXPECT_TRUE(errors_.startsWith("glint ask: Missing question."));
    EXPECT_EQ(ask({u"--provider"_qs, u"gemini"_qs, u"Hi"_qs}), 2);
    EXPECT_EQ(ask({u"--colour"_qs, u"Hi"_qs}), 2);
    EXPECT_TRUE(server_.requests().isEmpty());
}

} // namespace

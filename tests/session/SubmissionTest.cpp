#include "SessionDoubles.h"
#include "support/FakeModelServer.h"
#include "support/LogRecorder.h"
#include "support/ModelStreams.h"
#include "support/RecordedStream.h"
#include "support/TestImages.h"

#include "providers/StandardProviderFactory.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <gtest/gtest.h>

// Questions through the real session and the real providers, answered by a local server.

namespace {

using Response = FakeModelServer::Response;

const QString anthropicAccount = u"apiKey.anthropic"_qs;
const QString openAIAccount = u"apiKey.openai"_qs;

QByteArray png(Qt::GlobalColor colour)
{
    return encodedImage(QSize(32, 24), colour);
}

using namespace ModelStreams;

class Submission : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("GLINT_ANTHROPIC_BASE_URL", server_.baseUrl().toUtf8());
        qputenv("GLINT_OPENAI_BASE_URL", server_.baseUrl().toUtf8());
    }
    void TearDown() override
    {
        qunsetenv("GLINT_ANTHROPIC_BASE_URL");
        qunsetenv("GLINT_OPENAI_BASE_URL");
    }

    AnnotationSession &session() { return *rig_.session; }

    bool waitUntilQuerying()
    {
        return QTest::qWaitFor([this] { return session().state() == SessionState::Querying; }, 15000);
    }

    // Opens the panel with a captured screenshot and has the first question answered.
    void answerFirstQuestion(const QByteArray &answer = "It is a chart.")
    {
        rig_.keys->insert(anthropicAccount, u"sk-ant-session"_qs);
        rig_.openPanelWithCapture(png(Qt::red));
        server_.enqueue(Response::events(anthropicAnswer(answer)));
        session().submit(u"What is this?"_qs);
        ASSERT_TRUE(waitUntilQuerying());
    }

    void addCapture(const QByteArray &bytes)
    {
        session().beginAdditionalCapture(true);
        session().noteDrawingBegan(QPointF(2000, 50));
        session().advanceToQuery();
        rig_.capturer.succeed(bytes);
        rig_.settle();
    }

    QJsonArray sentMessages(int index) const
    {
        return QJsonDocument::fromJson(server_.requests().value(index).body).object().value(u"messages").toArray();
    }

    // Each turn of request `index` as "role: text", with " +image" when it carries a picture; OpenAI's
    // system message left out.
    QStringList sentTurns(int index) const
    {
        QStringList turns;
        for (const QJsonValue &message : sentMessages(index)) {
            const QString role = message[u"role"].toString();
            if (role == u"system")
                continue;
            QString text = message[u"content"].toString();
            bool image = false;
            for (const QJsonValue &part : message[u"content"].toArray()) {
                if (part[u"type"].toString() == u"text")
                    text = part[u"text"].toString();
                else
                    image = true;
            }
            turns << role + u": " + text + (image ? u" +image" : u"");
        }
        return turns;
    }

    QStringList transcript() const
    {
        QStringList texts;
        for (const ChatMessage &message : rig_.session->chatMessages())
            texts << (message.attachment ? message.attachment->title : message.text);
        return texts;
    }

    LogRecorder log_;
    FakeModelServer server_;
    StandardProviderFactory providers_;
    SessionRig rig_{&providers_};
};

TEST_F(Submission, AQuestionAskedDuringTheCaptureWaitsForIt)
{
    rig_.keys->insert(anthropicAccount, u"sk-ant-session"_qs);
    rig_.openPanel();
    server_.enqueue(Response::events(anthropicAnswer("A red square.")));
    session().submit(u"What is this?"_qs);
    QTest::qWait(100);
    EXPECT_TRUE(server_.requests().isEmpty());
    EXPECT_EQ(transcript(), QStringList{});

    rig_.capturer.succeed(png(Qt::red));
    ASSERT_TRUE(waitUntilQuerying());
    EXPECT_EQ(transcript(), (QStringList{"Screenshot", "What is this?", "A red square."}));
    const QJsonArray content = sentMessages(0)[0][u"content"].toArray();
    EXPECT_EQ(content[0][u"source"][u"media_type"].toString(), u"image/webp");
    EXPECT_EQ(content[1][u"text"].toString(), u"What is this?");
}

TEST_F(Submission, OnlyTheExactProviderNameOpenAISelectsOpenAI)
{
    rig_.keys->insert(anthropicAccount, u"sk-ant-session"_qs);
    rig_.keys->insert(openAIAccount, u"sk-openai-session"_qs);
    rig_.settings->setOpenAIModel(u"gpt-5.4-nano"_qs);
    rig_.openPanelWithCapture(png(Qt::red));

    rig_.settings->setSelectedProvider(u"openai"_qs);
    server_.enqueue(Response::events(openAIAnswer("one")));
    session().submit(u"First?"_qs);
    ASSERT_TRUE(waitUntilQuerying());

    rig_.settings->setSelectedProvider(u"OpenAI"_qs);
    server_.enqueue(Response::events(anthropicAnswer("two")));
    session().submit(u"Second?"_qs);
    ASSERT_TRUE(waitUntilQuerying());

    ASSERT_EQ(server_.requests().size(), 2);
    EXPECT_EQ(server_.requests()[0].path, "/v1/chat/completions");
    EXPECT_EQ(server_.requests()[0].headers.value("authorization"), "Bearer sk-openai-session");
    EXPECT_EQ(QJsonDocument::fromJson(server_.requests()[0].body)[u"model"].toString(), u"gpt-5.4-nano");
    EXPECT_EQ(server_.requests()[1].path, "/v1/messages");
    EXPECT_EQ(server_.requests()[1].headers.value("x-api-key"), "sk-ant-session");
    EXPECT_EQ(transcript().mid(1), (QStringList{"First?", "one", "Second?", "two"}));
}

TEST_F(Submission, ALockedKeyringIsNotAMissingKeyAndAKeyOfSpacesIsSent)
{
    rig_.openPanelWithCapture(png(Qt::red));
    rig_.keys->setUnreadable(StoredSecret::Status::Locked);
    session().submit(u"Anyone?"_qs);
    ASSERT_TRUE(waitUntilQuerying());
    EXPECT_EQ(transcript().last(), u"Error: The keyring is locked. Unlock it and ask again.");

    rig_.keys->setUnreadable(StoredSecret::Status::Found);
    session().submit(u"Anyone?"_qs);
    ASSERT_TRUE(waitUntilQuerying());
    EXPECT_EQ(transcript(), (QStringList{"Screenshot", "Error: The keyring is locked. Unlock it and ask again.",
                                         "Error: No Anthropic API key configured. Add it in Settings."}));
    EXPECT_TRUE(log_.contains(u"Session"_qs, u"Anthropic API key missing"_qs));
    EXPECT_TRUE(server_.requests().isEmpty());

    rig_.keys->insert(anthropicAccount, u"   "_qs);
    server_.enqueue(Response::error(401, R"({"error":{"type":"authentication_error"}})"));
    session().submit(u"Now?"_qs);
    ASSERT_TRUE(waitUntilQuerying());
    ASSERT_EQ(server_.requests().size(), 1);
    EXPECT_EQ(transcript().last(), u"[Error: HTTP error 401: {\"error\":{\"type\":\"authentication_error\"}}]");
}

TEST_F(Submission, AFailedFirstAnswerLeavesOnlyTheOpeningTurn)
{
    rig_.keys->insert(anthropicAccount, u"sk-ant-session"_qs);
    rig_.openPanelWithCapture(png(Qt::red));
    // The body ends in good order, but before the answer's closing event.
    server_.enqueue(Response::events(anthropicDelta("Half an")));
    session().submit(u"What is this?"_qs);
    ASSERT_TRUE(waitUntilQuerying());
    EXPECT_EQ(transcript().last(), u"Half an\n\n[Error: The answer was cut off before it finished.]");
    EXPECT_EQ(session().llmConversationPrefix().size(), 1);
    EXPECT_TRUE(session().llmConversationHistory().isEmpty());

    server_.enqueue(Response::events(anthropicAnswer("Because.")));
    session().submit(u"Why?"_qs);
    ASSERT_TRUE(waitUntilQuerying());
    const QJsonArray sent = sentMessages(1);
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0][u"content"][1][u"text"].toString(), u"What is this?");
    EXPECT_EQ(sent[0][u"content"][0][u"type"].toString(), u"image");
    EXPECT_EQ(sent[1][u"content"].toArray(), QJsonDocument::fromJson(R"([{"type":"text","text":"Why?"}])").array());
    EXPECT_EQ(transcript().last(), u"Because.");
}

TEST_F(Submission, AFailedFollowUpIsNotResentNorItsCapture)
{
    answerFirstQuestion("A chart.");
    addCapture(png(Qt::blue));
    server_.enqueue(Response::error(500, "overloaded"));
    session().submit(u"And this?"_qs);
    ASSERT_TRUE(waitUntilQuerying());
    EXPECT_EQ(transcript().last(), u"[Error: HTTP error 500: overloaded]");

    server_.enqueue(Response::events(anthropicAnswer("Sure.")));
    session().submit(u"Again?"_qs);
    ASSERT_TRUE(waitUntilQuerying());
    const QJsonArray sent = sentMessages(2);
    ASSERT_EQ(sent.size(), 3);
    EXPECT_EQ(
        sent[1].toObject(),
        QJsonDocument::fromJson(R"({"role":"assistant","content":[{"type":"text","text":"A chart."}]})").object());
    EXPECT_EQ(sent[2][u"content"].toArray(), QJsonDocument::fromJson(R"([{"type":"text","text":"Again?"}])").array());
}

// An answer that stopped short says why under it. A refused question is not asked again with the next one
// (resent, it draws the same refusal), though its picture is; nor does an empty answer go back, which
// Anthropic would reject.
TEST_F(Submission, AnAnswerStoppedShortSaysWhyAndOnlyWholeExchangesAreResent)
{
    rig_.keys->insert(anthropicAccount, u"sk-ant-session"_qs);
    rig_.keys->insert(openAIAccount, u"sk-openai-session"_qs);
    const QString lengthLimit = u"The answer reached the model's length limit."_qs;
    const QString image = u"user: What is this? +image"_qs;
    const QString next = u"user: And now?"_qs;
    const struct {
        QString provider;
        Response response;
        QString shown, note;
        QStringList resent;
    } endings[] = {
        {u"anthropic"_qs,
         Response::events(recordedStream(u"anthropic/sse-max-tokens-stream.sse"_qs)),
         u"The dialog offers three choices:\n\n1. **Keep**"_qs,
         lengthLimit,
         {image, u"assistant: The dialog offers three choices:\n\n1. **Keep**"_qs, next}},
        {u"openai"_qs,
         Response::events(recordedStream(u"openai/sse-chat-finish-length.sse"_qs)),
         u"{\""_qs,
         lengthLimit,
         {image, u"assistant: {\""_qs, next}},
        {u"anthropic"_qs,
         Response::events(recordedStream(u"anthropic/sse-refusal-no-text-stream.sse"_qs)),
         {},
         u"The model declined to answer."_qs,
         {u"user: And now? +image"_qs}},
        {u"openai"_qs,
         Response::events(recordedStream(u"openai/sse-chat-refusal-content-null.sse"_qs)),
         u"I'm sorry, I can't assist with that request."_qs,
         {},
         {u"user: And now? +image"_qs}},
        {u"anthropic"_qs, Response::events(anthropicStop), {}, {}, {image, next}},
    };
    for (const auto &ending : endings) {
        SCOPED_TRACE(ending.resent.join(u" | ").toStdString());
        session().cancel();
        rig_.settings->setSelectedProvider(ending.provider);
        rig_.openPanelWithCapture(png(Qt::red));
        server_.enqueue(ending.response);
        session().submit(u"What is this?"_qs);
        ASSERT_TRUE(waitUntilQuerying());
        const ChatMessage answer = session().chatMessages().last();
        EXPECT_EQ(answer.text, ending.shown);
        EXPECT_EQ(answer.note, ending.note);

        server_.enqueue(
            Response::events(ending.provider == u"openai" ? openAIAnswer("Fine.") : anthropicAnswer("Fine.")));
        session().submit(u"And now?"_qs);
        ASSERT_TRUE(waitUntilQuerying());
        EXPECT_EQ(sentTurns(int(server_.requests().size()) - 1), ending.resent);
        EXPECT_EQ(session().chatMessages().last().note, QString());
    }
}

TEST_F(Submission, AFragmentArrivingAfterCancelChangesNothing)
{
    rig_.keys->insert(anthropicAccount, u"sk-ant-session"_qs);
    rig_.openPanelWithCapture(png(Qt::red));
    server_.enqueue(Response::events({{anthropicDelta("Early"), 0}, {anthropicAnswer(" late"), 300}}));
    session().submit(u"What is this?"_qs);
    ASSERT_TRUE(QTest::qWaitFor([this] { return transcript().contains(u"Early"_qs); }, 15000));

    session().cancel();
    QTest::qWait(500); // the late fragment and the end of the body arrive meanwhile
    EXPECT_EQ(session().state(), SessionState::Idle);
    EXPECT_EQ(transcript(), QStringList{});
    EXPECT_TRUE(session().streamedResponse().isEmpty());
    EXPECT_TRUE(session().llmConversationHistory().isEmpty());
    EXPECT_TRUE(log_.messages(u"Session"_qs).filter(u"Streaming task completed").isEmpty());
}

} // namespace

#include "AskLoopE2EFixture.h"
#include "CopiedRun.h"
#include "input/XTestDriver.h"
#include "settings/SettingsManager.h"
#include "support/FormFields.h"
#include "support/StoredKey.h"
#include "voice/AudioTestSupport.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <csignal>

// The whole loop of the real application on the two-monitor test display: the hotkey, a stroke on the
// right monitor, a typed (or spoken) question sent with the capture to a local stand-in for the model
// service, the streamed answer in the panel, a follow-up, and Escape.

namespace {

using namespace DeskPictures;

// How many rows of the transcript part of `panel` hold a run of one colour between `minLength` and
// `maxLength` pixels long, lighter than the card (its most common colour) by `lighterFrom` to `lighterTo`.
int rowsWithRun(const QImage &panel, int lighterFrom, int lighterTo, int minLength, int maxLength)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < panel.height(); ++y)
        for (int x = 0; x < panel.width(); ++x)
            ++counts[panel.pixel(x, y)];
    const QRgb card = std::max_element(counts.cbegin(), counts.cend()).key();
    int rows = 0;
    for (int y = 0; y < panel.height() - 140; ++y) {
        for (int x = 0, end = 0; x < panel.width(); x = end) {
            const QRgb colour = panel.pixel(x, y);
            for (end = x + 1; end < panel.width() && panel.pixel(end, y) == colour;)
                ++end;
            const int lighter = qGray(colour) - qGray(card);
            if (lighter >= lighterFrom && lighter <= lighterTo && end - x >= minLength && end - x <= maxLength) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

class AskLoopE2ETest : public AskLoopE2EFixture {
protected:
    // The settings of `protocol` written, the desk painted and the spoken question made.
    std::optional<Speech> prepareSpokenQuestion(const ModelProtocol &protocol)
    {
        writeSettings(protocol);
        // The application gets a runtime directory of its own; the sound server stays the session's.
        extraEnvironment.insert(u"PULSE_SERVER"_qs,
                                u"unix:" + qEnvironmentVariable("XDG_RUNTIME_DIR") + u"/pulse/native");
        if (!desk.isOpen())
            return std::nullopt;
        desk.paintPattern({leftMonitor, rightMonitor});
        return makeSpeech(dir.path(), u"What is marked here?"_qs);
    }

    // Holds Return, or the microphone button, while `speech` plays and for longer than the 1.5 s a recording
    // needs; whether the panel then submitted the transcript. `service` is the recording's log category.
    bool speak(const Speech &speech, const QRect &panel, bool byButton, const QString &service)
    {
        QElapsedTimer held;
        held.start();
        if (byButton) {
            // The microphone sits left of the send button, in the input's bottom bar above the footer.
            XTestDriver::moveTo(QPoint(panel.right() - 71, panel.bottom() - 67));
            XTestDriver::press(1);
        } else {
            XTestDriver::keyDown(u"Return"_qs);
        }
        const bool recording = !waitForLogStartingWith(u'[' + service + u"] Recording started file=").isEmpty();
        EXPECT_TRUE(recording && playIntoMicrophone(speech.path));
        QTest::qWait(int(qMax<qint64>(0, 1700 - held.elapsed())));
        if (byButton)
            XTestDriver::release(1);
        else
            XTestDriver::keyUp(u"Return"_qs);
        const QString trigger = byButton ? u"Button"_qs : u"Keyboard"_qs;
        return recording && waitForLog(u"[QueryPanel] " + trigger + u" transcription submitted chars=20", 15000);
    }
};

TEST_P(AskLoopE2ETest, AnnotateAskFollowUpAndEscape)
{
    const ModelProtocol &protocol = GetParam();
    const QByteArray key = "sk-e2e-" + QByteArray::number(QCoreApplication::applicationPid());
    const StoredKey storedKey(*protocol.keyAccount, key);
    ASSERT_TRUE(storedKey.isStored());
    const QString systemPrompt = writeSettings(protocol);
    ASSERT_TRUE(desk.isOpen());
    desk.paintPattern({leftMonitor, rightMonitor});

    const QStringList firstAnswer{"The stroke marks **a checker", "board** in ", "`cyan`", " and purple."};
    const QStringList secondAnswer{"Cyan ", "and **purple**.\n\n```\nshare = cyan / purple\n", "```\n\n",
                                   "| Colour | Share |\n|---|---|\n| cyan | half |\n"};
    server.enqueue(FakeModelServer::Response::events(protocol.answer(firstAnswer)));
    server.enqueue(FakeModelServer::Response::events(protocol.answer(secondAnswer)));
    extraEnvironment.insert(QString::fromLatin1(protocol.baseUrlVariable), server.baseUrl());

    const QList<QPoint> stroke = rightMonitorStroke();
    ASSERT_TRUE(strokeUnderTheOverlay(stroke));

    ASSERT_TRUE(waitForLog(QStringLiteral("[QueryPanel] screen=(1920.0, 0.0, 1920.0, 1080.0) "
                                          "visibleFrame=(1920.0, 0.0, 1920.0, 1080.0)")));
    EXPECT_TRUE(waitForLog(u"[QueryPanel] panel origin=(2570, 934) size=620x130"_qs));
    EXPECT_FALSE(waitForLogStartingWith(u"[Session] Screenshot captured bytes="_qs).isEmpty());
    // Its picture is saved once it has faded in and focused the question field.
    ASSERT_TRUE(QTest::qWaitFor([&] { return snapshots().contains(u"panel-01-shown.png"); }))
        << snapshots().join(u", ").toStdString();

    // On screen it shows the capture of the right monitor, stroke included, as its thumbnail.
    ScreenColours shown;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        shown = coloursIn(grabScreenArea(panelWindow().value_or(QRect())));
        return shown.rightPattern > 10000; // most of a 220 x 123 thumbnail
    }));
    EXPECT_EQ(shown.leftPattern, 0);
    EXPECT_GT(shown.red, 20);
    const std::optional<QRect> panel = settledPanel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(rightMonitor.contains(*panel));
    EXPECT_EQ(panel->x(), 2570);
    EXPECT_EQ(panel->bottom() + 1, 1080 - 16);

    // The first question goes out with the capture.
    const QString firstQuestion = u"What is marked here?"_qs;
    typeQuestion(firstQuestion);
    const std::optional<SentRequest> opening = waitForRequest(1, protocol, key);
    ASSERT_TRUE(opening);
    EXPECT_EQ(opening->model, QString::fromLatin1(protocol.model));
    EXPECT_EQ(opening->maxTokens, 1024);
    EXPECT_TRUE(opening->stream);
    EXPECT_EQ(opening->system, systemPrompt);
    ASSERT_EQ(opening->turns.size(), 1);
    EXPECT_EQ(opening->turns[0].role, u"user");
    EXPECT_EQ(opening->turns[0].text, firstQuestion);
    expectRightMonitorCapture(opening->turns[0].image, stroke);
    opening->turns[0].image.save(QDir(artifactsPath()).filePath(u"request-image.png"_qs));

    const QString firstText = firstAnswer.join(QString());
    ASSERT_TRUE(waitForLog(u"[Session] Streaming task completed responseLength=" + QString::number(firstText.size())));

    // A follow-up resends the opening turn and the answer, then asks the new question without an image.
    const QString secondQuestion = u"Which colours?"_qs;
    typeQuestion(secondQuestion);
    const std::optional<SentRequest> followUp = waitForRequest(2, protocol, key);
    ASSERT_TRUE(followUp);
    EXPECT_EQ(followUp->model, QString::fromLatin1(protocol.model));
    EXPECT_EQ(followUp->system, systemPrompt);
    ASSERT_EQ(followUp->turns.size(), 3);
    EXPECT_EQ(followUp->turns[0].role, u"user");
    EXPECT_EQ(followUp->turns[0].text, firstQuestion);
    EXPECT_EQ(followUp->turns[0].image, opening->turns[0].image);
    EXPECT_EQ(followUp->turns[1].role, u"assistant");
    EXPECT_EQ(followUp->turns[1].text, firstText);
    EXPECT_TRUE(followUp->turns[1].image.isNull());
    EXPECT_EQ(followUp->turns[2].role, u"user");
    EXPECT_EQ(followUp->turns[2].text, secondQuestion);
    EXPECT_TRUE(followUp->turns[2].image.isNull());
    ASSERT_TRUE(waitForLog(u"[Session] Streaming task completed responseLength=" +
                           QString::number(secondAnswer.join(QString()).size())));
    const QStringList pictures{"panel-01-shown.png", "panel-02-streaming.png", "panel-03-querying.png",
                               "panel-04-streaming.png", "panel-05-querying.png"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return snapshots() == pictures; })) << snapshots().join(u", ").toStdString();

    // Above the input row, the follow-up's code block lies on a box lighter than the card, and its table
    // is ruled by lines lighter still, both narrower than the panel.
    const QImage answered = grabScreenArea(settledPanel().value_or(QRect()));
    EXPECT_GE(rowsWithRun(answered, 10, 40, 200, 560), 20);
    EXPECT_GE(rowsWithRun(answered, 45, 120, 40, 400), 3);

    // The first answer reads as rendered Markdown: markers gone, bold and code in their own fonts.
    const std::vector<CopiedRun> expectedRuns{
        {"The stroke marks ", false, false},
        {"a checkerboard", true, false},
        {" in ", false, false},
        {"cyan", false, true},
        {" and purple.", false, false},
    };
    EXPECT_EQ(CopiedRun::runsOf(copyFirstAnswer()), expectedRuns);

    // Escape ends the session and closes every window.
    desk.pressEscape();
    EXPECT_TRUE(waitForLog(u"[Session] Session cancelled and state reset"_qs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return visibleWindows().isEmpty(); }, 5000));
    EXPECT_EQ(server.requests().size(), 2);
    EXPECT_EQ(first.state(), QProcess::Running);
}

// A server of the user's own, without a key: its models are listed in the pill's menu, one is chosen with
// the keyboard, and the question goes there with the capture.
TEST_F(AskLoopE2ETest, AModelOfACompatibleServerIsChosenInThePillAndAnswers)
{
    {
        SettingsManager settings(QDir(configHome()).filePath(u"glint/glint.conf"_qs));
        settings.setCompatibleBaseURL(server.baseUrl() + u"/v1");
        settings.setHasCompletedOnboarding(true);
    }
    ASSERT_TRUE(desk.isOpen());
    desk.paintPattern({leftMonitor, rightMonitor});
    server.enqueue(FakeModelServer::Response::events(
        {{R"({"object":"list","data":[{"id":"llava:13b","object":"model"},{"id":"qwen2.5vl:7b","object":"model"}]})",
          0}}));
    const QStringList answer{"A checker", "board."};
    server.enqueue(FakeModelServer::Response::events(ModelProtocol::openAI.answer(answer)));

    ASSERT_TRUE(strokeUnderTheOverlay(rightMonitorStroke()));
    ASSERT_TRUE(waitForLog(u"[OpenAI] Compatible server models status=200 count=2"_qs));
    const std::optional<QRect> panel = settledPanel();
    ASSERT_TRUE(panel);

    // The pill sits at the left end of the input field's bottom bar, above the footer; its menu is a window
    // of its own.
    const qsizetype windowsBefore = visibleWindows().size();
    XTestDriver::moveTo(QPoint(panel->left() + 60, panel->bottom() - 66));
    XTestDriver::run({u"click"_qs, u"1"_qs});
    ASSERT_TRUE(QTest::qWaitFor([&] { return visibleWindows().size() > windowsBefore; }, 5000));
    XTestDriver::key(u"Down"_qs);
    XTestDriver::key(u"Down"_qs);
    XTestDriver::key(u"Return"_qs);
    typeQuestion(u"What is this?"_qs);

    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == 2; }, 15000));
    const FakeModelServer::Request &request = server.requests()[1];
    EXPECT_EQ(request.path, "/v1/chat/completions");
    EXPECT_FALSE(request.headers.contains("authorization"));
    const SentRequest sent = ModelProtocol::openAI.read(QJsonDocument::fromJson(request.body).object());
    EXPECT_EQ(sent.model, u"qwen2.5vl:7b");
    ASSERT_EQ(sent.turns.size(), 1);
    EXPECT_EQ(sent.turns[0].text, u"What is this?");
    EXPECT_EQ(sent.turns[0].image.size(), captureSize);
    EXPECT_TRUE(waitForLog(u"[Session] Streaming task completed responseLength=" +
                           QString::number(answer.join(QString()).size())));
    EXPECT_FALSE(
        waitForLogStartingWith(u"[Session] Submitting query provider=compatible model=qwen2.5vl:7b"_qs).isEmpty());
}

// Spoken instead of typed, while speech plays into the session's virtual microphone. With Anthropic the user
// also has a Replicate token, which keeps transcribing: the local stand-in answers its create and polls. With
// only an OpenAI key, OpenAI transcribes, streaming the transcript. Then the model answers.
TEST_P(AskLoopE2ETest, SpokenQuestionIsTranscribedAndAsked)
{
    const ModelProtocol &protocol = GetParam();
    const bool replicate = protocol.name == std::string("anthropic");
    const QByteArray key = "sk-e2e-voice";
    const StoredKey storedKey(*protocol.keyAccount, key);
    std::optional<StoredKey> replicateKey;
    if (replicate)
        replicateKey.emplace(SettingsManager::replicateKeyAccount, "r8_e2e");
    ASSERT_TRUE(storedKey.isStored() && (!replicateKey || replicateKey->isStored()));
    const std::optional<Speech> speech = prepareSpokenQuestion(protocol);
    ASSERT_TRUE(speech);

    using Response = FakeModelServer::Response;
    const QByteArray poll = server.baseUrl().toUtf8() + "/v1/predictions/e2e";
    if (replicate) {
        server.enqueue(Response::json(201, R"({"id":"e2e","status":"starting","urls":{"get":")" + poll +
                                               R"(","cancel":")" + poll + R"(/cancel"}})"));
        server.enqueue(Response::json(200, R"({"id":"e2e","status":"processing","output":null})"));
        server.enqueue(Response::json(
            200, R"({"id":"e2e","status":"succeeded","output":{"text":" What is marked here?","chunks":[]}})"));
    } else {
        server.enqueue(Response::events({{R"(data: {"type":"transcript.text.delta","delta":"What is"})"
                                          "\n\n",
                                          0},
                                         {R"(data: {"type":"transcript.text.delta","delta":" marked here?"})"
                                          "\n\n",
                                          300},
                                         {R"(data: {"type":"transcript.text.done","text":"What is marked here?"})"
                                          "\n\n",
                                          0}}));
    }
    server.enqueue(FakeModelServer::Response::events(protocol.answer({"A checker", "board."})));
    extraEnvironment.insert(QString::fromLatin1(protocol.baseUrlVariable), server.baseUrl());
    extraEnvironment.insert(u"GLINT_REPLICATE_BASE_URL"_qs, server.baseUrl());

    ASSERT_TRUE(strokeUnderTheOverlay(rightMonitorStroke()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return snapshots().contains(u"panel-01-shown.png"); }));
    const std::optional<QRect> panel = settledPanel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(speak(*speech, *panel, false, replicate ? u"Replicate"_qs : u"OpenAI"_qs));

    const qsizetype transcription = replicate ? 3 : 1;
    const std::optional<SentRequest> asked = waitForRequest(transcription + 1, protocol, key);
    ASSERT_TRUE(asked);
    ASSERT_EQ(asked->turns.size(), 1);
    EXPECT_EQ(asked->turns[0].text, u"What is marked here?");
    EXPECT_FALSE(asked->turns[0].image.isNull());

    const FakeModelServer::Request &upload = server.requests()[0];
    if (replicate) {
        EXPECT_EQ(upload.path, "/v1/predictions");
        EXPECT_EQ(upload.headers.value("authorization"), "Bearer r8_e2e");
        EXPECT_TRUE(carriesSpokenAudio(upload.body, speech->seconds, 30));
        EXPECT_EQ(server.requests()[1].path, "/v1/predictions/e2e");
    } else {
        EXPECT_EQ(upload.path, "/v1/audio/transcriptions");
        EXPECT_EQ(upload.headers.value("authorization"), "Bearer " + key);
        const QMap<QString, FormField> fields = formFields(upload);
        EXPECT_EQ(fields.value(u"model"_qs).body, "gpt-4o-mini-transcribe");
        EXPECT_TRUE(isSpokenAudio(fields.value(u"file"_qs).body, speech->seconds, 30));
    }

    // The spoken question is the user's bubble, and no recording is left behind.
    ASSERT_TRUE(waitForLog(u"[Session] Streaming task completed responseLength=15"_qs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return snapshots().size() >= 3; }));
    EXPECT_TRUE(QDir(dir.filePath(u"glint"_qs)).entryList(QDir::Files).isEmpty());
    desk.pressEscape();
    EXPECT_TRUE(waitForLog(u"[Session] Session cancelled and state reset"_qs));
}

// A server of the user's own, with a transcription model and no key at all: the microphone button records, the
// server transcribes and answers.
TEST_F(AskLoopE2ETest, ASpokenQuestionNeedsNoKeyWithACompatibleServer)
{
    const std::optional<Speech> speech = prepareSpokenQuestion(ModelProtocol::openAI);
    ASSERT_TRUE(speech);
    {
        SettingsManager settings(QDir(configHome()).filePath(u"glint/glint.conf"_qs));
        settings.setSelectedProvider(u"compatible"_qs);
        settings.setCompatibleBaseURL(server.baseUrl() + u"/v1");
        settings.setCompatibleModel(u"llava:13b"_qs);
        settings.setCompatibleTranscriptionModel(u"whisper-1"_qs);
    }
    using Response = FakeModelServer::Response;
    server.enqueue(Response::json(200, R"({"object":"list","data":[{"id":"llava:13b","object":"model"}]})"));
    server.enqueue(Response::json(200, R"({"text":"What is marked here?"})"));
    server.enqueue(Response::events(ModelProtocol::openAI.answer({"A checker", "board."})));

    ASSERT_TRUE(strokeUnderTheOverlay(rightMonitorStroke()));
    ASSERT_TRUE(waitForLog(u"[OpenAI] Compatible server models status=200 count=1"_qs));
    const std::optional<QRect> panel = settledPanel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(speak(*speech, *panel, true, u"OpenAI"_qs));

    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == 3; }, 15000));
    const FakeModelServer::Request &upload = server.requests()[1];
    EXPECT_EQ(upload.path, "/v1/audio/transcriptions");
    EXPECT_FALSE(upload.headers.contains("authorization"));
    EXPECT_EQ(formFields(upload).value(u"model"_qs).body, "whisper-1");
    const FakeModelServer::Request &question = server.requests()[2];
    EXPECT_EQ(question.path, "/v1/chat/completions");
    EXPECT_FALSE(question.headers.contains("authorization"));
    const SentRequest sent = ModelProtocol::openAI.read(QJsonDocument::fromJson(question.body).object());
    ASSERT_EQ(sent.turns.size(), 1);
    EXPECT_EQ(sent.turns[0].text, u"What is marked here?");
    EXPECT_TRUE(waitForLog(u"[Session] Streaming task completed responseLength=15"_qs));
}

// A logout or `kill` while the panel reads its keys, or while a question is spoken, transcribed or answered,
// quits in order: nothing the keychain, sound server or network threads still call into goes before them.
TEST_F(AskLoopE2ETest, QuittingWhileAQuestionIsUnderWayExitsCleanly)
{
    const ModelProtocol &protocol = ModelProtocol::anthropic;
    const StoredKey storedKey(*protocol.keyAccount, "sk-e2e-quit");
    const StoredKey replicateKey(SettingsManager::replicateKeyAccount, "r8_e2e");
    ASSERT_TRUE(storedKey.isStored() && replicateKey.isStored());
    const std::optional<Speech> speech = prepareSpokenQuestion(protocol);
    ASSERT_TRUE(speech);
    extraEnvironment.insert(QString::fromLatin1(protocol.baseUrlVariable), server.baseUrl());
    extraEnvironment.insert(u"GLINT_REPLICATE_BASE_URL"_qs, server.baseUrl());

    using Response = FakeModelServer::Response;
    const QByteArray poll = server.baseUrl().toUtf8() + "/v1/predictions/e2e";
    const Response created = Response::json(201, R"({"id":"e2e","status":"starting","urls":{"get":")" + poll +
                                                     R"(","cancel":")" + poll + R"(/cancel"}})");
    const Response succeeded = Response::json(200, R"({"id":"e2e","status":"succeeded","output":"Why?"})");
    Response stalledAnswer = Response::events(protocol.answer({"A checker"}));
    stalledAnswer.ending = Response::Ending::Hang;
    enum class Voice { None, Held, Released };
    const struct {
        const char *moment;
        Voice voice;
        QList<Response> script; // every request of it has come in before the signal
        QString quitAfter;
    } moments[] = {
        {"reading keys", Voice::None, {}, {}},
        {"recording", Voice::Held, {}, {}},
        {"transcribing", Voice::Released, {Response::without(Response::Opening::Silence)}, {}},
        {"answering", Voice::Released, {created, succeeded, stalledAnswer}, {}},
        {"answered",
         Voice::Released,
         {created, succeeded, Response::events(protocol.answer({"A checker", "board."}))},
         u"[Session] Streaming task completed"_qs},
    };
    for (const auto &[moment, voice, script, quitAfter] : moments) {
        SCOPED_TRACE(moment);
        QFile::remove(logPath());
        for (const Response &response : script)
            server.enqueue(response);
        const qsizetype requests = server.requests().size() + script.size();
        ASSERT_TRUE(strokeUnderTheOverlay(rightMonitorStroke()));
        if (voice != Voice::None) {
            ASSERT_TRUE(settledPanel());
            QElapsedTimer held;
            held.start();
            XTestDriver::keyDown(u"Return"_qs);
            ASSERT_FALSE(waitForLogStartingWith(u"[Replicate] Recording started file="_qs).isEmpty());
            EXPECT_TRUE(playIntoMicrophone(speech->path));
            QTest::qWait(int(qMax<qint64>(0, 1700 - held.elapsed()))); // past the shortest recording kept
        }
        if (voice == Voice::Released)
            XTestDriver::keyUp(u"Return"_qs);
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == requests; }, 15000));
        EXPECT_TRUE(quitAfter.isEmpty() || !waitForLogStartingWith(quitAfter, 15000).isEmpty());
        ::kill(pid_t(first.processId()), SIGTERM);
        const bool finished = first.waitForFinished(10000);
        if (voice == Voice::Held)
            XTestDriver::keyUp(u"Return"_qs);
        ASSERT_TRUE(finished);
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(first.exitCode(), 0);
    }
}

// One Escape ends the session after a click anywhere in the panel, whatever was typed after it.
TEST_F(AskLoopE2ETest, OneEscapeEndsTheSessionAfterAClickInThePanel)
{
    ASSERT_TRUE(desk.isOpen());
    desk.paintPattern({leftMonitor, rightMonitor});
    const struct {
        const char *where;
        QPoint fromBottomCentre;
    } clicks[] = {
        {"the question's text", {-100, -98}},
        {"the bar under the question", {0, -68}},
        {"the footer", {0, -12}},
    };
    start(first);
    ASSERT_TRUE(waitForLog(u"[App] Application did finish launching"_qs));
    const QString ended = u"[Session] Session cancelled and state reset"_qs;
    for (const auto &click : clicks) {
        SCOPED_TRACE(click.where);
        ASSERT_TRUE(strokeInANewSession(rightMonitorStroke()));
        const std::optional<QRect> panel = settledPanel();
        ASSERT_TRUE(panel);
        XTestDriver::moveTo(QPoint(panel->center().x(), panel->bottom()) + click.fromBottomCentre);
        XTestDriver::run({u"click"_qs, u"1"_qs});
        XTestDriver::run({u"type"_qs, u"--delay"_qs, u"10"_qs, u"abc"_qs});
        const qsizetype endings = logLines().count(ended);
        desk.pressEscape();
        EXPECT_TRUE(QTest::qWaitFor([&] { return logLines().count(ended) > endings; }, 3000));
        if (logLines().count(ended) == endings)
            desk.pressEscape(); // for the next one
        EXPECT_TRUE(QTest::qWaitFor([&] { return visibleWindows().isEmpty(); }, 5000));
    }
}

// What a screen reader learns of the panel over AT-SPI: a name for every control that takes the keyboard,
// the icon-only ones too, and the answer's text.
TEST_F(AskLoopE2ETest, AScreenReaderFindsNamedControlsAndTheAnswer)
{
    const ModelProtocol &protocol = ModelProtocol::anthropic;
    const StoredKey storedKey(*protocol.keyAccount, "sk-e2e-reader");
    ASSERT_TRUE(storedKey.isStored());
    writeSettings(protocol);
    ASSERT_TRUE(desk.isOpen());
    desk.paintPattern({leftMonitor, rightMonitor});
    const QStringList answer{"A checker", "board in **cyan**."};
    server.enqueue(FakeModelServer::Response::events(protocol.answer(answer)));
    extraEnvironment.insert(QString::fromLatin1(protocol.baseUrlVariable), server.baseUrl());
    extraEnvironment.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_qs, u"1"_qs);
    ASSERT_TRUE(strokeUnderTheOverlay(rightMonitorStroke()));
    ASSERT_TRUE(settledPanel());
    typeQuestion(u"What is this?"_qs);
    ASSERT_TRUE(waitForLog(u"[Session] Streaming task completed responseLength=" +
                           QString::number(answer.join(QString()).size())));

    // The panel's window is the one named "Glint".
    QList<QJsonObject> panel;
    const auto readTree = [&] {
        QProcess reader;
        reader.start(u"/usr/bin/python3"_qs,
                     {QStringLiteral(GLINT_ACCESSIBLE_TREE), QString::number(first.processId())});
        reader.waitForFinished(20000);
        panel.clear();
        for (const QJsonValue node : QJsonDocument::fromJson(reader.readAllStandardOutput()).array())
            if (node[u"window"].toString() == u"Glint")
                panel << node.toObject();
        return std::any_of(panel.begin(), panel.end(),
                           [](const QJsonObject &n) { return n[u"name"].toString() == u"Answer"; });
    };
    ASSERT_TRUE(QTest::qWaitFor(readTree, 20000));
    QStringList named;
    for (const QJsonObject &node : std::as_const(panel)) {
        if (!node[u"focusable"].toBool())
            continue;
        EXPECT_FALSE(node[u"name"].toString().isEmpty()) << QJsonDocument(node).toJson().toStdString();
        named << node[u"name"].toString();
    }
    for (const QString &control :
         {u"Question"_qs, u"Send"_qs, u"Copy Answer"_qs, u"Screenshot"_qs, u"Cancel"_qs, u"Save Conversation…"_qs})
        EXPECT_TRUE(named.contains(control)) << control.toStdString() << " among " << named.join(u", ").toStdString();
    EXPECT_FALSE(named.filter(QRegularExpression(u"^Model: ."_qs)).isEmpty()) << named.join(u", ").toStdString();
    const auto answerNode = std::find_if(panel.begin(), panel.end(),
                                         [](const QJsonObject &n) { return n[u"name"].toString() == u"Answer"; });
    EXPECT_EQ((*answerNode)[u"text"].toString(), u"A checkerboard in cyan.");
}

INSTANTIATE_TEST_SUITE_P(Protocols, AskLoopE2ETest, ::testing::Values(ModelProtocol::anthropic, ModelProtocol::openAI),
                         [](const ::testing::TestParamInfo<ModelProtocol> &info) {
                             return std::string(info.param.name);
                         });

} // namespace

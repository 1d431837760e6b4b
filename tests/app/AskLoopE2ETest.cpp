#include "GlintE2EFixture.h"
#include "capture/X11Desk.h"
#include "input/XTestDriver.h"
#include "settings/SettingsManager.h"
#include "support/FakeModelServer.h"
#include "support/StoredKey.h"
#include "voice/AudioTestSupport.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>

#include <webp/decode.h>

#include <algorithm>
#include <ostream>

// The whole loop of the real application on the two-monitor test display: the hotkey, a stroke on the
// right monitor, a typed (or spoken) question sent with the capture to a local stand-in for the model
// service, the streamed answer in the panel, a follow-up, and Escape.

namespace {

using Piece = FakeModelServer::Piece;

constexpr int fragmentDelayMs = 40;
const QRect leftMonitor(0, 0, 1920, 1080);
const QRect rightMonitor(1920, 0, 1920, 1080);
const QSize captureSize(1568, 882); // the right monitor with its longest side reduced to 1568

// One turn of a request, whatever the protocol calls its parts.
struct SentTurn {
    QString role;
    QString text;
    QImage image; // null when the turn carries none
};

struct SentRequest {
    QString model;
    int maxTokens = 0;
    bool stream = false;
    QString system;
    QList<SentTurn> turns;
};

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonArray array(const QJsonValue &value)
{
    return value.toArray();
}

// --- Anthropic Messages ------------------------------------------------------------------------------

QByteArray anthropicEvent(const QByteArray &name, const QByteArray &data)
{
    return "event: " + name + "\ndata: " + data + "\n\n";
}

QList<Piece> anthropicAnswer(const QStringList &fragments)
{
    QList<Piece> pieces{
        {anthropicEvent("message_start",
                        R"({"type":"message_start","message":{"id":"msg_e2e","type":"message","role":"assistant",)"
                        R"("content":[],"model":"claude-haiku-4-5-20251001","stop_reason":null,"stop_sequence":null,)"
                        R"("usage":{"input_tokens":1200,"output_tokens":1}}})") +
         anthropicEvent("content_block_start",
                        R"({"type":"content_block_start","index":0,"content_block":{"type":"text","text":""}})") +
         anthropicEvent("ping", R"({"type": "ping"})")}};
    for (const QString &fragment : fragments) {
        const QJsonObject delta{{"type", "text_delta"}, {"text", fragment}};
        pieces.append({anthropicEvent("content_block_delta",
                                      compact({{"type", "content_block_delta"}, {"index", 0}, {"delta", delta}})),
                       fragmentDelayMs});
    }
    pieces.append({anthropicEvent("content_block_stop", R"({"type":"content_block_stop","index":0})") +
                       anthropicEvent("message_delta", R"({"type":"message_delta","delta":{"stop_reason":"end_turn",)"
                                                       R"("stop_sequence":null},"usage":{"output_tokens":12}})") +
                       anthropicEvent("message_stop", R"({"type":"message_stop"})"),
                   fragmentDelayMs});
    return pieces;
}

QImage decodeWebP(const QByteArray &bytes)
{
    int width = 0;
    int height = 0;
    uint8_t *pixels =
        WebPDecodeRGBA(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()), &width, &height);
    if (!pixels)
        return {};
    const QImage image = QImage(pixels, width, height, QImage::Format_RGBA8888).copy();
    WebPFree(pixels);
    return image;
}

SentRequest readAnthropic(const QJsonObject &body)
{
    SentRequest request{
        body["model"].toString(), body["max_tokens"].toInt(), body["stream"].toBool(), body["system"].toString(), {}};
    for (const QJsonValue &message : array(body["messages"])) {
        SentTurn turn{message["role"].toString(), {}, {}};
        const QJsonArray blocks = array(message["content"]);
        QStringList types;
        for (const QJsonValue &block : blocks)
            types << block["type"].toString();
        // An image, when there is one, comes first; the text block always ends the turn.
        if (types == QStringList{"image", "text"}) {
            const QJsonValue source = blocks[0]["source"];
            EXPECT_EQ(source["type"].toString(), u"base64");
            EXPECT_EQ(source["media_type"].toString(), u"image/webp");
            turn.image = decodeWebP(QByteArray::fromBase64(source["data"].toString().toLatin1()));
        } else {
            EXPECT_EQ(types, QStringList{"text"});
        }
        turn.text = blocks.last()["text"].toString();
        request.turns << turn;
    }
    return request;
}

QMap<QByteArray, QByteArray> anthropicHeaders(const QByteArray &key)
{
    return {{"x-api-key", key}, {"anthropic-version", "2023-06-01"}, {"content-type", "application/json"}};
}

// --- OpenAI Chat Completions ---------------------------------------------------------------------------

QByteArray openAIChunk(const QJsonObject &delta, const QJsonValue &finishReason = QJsonValue::Null)
{
    const QJsonObject choice{
        {"index", 0}, {"delta", delta}, {"logprobs", QJsonValue::Null}, {"finish_reason", finishReason}};
    return "data: " +
           compact({{"id", "chatcmpl-e2e"},
                    {"object", "chat.completion.chunk"},
                    {"created", 1727346168},
                    {"model", "gpt-5.4-nano"},
                    {"system_fingerprint", "fp_e2e"},
                    {"choices", QJsonArray{choice}}}) +
           "\n\n";
}

QList<Piece> openAIAnswer(const QStringList &fragments)
{
    QList<Piece> pieces{{openAIChunk({{"role", "assistant"}, {"content", ""}, {"refusal", QJsonValue::Null}})}};
    for (const QString &fragment : fragments)
        pieces.append({openAIChunk({{"content", fragment}}), fragmentDelayMs});
    pieces.append({openAIChunk({}, u"stop"_qs) +
                       R"(data: {"id":"chatcmpl-e2e","object":"chat.completion.chunk","created":1727346168,)"
                       R"("model":"gpt-5.4-nano","choices":[],"usage":{"prompt_tokens":1200,"completion_tokens":12,)"
                       R"("total_tokens":1212}})"
                       "\n\ndata: [DONE]\n\n",
                   fragmentDelayMs});
    return pieces;
}

SentRequest readOpenAI(const QJsonObject &body)
{
    SentRequest request{
        body["model"].toString(), body["max_completion_tokens"].toInt(), body["stream"].toBool(), {}, {}};
    QJsonArray messages = array(body["messages"]);
    if (!messages.isEmpty() && messages.first()["role"].toString() == u"system")
        request.system = messages.takeAt(0)["content"].toString();
    for (const QJsonValue &message : messages) {
        SentTurn turn{message["role"].toString(), message["content"].toString(), {}};
        if (message["content"].isArray()) {
            const QJsonArray parts = array(message["content"]);
            EXPECT_EQ(parts.size(), 2);
            EXPECT_EQ(parts[0]["type"].toString(), u"image_url");
            const QString url = parts[0]["image_url"]["url"].toString();
            const QString prefix = u"data:image/png;base64,"_qs;
            EXPECT_TRUE(url.startsWith(prefix)) << url.left(40).toStdString();
            turn.image = QImage::fromData(QByteArray::fromBase64(url.mid(prefix.size()).toLatin1()), "PNG");
            EXPECT_EQ(parts[1]["type"].toString(), u"text");
            turn.text = parts[1]["text"].toString();
        }
        request.turns << turn;
    }
    return request;
}

QMap<QByteArray, QByteArray> openAIHeaders(const QByteArray &key)
{
    return {{"authorization", "Bearer " + key}, {"content-type", "application/json"}};
}

// --- the two protocols -----------------------------------------------------------------------------------

struct Protocol {
    const char *name;
    const char *provider; // the stored provider choice
    const char *model;
    void (SettingsManager::*setModel)(const QString &);
    const QString *keyAccount;
    const char *baseUrlVariable;
    const char *path;
    QMap<QByteArray, QByteArray> (*headers)(const QByteArray &key);
    QList<Piece> (*answer)(const QStringList &fragments);
    SentRequest (*read)(const QJsonObject &body);

    friend void PrintTo(const Protocol &protocol, std::ostream *out) { *out << protocol.name; }
};

const Protocol anthropic{"anthropic",
                         "anthropic",
                         "claude-haiku-4-5-20251001",
                         &SettingsManager::setAnthropicModel,
                         &SettingsManager::anthropicKeyAccount,
                         "GLINT_ANTHROPIC_BASE_URL",
                         "/v1/messages",
                         &anthropicHeaders,
                         &anthropicAnswer,
                         &readAnthropic};

const Protocol openAI{"openai",
                      "openai",
                      "gpt-5.4-nano",
                      &SettingsManager::setOpenAIModel,
                      &SettingsManager::openAIKeyAccount,
                      "GLINT_OPENAI_BASE_URL",
                      "/v1/chat/completions",
                      &openAIHeaders,
                      &openAIAnswer,
                      &readOpenAI};

// --- pictures --------------------------------------------------------------------------------------------

bool near(QColor seen, QColor expected, int tolerance)
{
    return std::abs(seen.red() - expected.red()) <= tolerance &&
           std::abs(seen.green() - expected.green()) <= tolerance &&
           std::abs(seen.blue() - expected.blue()) <= tolerance;
}

bool isStrokeRed(QColor colour)
{
    // Well above what the two patterns' colours and their blends reach (at most -40), while a lossy
    // encoding may mix the thin stroke with its background.
    return colour.red() - std::max(colour.green(), colour.blue()) >= 60;
}

// The stroke, in device pixels: along the top of a region and down its right side, on the right monitor.
QList<QPoint> rightMonitorStroke()
{
    QList<QPoint> points;
    for (int x = 2200; x <= 3000; x += 25)
        points << QPoint(x, 300);
    for (int y = 325; y <= 600; y += 25)
        points << QPoint(3000, y);
    return points;
}

// A capture of the right monitor: its checkerboard outside the stroke's rows, red along the stroke.
void expectRightMonitorCapture(const QImage &image, const QList<QPoint> &stroke)
{
    ASSERT_EQ(image.size(), captureSize);
    const qreal scale = qreal(captureSize.width()) / rightMonitor.width();
    int wrong = 0;
    for (int y = X11Desk::cell / 2; y < rightMonitor.height(); y += X11Desk::cell) {
        if (y > 250 && y < 650)
            continue; // the stroke's rows
        for (int x = X11Desk::cell / 2; x < rightMonitor.width(); x += X11Desk::cell)
            wrong += !near(image.pixelColor((QPointF(x, y) * scale).toPoint()), X11Desk::patternAt({x, y}, 1), 30);
    }
    EXPECT_EQ(wrong, 0) << "cells that do not show the right monitor's pattern";

    QStringList missed;
    for (const QPoint &point : stroke) {
        const QPoint centre = (QPointF(point - rightMonitor.topLeft()) * scale).toPoint();
        bool red = false;
        for (int dy = -2; dy <= 2 && !red; ++dy)
            for (int dx = -2; dx <= 2 && !red; ++dx)
                red = isStrokeRed(image.pixelColor(centre + QPoint(dx, dy)));
        if (!red)
            missed << u"(%1, %2) %3"_qs.arg(centre.x()).arg(centre.y()).arg(image.pixelColor(centre).name());
    }
    EXPECT_TRUE(missed.isEmpty()) << "stroke points without red: " << missed.join(u", ").toStdString();
}

// How many pixels show either monitor's pattern, and how many the stroke's red.
struct ScreenColours {
    int rightPattern = 0;
    int leftPattern = 0;
    int red = 0;
};

ScreenColours coloursIn(const QImage &picture)
{
    const auto showsPattern = [](QColor colour, int monitor) {
        return near(colour, X11Desk::patternAt({0, 0}, monitor), 30) ||
               near(colour, X11Desk::patternAt({0, X11Desk::cell}, monitor), 30);
    };
    ScreenColours colours;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor colour = picture.pixelColor(x, y);
            colours.rightPattern += showsPattern(colour, 1);
            colours.leftPattern += showsPattern(colour, 0);
            colours.red += isStrokeRed(colour);
        }
    }
    return colours;
}

std::string describe(const QList<QRect> &windows)
{
    std::string text;
    for (const QRect &window : windows)
        text += std::to_string(window.x()) + ',' + std::to_string(window.y()) + ' ' + std::to_string(window.width()) +
                'x' + std::to_string(window.height()) + "; ";
    return text;
}

QImage grabScreenArea(const QRect &area)
{
    QScreen *screen = QGuiApplication::screenAt(area.center());
    if (!screen)
        return {};
    const QRect local = area.translated(-screen->geometry().topLeft());
    return screen->grabWindow(0, local.x(), local.y(), local.width(), local.height()).toImage();
}

// The first line of answer text, found as the topmost white glyph pixel in the panel's left third
// (questions and thumbnails sit on the right).
std::optional<QPoint> firstAnswerGlyph(const QImage &panel)
{
    for (int y = 0; y < panel.height(); ++y)
        for (int x = 0; x < panel.width() / 3; ++x)
            if (near(panel.pixelColor(x, y), Qt::white, 40))
                return QPoint(x, y);
    return std::nullopt;
}

// Text runs of copied rich text, each with whether it is bold and whether its font is monospaced.
struct CopiedRun {
    QString text;
    bool bold = false;
    bool monospaced = false;
    bool operator==(const CopiedRun &) const = default;
};

void PrintTo(const CopiedRun &run, std::ostream *out)
{
    *out << '"' << run.text.toStdString() << '"' << (run.bold ? " bold" : "") << (run.monospaced ? " mono" : "");
}

std::vector<CopiedRun> copiedRuns(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    std::vector<CopiedRun> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QFont font = it.fragment().charFormat().font();
            const CopiedRun run{it.fragment().text(), font.weight() >= QFont::DemiBold, QFontInfo(font).fixedPitch()};
            if (!runs.empty() && runs.back().bold == run.bold && runs.back().monospaced == run.monospaced)
                runs.back().text += run.text;
            else
                runs.push_back(run);
        }
    }
    return runs;
}

class AskLoopE2ETest : public GlintE2EFixture, public ::testing::WithParamInterface<Protocol> {
protected:
    FakeModelServer server;
    X11Desk desk;

    // Chooses the protocol's provider and model and adds guidance, as the settings window would; the
    // system prompt the application should send.
    QString writeSettings(const Protocol &protocol)
    {
        SettingsManager settings(QDir(configHome()).filePath(u"glint/glint.conf"_qs));
        settings.setSelectedProvider(QString::fromLatin1(protocol.provider));
        (settings.*protocol.setModel)(QString::fromLatin1(protocol.model));
        settings.setSystemPrompt(u"  Answer in one sentence.\n"_qs);
        settings.setHasCompletedOnboarding(true);
        return settings.effectiveSystemPrompt();
    }

    // The hotkey's grab is taken shortly after launch, so it is pressed until a session begins.
    bool pressHotkeyUntilASessionBegins()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            XTestDriver::key(u"ctrl+alt+space"_qs);
            if (waitForLog(u"[Session] Begin annotation session showToolbar=true"_qs, 2000))
                return true;
        }
        return false;
    }

    // Starts the application, begins a session with the hotkey and draws `stroke` under the frozen overlay,
    // whose first stroke decides the screen.
    bool strokeUnderTheOverlay(const QList<QPoint> &stroke)
    {
        start(first);
        if (!waitForLog(u"[App] Application did finish launching"_qs) || !pressHotkeyUntilASessionBegins())
            return false;
        const bool overlaid = QTest::qWaitFor(
            [&] {
                const QList<QRect> windows = visibleWindows();
                return std::any_of(windows.begin(), windows.end(), [](QRect w) { return w.contains(rightMonitor); });
            },
            5000);
        EXPECT_TRUE(overlaid) << describe(visibleWindows());
        if (overlaid)
            desk.drag(stroke);
        return overlaid;
    }

    std::optional<QRect> panelWindow() const
    {
        for (const QRect &window : visibleWindows())
            if (window.width() == 620)
                return window;
        return std::nullopt;
    }

    // The panel, once it has stopped moving and growing.
    std::optional<QRect> settledPanel()
    {
        std::optional<QRect> panel;
        const bool settled = QTest::qWaitFor([&] {
            panel = panelWindow();
            QTest::qWait(100);
            return panel && panel == panelWindow();
        });
        return settled ? panel : std::nullopt;
    }

    QStringList snapshots() const
    {
        return QDir(artifactsPath()).entryList({u"panel-*.png"_qs}, QDir::Files, QDir::Name);
    }

    void typeQuestion(const QString &question)
    {
        XTestDriver::run({u"type"_qs, u"--delay"_qs, u"10"_qs, question});
        XTestDriver::key(u"Return"_qs);
    }

    std::optional<SentRequest> waitForRequest(qsizetype count, const Protocol &protocol, const QByteArray &key)
    {
        if (!QTest::qWaitFor([&] { return server.requests().size() >= count; }, 15000))
            return std::nullopt;
        EXPECT_EQ(server.requests().size(), count);
        const FakeModelServer::Request &request = server.requests().at(count - 1);
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, protocol.path);
        const QMap<QByteArray, QByteArray> headers = protocol.headers(key);
        for (auto it = headers.begin(); it != headers.end(); ++it)
            EXPECT_EQ(request.headers.value(it.key()), it.value()) << it.key().constData();
        QJsonParseError error;
        const QJsonDocument body = QJsonDocument::fromJson(request.body, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
        return protocol.read(body.object());
    }

    // Selects the first answer in the panel and copies it, as a user would; the copied rich text.
    QString copyFirstAnswer()
    {
        const std::optional<QRect> panel = settledPanel();
        if (!panel)
            return {};
        const std::optional<QPoint> glyph = firstAnswerGlyph(grabScreenArea(*panel));
        if (!glyph)
            return {};
        QGuiApplication::clipboard()->clear();
        XTestDriver::moveTo(panel->topLeft() + *glyph + QPoint(1, 3));
        XTestDriver::run({u"click"_qs, u"1"_qs});
        XTestDriver::key(u"ctrl+a"_qs);
        XTestDriver::key(u"ctrl+c"_qs);
        QString html;
        const bool copied = QTest::qWaitFor([&] {
            const QMimeData *data = QGuiApplication::clipboard()->mimeData();
            html = data && data->hasHtml() ? data->html() : QString();
            return !html.isEmpty();
        });
        return copied ? html : QString();
    }

    void TearDown() override
    {
        XTestDriver::keyUp(u"ctrl+alt+shift"_qs);
        GlintE2EFixture::TearDown();
    }
};

TEST_P(AskLoopE2ETest, AnnotateAskFollowUpAndEscape)
{
    const Protocol &protocol = GetParam();
    const QByteArray key = "sk-e2e-" + QByteArray::number(QCoreApplication::applicationPid());
    const StoredKey storedKey(*protocol.keyAccount, key);
    ASSERT_TRUE(storedKey.isStored());
    const QString systemPrompt = writeSettings(protocol);
    ASSERT_TRUE(desk.isOpen());
    desk.paintPattern({leftMonitor, rightMonitor});

    const QStringList firstAnswer{"The stroke marks **a checker", "board** in ", "`cyan`", " and purple."};
    const QStringList secondAnswer{"Cyan ", "and **purple**."};
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

    // The first answer reads as rendered Markdown: markers gone, bold and code in their own fonts.
    const std::vector<CopiedRun> expectedRuns{
        {"The stroke marks ", false, false},
        {"a checkerboard", true, false},
        {" in ", false, false},
        {"cyan", false, true},
        {" and purple.", false, false},
    };
    EXPECT_EQ(copiedRuns(copyFirstAnswer()), expectedRuns);

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
    server.enqueue(FakeModelServer::Response::events(openAIAnswer(answer)));

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
    const SentRequest sent = readOpenAI(QJsonDocument::fromJson(request.body).object());
    EXPECT_EQ(sent.model, u"qwen2.5vl:7b");
    ASSERT_EQ(sent.turns.size(), 1);
    EXPECT_EQ(sent.turns[0].text, u"What is this?");
    EXPECT_EQ(sent.turns[0].image.size(), captureSize);
    EXPECT_TRUE(waitForLog(u"[Session] Streaming task completed responseLength=" +
                           QString::number(answer.join(QString()).size())));
    EXPECT_FALSE(
        waitForLogStartingWith(u"[Session] Submitting query provider=compatible model=qwen2.5vl:7b"_qs).isEmpty());
}

// Spoken instead of typed: Return held with Anthropic, the microphone button held with OpenAI, while speech
// plays into the session's virtual microphone. The local stand-in answers Replicate's create and polls,
// then the model.
TEST_P(AskLoopE2ETest, SpokenQuestionIsTranscribedAndAsked)
{
    const Protocol &protocol = GetParam();
    const bool byButton = protocol.name == std::string("openai");
    const QByteArray key = "sk-e2e-voice";
    const StoredKey storedKey(*protocol.keyAccount, key);
    const StoredKey replicateKey(SettingsManager::replicateKeyAccount, "r8_e2e");
    ASSERT_TRUE(storedKey.isStored() && replicateKey.isStored());
    writeSettings(protocol);
    ASSERT_TRUE(desk.isOpen());
    desk.paintPattern({leftMonitor, rightMonitor});
    const std::optional<Speech> speech = makeSpeech(dir.path(), u"What is marked here?"_qs);
    ASSERT_TRUE(speech);

    const QByteArray poll = server.baseUrl().toUtf8() + "/v1/predictions/e2e";
    server.enqueue(FakeModelServer::Response::json(201, R"({"id":"e2e","status":"starting","urls":{"get":")" + poll +
                                                            R"(","cancel":")" + poll + R"(/cancel"}})"));
    server.enqueue(FakeModelServer::Response::json(200, R"({"id":"e2e","status":"processing","output":null})"));
    server.enqueue(FakeModelServer::Response::json(
        200, R"({"id":"e2e","status":"succeeded","output":{"text":" What is marked here?","chunks":[]}})"));
    server.enqueue(FakeModelServer::Response::events(protocol.answer({"A checker", "board."})));
    extraEnvironment.insert(QString::fromLatin1(protocol.baseUrlVariable), server.baseUrl());
    extraEnvironment.insert(u"GLINT_REPLICATE_BASE_URL"_qs, server.baseUrl());
    // The application gets a runtime directory of its own; the sound server stays the session's.
    extraEnvironment.insert(u"PULSE_SERVER"_qs, u"unix:" + qEnvironmentVariable("XDG_RUNTIME_DIR") + u"/pulse/native");

    ASSERT_TRUE(strokeUnderTheOverlay(rightMonitorStroke()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return snapshots().contains(u"panel-01-shown.png"); }));
    const std::optional<QRect> panel = settledPanel();
    ASSERT_TRUE(panel);

    // Held for the whole speech, and longer than the 1.5 s a recording needs.
    QElapsedTimer held;
    held.start();
    if (byButton) {
        // The microphone sits left of the send button, in the input's bottom bar above the footer.
        XTestDriver::moveTo(QPoint(panel->right() - 71, panel->bottom() - 67));
        XTestDriver::press(1);
    } else {
        XTestDriver::keyDown(u"Return"_qs);
    }
    ASSERT_FALSE(waitForLogStartingWith(u"[Replicate] Recording started file="_qs).isEmpty());
    EXPECT_TRUE(playIntoMicrophone(speech->path));
    QTest::qWait(int(qMax<qint64>(0, 1700 - held.elapsed())));
    if (byButton)
        XTestDriver::release(1);
    else
        XTestDriver::keyUp(u"Return"_qs);
    const QString trigger = byButton ? u"Button"_qs : u"Keyboard"_qs;
    EXPECT_TRUE(waitForLog(u"[QueryPanel] " + trigger + u" transcription submitted chars=20", 15000));

    const std::optional<SentRequest> asked = waitForRequest(4, protocol, key);
    ASSERT_TRUE(asked);
    ASSERT_EQ(asked->turns.size(), 1);
    EXPECT_EQ(asked->turns[0].text, u"What is marked here?");
    EXPECT_FALSE(asked->turns[0].image.isNull());

    const FakeModelServer::Request &create = server.requests()[0];
    EXPECT_EQ(create.path, "/v1/predictions");
    EXPECT_EQ(create.headers.value("authorization"), "Bearer r8_e2e");
    EXPECT_TRUE(carriesSpokenAudio(create.body, speech->seconds, 30));
    EXPECT_EQ(server.requests()[1].path, "/v1/predictions/e2e");

    // The spoken question is the user's bubble, and no recording is left behind.
    ASSERT_TRUE(waitForLog(u"[Session] Streaming task completed responseLength=15"_qs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return snapshots().size() >= 3; }));
    EXPECT_TRUE(QDir(dir.filePath(u"glint"_qs)).entryList(QDir::Files).isEmpty());
    desk.pressEscape();
    EXPECT_TRUE(waitForLog(u"[Session] Session cancelled and state reset"_qs));
}

INSTANTIATE_TEST_SUITE_P(Protocols, AskLoopE2ETest, ::testing::Values(anthropic, openAI),
                         [](const ::testing::TestParamInfo<Protocol> &info) { return std::string(info.param.name); });

} // namespace

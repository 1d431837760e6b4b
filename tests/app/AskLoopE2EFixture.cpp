#include "AskLoopE2EFixture.h"

#include "input/XTestDriver.h"
#include "settings/SettingsManager.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QMimeData>

#include <algorithm>

using namespace DeskPictures;

QString AskLoopE2EFixture::writeSettings(const ModelProtocol &protocol)
{
    SettingsManager settings(QDir(configHome()).filePath(u"glint/glint.conf"_qs));
    settings.setSelectedProvider(QString::fromLatin1(protocol.provider));
    (settings.*protocol.setModel)(QString::fromLatin1(protocol.model));
    settings.setSystemPrompt(u"  Answer in one sentence.\n"_qs);
    settings.setHasCompletedOnboarding(true);
    return settings.effectiveSystemPrompt();
}

bool AskLoopE2EFixture::pressHotkeyUntilASessionBegins()
{
    const QString begun = u"[Session] Begin annotation session showToolbar=true"_qs;
    const qsizetype before = logLines().count(begun);
    for (int attempt = 0; attempt < 5; ++attempt) {
        XTestDriver::key(u"ctrl+alt+space"_qs);
        if (QTest::qWaitFor([&] { return logLines().count(begun) > before; }, 2000))
            return true;
    }
    return false;
}

bool AskLoopE2EFixture::strokeUnderTheOverlay(const QList<QPoint> &stroke)
{
    start(first);
    return waitForLog(u"[App] Application did finish launching"_qs) && strokeInANewSession(stroke);
}

bool AskLoopE2EFixture::strokeInANewSession(const QList<QPoint> &stroke)
{
    if (!pressHotkeyUntilASessionBegins())
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

std::optional<QRect> AskLoopE2EFixture::panelWindow() const
{
    for (const QRect &window : visibleWindows())
        if (window.width() == 620)
            return window;
    return std::nullopt;
}

std::optional<QRect> AskLoopE2EFixture::settledPanel()
{
    std::optional<QRect> panel;
    const bool settled = QTest::qWaitFor([&] {
        panel = panelWindow();
        QTest::qWait(100);
        return panel && panel == panelWindow();
    });
    return settled ? panel : std::nullopt;
}

QStringList AskLoopE2EFixture::snapshots() const
{
    return QDir(artifactsPath()).entryList({u"panel-*.png"_qs}, QDir::Files, QDir::Name);
}

void AskLoopE2EFixture::typeQuestion(const QString &question)
{
    XTestDriver::run({u"type"_qs, u"--delay"_qs, u"10"_qs, question});
    XTestDriver::key(u"Return"_qs);
}

std::optional<SentRequest> AskLoopE2EFixture::waitForRequest(qsizetype count, const ModelProtocol &protocol,
                                                             const QByteArray &key)
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

QString AskLoopE2EFixture::copyFirstAnswer()
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

void AskLoopE2EFixture::TearDown()
{
    XTestDriver::keyUp(u"ctrl+alt+shift"_qs);
    GlintE2EFixture::TearDown();
}

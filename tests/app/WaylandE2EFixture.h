#pragma once

#include "GlintE2EFixture.h"
#include "support/FakeModelServer.h"
#include "support/StoredKey.h"

#include "settings/SettingsManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

inline const QRect secondOutput(1920, 0, 1920, 1080);

inline bool isStrokeRed(QColor colour)
{
    return colour.red() - std::max(colour.green(), colour.blue()) >= 60;
}

inline int redPixels(const QImage &image, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += isStrokeRed(image.pixelColor(x, y));
    return count;
}

// Glint as a native client of one of the headless two-output Wayland sessions that scripts/test starts,
// asking the loopback model server about what the user circled.
class WaylandE2EFixture : public GlintE2EFixture {
protected:
    FakeModelServer server;
    std::optional<StoredKey> storedKey;

    // Glint and the tools of this process talk to the session at `display` (the socket's full path).
    void enterSession(const QByteArray &display)
    {
        qputenv("WAYLAND_DISPLAY", display);
        extraEnvironment.insert(QStringLiteral("WAYLAND_DISPLAY"), QString::fromLocal8Bit(display));
        // Chosen over the QT_QPA_PLATFORM=xcb the fixture sets for the X11 tests.
        extraEnvironment.insert(QStringLiteral("GLINT_PLATFORM"), QStringLiteral("wayland"));
        // Qt's Wayland plugin leaves its protocol objects to the end of the process and is unloaded by
        // then, so the leak checker can neither attribute nor suppress them.
        extraEnvironment.insert(QStringLiteral("ASAN_OPTIONS"),
                                qEnvironmentVariable("ASAN_OPTIONS") + u":detect_leaks=0");
    }

    // A returning OpenAI user whose question the server answers with "A red line.".
    void prepareAnswer()
    {
        storedKey.emplace(SettingsManager::openAIKeyAccount, "sk-e2e-wayland");
        ASSERT_TRUE(storedKey->isStored());
        SettingsManager settings(QDir(configHome()).filePath(QStringLiteral("glint/glint.conf")));
        settings.setSelectedProvider(QStringLiteral("openai"));
        settings.setHasCompletedOnboarding(true);
        server.enqueue(FakeModelServer::Response::events(
            R"(data: {"id":"c","object":"chat.completion.chunk","choices":[{"index":0,"delta":{"content":"A red line."},)"
            R"("finish_reason":null}]})"
            "\n\ndata: [DONE]\n\n"));
        extraEnvironment.insert(QStringLiteral("GLINT_OPENAI_BASE_URL"), server.baseUrl());
    }

    // From (2200, 300) right to (3000, 300), then down to (3000, 600): on the second output only.
    static QList<QPoint> strokeOnTheSecondOutput()
    {
        QList<QPoint> stroke;
        for (int x = 2200; x <= 3000; x += 20)
            stroke << QPoint(x, 300);
        for (int y = 320; y <= 600; y += 20)
            stroke << QPoint(3000, y);
        return stroke;
    }

    // The first question reached the server with the second output alone, reduced to 1568 x 882, the
    // stroke burnt in where it was drawn.
    void expectQuestionAboutTheStroke(const QString &question)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests().isEmpty(); }, 15000));
        const QJsonArray messages =
            QJsonDocument::fromJson(server.requests().first().body).object()[u"messages"].toArray();
        const QJsonArray parts = messages.last()[u"content"].toArray();
        ASSERT_EQ(parts.size(), 2);
        EXPECT_EQ(parts[1][u"text"].toString(), question);
        const QString url = parts[0][u"image_url"][u"url"].toString();
        const QImage sent = QImage::fromData(QByteArray::fromBase64(url.section(u',', 1).toLatin1()), "PNG");
        ASSERT_EQ(sent.size(), QSize(1568, 882));
        const qreal factor = 1568.0 / 1920;
        EXPECT_GT(redPixels(sent, QRect(QPoint(280, 290) * factor, QSize(800, 20) * factor)), 300);
        EXPECT_EQ(redPixels(sent, QRect(0, 0, 200, 882)), 0);
    }
};

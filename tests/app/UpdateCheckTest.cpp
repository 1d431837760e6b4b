#include "app/AppcastFeed.h"
#include "app/UpdateController.h"
#include "support/FakeModelServer.h"
#include "support/PeakResidentMemory.h"

#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {
const QByteArray feed = R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Glint</title>
    <item><title>0.9</title><sparkle:version>90</sparkle:version>
      <sparkle:shortVersionString>0.9.0</sparkle:shortVersionString>
      <link>https://example.invalid/0.9</link></item>
    <item><title>1.2</title>
      <enclosure url="https://example.invalid/glint-1.2.0.tar.gz" sparkle:version="120" sparkle:shortVersionString="1.2.0"/></item>
    <item><title>broken</title><sparkle:version>not a version</sparkle:version></item>
    <item><title>1.10</title><version>1.10</version><link>https://example.invalid/1.10</link></item>
  </channel>
</rss>)";

TEST(AppcastFeedTest, NewestReleaseWinsAndPrefersTheHumanVersion)
{
    QString error;
    const std::optional<AppcastRelease> newest = AppcastFeed::newestRelease(feed, &error);
    ASSERT_TRUE(newest);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(newest->versionText, u"1.10"); // numeric, not textual, comparison
    EXPECT_EQ(newest->link, QUrl(u"https://example.invalid/1.10"_qs));

    const QByteArray enclosureOnly = R"(<rss><channel><item>
        <enclosure url="https://example.invalid/a.tgz" sparkle:version="120" sparkle:shortVersionString="1.2.0"
                   xmlns:sparkle="s"/></item></channel></rss>)";
    const std::optional<AppcastRelease> release = AppcastFeed::newestRelease(enclosureOnly);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->versionText, u"1.2.0");
    EXPECT_EQ(release->link, QUrl(u"https://example.invalid/a.tgz"_qs));
}

TEST(AppcastFeedTest, UnreadableFeedsSayWhy)
{
    QString error;
    EXPECT_FALSE(AppcastFeed::newestRelease("<rss><channel><item>", &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(AppcastFeed::newestRelease("<html><body>Not found</body></html>", &error));
    EXPECT_EQ(error, u"not an RSS feed");
    error.clear();
    EXPECT_FALSE(AppcastFeed::newestRelease("<rss><channel></channel></rss>", &error));
    EXPECT_TRUE(error.isEmpty()); // a valid feed without releases
}

QString checkOnce(UpdateController &controller)
{
    QSignalSpy checked(&controller, &UpdateController::checked);
    controller.checkForUpdates(false);
    if (checked.isEmpty() && !checked.wait(5000))
        return u"<no result>"_qs;
    return checked.first().first().toString();
}

TEST(UpdateControllerTest, TellsEachOutcome)
{
    FakeModelServer server;
    const QUrl url(server.baseUrl() + u"/appcast.xml");

    UpdateController newer(url, QVersionNumber(1, 10));
    server.enqueue(FakeModelServer::Response::error(200, feed, "application/rss+xml"));
    EXPECT_EQ(checkOnce(newer), u"Glint 1.10 is up to date.");

    UpdateController current(url, QVersionNumber(0, 1, 0));
    server.enqueue(FakeModelServer::Response::error(200, feed, "application/rss+xml"));
    EXPECT_EQ(checkOnce(current), u"Glint 1.10 is available.");

    server.enqueue(FakeModelServer::Response::error(404, "gone", "text/plain"));
    EXPECT_TRUE(checkOnce(current).startsWith(u"Could not check for updates: "));

    // However long the feed, no more is held than a feed needs.
    FakeModelServer::Response endless = FakeModelServer::Response::error(200, "<rss><channel>", "application/rss+xml");
    endless.chunked = true;
    endless.flood = UpdateController::feedLimit + 96 * 1024 * 1024;
    server.enqueue(endless);
    ASSERT_TRUE(PeakResidentMemory::reset());
    const qint64 before = PeakResidentMemory::mebibytes();
    EXPECT_EQ(checkOnce(current), u"Could not check for updates: The answer is larger than 4 MiB; reading stopped");
    EXPECT_LT(PeakResidentMemory::mebibytes() - before, 64);

    UpdateController none{QUrl()};
    EXPECT_EQ(checkOnce(none), u"No update feed is configured (set GLINT_UPDATE_FEED_URL).");

    // Over plain http anyone on the way could announce a "release"; only loopback test feeds may.
    UpdateController remote(QUrl(u"http://updates.example.invalid/appcast.xml"_qs));
    EXPECT_TRUE(checkOnce(remote).startsWith(u"The update feed must be an https address"));
}

// The feed's words reach the dialog as they are: markup in them is shown, never rendered.
TEST(UpdateControllerTest, DialogShowsFeedTextLiterally)
{
    const QString version = u"2.0<b>beta</b><img src=x>"_qs;
    const QByteArray items[] = {
        "<item><version>2.0&lt;b&gt;beta&lt;/b&gt;&lt;img src=x&gt;</version></item>",
        "<item><version>2.0&lt;b&gt;beta&lt;/b&gt;&lt;img src=x&gt;</version>"
        "<link>https://example.invalid/a?b=&lt;i&gt;</link></item>",
    };
    for (const QByteArray &item : items) {
        FakeModelServer server;
        UpdateController controller(QUrl(server.baseUrl() + u"/appcast.xml"), QVersionNumber(1, 0));
        server.enqueue(
            FakeModelServer::Response::error(200, "<rss><channel>" + item + "</channel></rss>", "application/rss+xml"));
        QSignalSpy checked(&controller, &UpdateController::checked);
        controller.checkForUpdates(true);
        ASSERT_TRUE(checked.wait(5000));
        QMessageBox *box = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *found = qobject_cast<QMessageBox *>(widget))
                box = found;
        }
        ASSERT_TRUE(box) << item.constData();
        QString shown = box->text();
        if (box->textFormat() == Qt::RichText || (box->textFormat() == Qt::AutoText && Qt::mightBeRichText(shown))) {
            QTextDocument document;
            document.setHtml(shown);
            shown = document.toPlainText();
        }
        EXPECT_TRUE(shown.startsWith(u"Glint " + version + u" is available.")) << shown.toStdString();
        delete box;
    }
}
} // namespace

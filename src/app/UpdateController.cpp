#include "app/UpdateController.h"

#include "app/AppcastFeed.h"
#include "log/DebugLog.h"

#include <QHostAddress>
#include <QMessageBox>

namespace {
bool acceptableFeed(const QUrl &url)
{
    if (url.scheme() == u"https")
        return !url.host().isEmpty();
    // Plain http could be rewritten on the way and point the user at anything; only local test feeds.
    return url.scheme() == u"http" && (url.host() == u"localhost" || QHostAddress(url.host()).isLoopback());
}
} // namespace

UpdateController::UpdateController(QUrl feed, QVersionNumber current, QObject *parent)
    : QObject(parent)
    , feed_(std::move(feed))
    , current_(current.isNull() ? QVersionNumber::fromString(QStringLiteral(GLINT_VERSION)) : std::move(current))
{
}

QUrl UpdateController::feedFromEnvironment()
{
    return QUrl(qEnvironmentVariable(feedVariable));
}

void UpdateController::checkForUpdates(bool tellUser)
{
    if (feed_.isEmpty()) {
        report(tr("No update feed is configured (set %1).").arg(QLatin1String(feedVariable)), {}, tellUser);
        return;
    }
    if (!acceptableFeed(feed_)) {
        report(tr("The update feed must be an https address: %1").arg(feed_.toString()), {}, tellUser);
        return;
    }
    fetch_.cancelAll();
    fetch_.start({feed_, {}, std::nullopt, std::chrono::seconds(15), feedLimit},
                 [this, tellUser](const BoundedFetch::Reply &reply) { finish(reply, tellUser); });
}

void UpdateController::finish(const BoundedFetch::Reply &reply, bool tellUser)
{
    if (!reply.error.isEmpty() || reply.status != 200) {
        const QString why = reply.error.isEmpty() ? tr("the server answered HTTP %1").arg(reply.status) : reply.error;
        report(tr("Could not check for updates: %1").arg(why), {}, tellUser);
        return;
    }
    QString error;
    const std::optional<AppcastRelease> newest = AppcastFeed::newestRelease(reply.body, &error);
    if (!error.isEmpty())
        report(tr("Could not check for updates: %1").arg(error), {}, tellUser);
    else if (newest && newest->version > current_)
        report(tr("Glint %1 is available.").arg(newest->versionText), newest->link, tellUser);
    else
        report(tr("Glint %1 is up to date.").arg(current_.toString()), {}, tellUser);
}

void UpdateController::report(const QString &result, const QUrl &link, bool tellUser)
{
    DebugLog::log(QStringLiteral("App"), u"Update check finished result=\"" + result + u'"');
    Q_EMIT checked(result);
    if (!tellUser)
        return;
    auto *box = new QMessageBox(QMessageBox::Information, tr("Check for Updates"), result);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The result quotes the feed and the server: markup from there is shown, never rendered.
    box->setTextFormat(Qt::PlainText);
    if (link.scheme() == u"https" || link.scheme() == u"http") {
        box->setTextFormat(Qt::RichText);
        box->setText(result.toHtmlEscaped() + u"<br><a href=\"" + link.toString(QUrl::FullyEncoded).toHtmlEscaped() +
                     u"\">" + link.toDisplayString().toHtmlEscaped() + u"</a>");
        box->setTextInteractionFlags(Qt::TextBrowserInteraction);
    }
    box->open();
}

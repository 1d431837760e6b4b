#include "app/DesktopNotifier.h"

#include "log/DebugLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Application, id to replace, icon, summary, body, actions, hints, expiry (the server's default).
    call << QStringLiteral("Glint") << 0u << QStringLiteral("org.glint.Glint") << summary << body << QStringList()
         << QVariantMap() << -1;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher] {
        if (watcher->isError())
            DebugLog::log(QStringLiteral("App"), u"Desktop notification not shown error=" + watcher->error().name());
        watcher->deleteLater();
    });
}

#include "portal/PortalRegistry.h"

#include "log/DebugLog.h"
#include "portal/PortalRequest.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QPointer>

namespace {

enum class Stage { Unasked, Asking, Answered };

struct Waiting {
    QPointer<QObject> context;
    std::function<void()> next;
};

Stage stage = Stage::Unasked;
QList<Waiting> waiting;

QDBusMessage registerCall()
{
    QDBusMessage call = QDBusMessage::createMethodCall(PortalRequest::service, PortalRequest::desktopPath,
                                                       QStringLiteral("org.freedesktop.host.portal.Registry"),
                                                       QStringLiteral("Register"));
    call << PortalRegistry::appId << QVariantMap();
    return call;
}

void answered(const QDBusError &error)
{
    stage = Stage::Answered;
    if (!error.isValid()) {
        DebugLog::log(QStringLiteral("App"), u"Portal registry registered appId=" + PortalRegistry::appId);
        return;
    }
    // Portals before 1.19 (or none at all): they take the identity from elsewhere.
    const bool absent = error.type() == QDBusError::UnknownMethod || error.type() == QDBusError::UnknownInterface ||
                        error.type() == QDBusError::UnknownObject || error.type() == QDBusError::ServiceUnknown;
    DebugLog::log(QStringLiteral("App"),
                  (absent ? u"Portal registry absent error=" : u"Portal registry refused error=") + error.name() +
                      (absent ? QString() : u" message=" + error.message()));
}

} // namespace

const QString PortalRegistry::appId = QStringLiteral("org.glint.Glint");

void PortalRegistry::whenRegistered(QObject *context, std::function<void()> next)
{
    if (stage == Stage::Answered) {
        next();
        return;
    }
    waiting.append({context, std::move(next)});
    if (stage == Stage::Asking)
        return;
    stage = Stage::Asking;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(registerCall()));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        answered(finished->error());
        for (const Waiting &entry : std::exchange(waiting, {}))
            if (entry.context)
                entry.next();
    });
}

void PortalRegistry::registerNow()
{
    if (stage != Stage::Unasked)
        return;
    constexpr int answerTimeoutMs = 5000;
    answered(QDBusError(QDBusConnection::sessionBus().call(registerCall(), QDBus::Block, answerTimeoutMs)));
}

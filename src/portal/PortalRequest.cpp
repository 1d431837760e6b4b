#include "portal/PortalRequest.h"

#include "portal/PortalRegistry.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QUuid>

namespace {
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
}

const QString PortalRequest::service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalRequest::desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");

PortalRequest::PortalRequest(QObject *parent)
    : QObject(parent)
{
}

PortalRequest::~PortalRequest()
{
    drop();
}

QString PortalRequest::token()
{
    return u"glint_" + QUuid::createUuid().toString(QUuid::Id128);
}

void PortalRequest::send(const QString &interface, const QString &method, QList<QVariant> arguments,
                         QVariantMap options, Answer answered, std::function<void()> unavailable)
{
    drop();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString handleToken = token();
    QString sender = bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    path_ = desktopPath + u"/request/" + sender + u'/' + handleToken;
    answered_ = std::move(answered);
    bus.connect(service, path_, requestInterface, QStringLiteral("Response"), this, SLOT(response(uint, QVariantMap)));

    options.insert(QStringLiteral("handle_token"), handleToken);
    call_ = QDBusMessage::createMethodCall(service, desktopPath, interface, method);
    call_.setArguments(arguments << options);
    unavailable_ = std::move(unavailable);
    PortalRegistry::whenRegistered(this, [this] { dispatch(); });
}

void PortalRequest::dispatch()
{
    if (call_.type() == QDBusMessage::InvalidMessage)
        return; // dropped meanwhile, or sent already
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(std::exchange(call_, {})), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, path = path_, unavailable = std::exchange(unavailable_, nullptr)](QDBusPendingCallWatcher *finished) {
            finished->deleteLater();
            if (!finished->isError() || path != path_)
                return; // answered, or no longer wanted
            drop();
            unavailable();
        });
}

void PortalRequest::drop()
{
    answered_ = nullptr;
    call_ = QDBusMessage();
    unavailable_ = nullptr;
    if (path_.isEmpty())
        return;
    QDBusConnection::sessionBus().disconnect(service, std::exchange(path_, {}), requestInterface,
                                             QStringLiteral("Response"), this, SLOT(response(uint, QVariantMap)));
}

void PortalRequest::response(uint response, const QVariantMap &results)
{
    const Answer answered = std::exchange(answered_, nullptr);
    drop();
    if (answered)
        answered(response, results);
}

#include "portal/PortalRequest.h"

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
    QDBusMessage call = QDBusMessage::createMethodCall(service, desktopPath, interface, method);
    call.setArguments(arguments << options);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, unavailable = std::move(unavailable)](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (!finished->isError())
                    return;
                drop();
                unavailable();
            });
}

void PortalRequest::drop()
{
    answered_ = nullptr;
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

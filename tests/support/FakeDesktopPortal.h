#pragma once

#include "input/PortalShortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QImage>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

inline const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
inline const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
inline const QString registryInterface = QStringLiteral("org.freedesktop.host.portal.Registry");

// The desktop's side of the GlobalShortcuts and Screenshot portals on the test session bus, message for
// message: requests answered with a request object's path, then its Response signal; the shortcuts'
// session closed through its own object; the host Registry of newer portals, when offered. No desktop of
// the test environment implements them.
class FakeDesktopPortal : public QDBusVirtualObject {
public:
    // Where the desktop takes the shortcuts to bind from: Plasma 5.27 reads only CreateSession's options
    // and answers BindShortcuts with those (none when none came there); others read BindShortcuts' list.
    enum class ShortcutsFrom { CreateSession, BindShortcuts };

    ShortcutsFrom shortcutsFrom = ShortcutsFrom::BindShortcuts;
    bool bindsNothing = false; // the desktop (or its user) drops every shortcut
    bool offersRegistry = false;
    uint createResponse = 0;
    uint bindResponse = 0;
    QList<PortalShortcut> bound; // what BindShortcuts answered
    QString sessionPath;
    QStringList closed;
    QStringList calls;       // the members called, in order of arrival
    QString registeredAppId; // what Register was told
    // Each Screenshot call answers with the next picture, written to a file of `screenshotDir`, after
    // `screenshotDelayMs`; none left means the user refused.
    QList<QImage> screenshots;
    QString screenshotDir;
    int screenshotDelayMs = 0;
    QStringList screenshotFiles;

    FakeDesktopPortal()
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal")))
    {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
    }
    ~FakeDesktopPortal() override
    {
        bus_.unregisterObject(desktopPath, QDBusConnection::UnregisterTree);
        bus_.unregisterService(portalService);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-portal"));
    }

    bool publish()
    {
        return bus_.registerService(portalService) &&
               bus_.registerVirtualObject(desktopPath, this, QDBusConnection::SubPath);
    }

    // What the desktop does when the user presses the combination it bound to `id`.
    void press(const QString &id)
    {
        for (const PortalShortcut &shortcut : bound)
            if (shortcut.id == id)
                activate(sessionPath, id);
    }

    void activate(const QString &session, const QString &shortcut)
    {
        QDBusMessage signal = QDBusMessage::createSignal(desktopPath, shortcutsInterface, QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << shortcut << qulonglong(1234) << QVariantMap();
        bus_.send(signal);
    }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        calls << message.member();
        if (message.interface() == registryInterface && offersRegistry && message.member() == u"Register") {
            registeredAppId = message.arguments().value(0).toString();
            bus_.send(message.createReply());
            return true;
        }
        if (message.interface() == u"org.freedesktop.portal.Session" && message.member() == u"Close") {
            closed << message.path();
            bus_.send(message.createReply());
            return true;
        }
        if (message.interface() != shortcutsInterface && message.interface() != screenshotInterface)
            return false;
        QString sender = message.service().mid(1);
        sender.replace(u'.', u'_');
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().last());
        const QString request =
            desktopPath + u"/request/" + sender + u'/' + options.value(QStringLiteral("handle_token")).toString();
        bus_.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));

        uint response = 0;
        QVariantMap results;
        if (message.member() == u"CreateSession") {
            sessionPath = desktopPath + u"/session/" + sender + u'/' +
                          options.value(QStringLiteral("session_handle_token")).toString();
            results.insert(QStringLiteral("session_handle"), sessionPath);
            response = createResponse;
            if (shortcutsFrom == ShortcutsFrom::CreateSession)
                offered_ = qdbus_cast<QList<PortalShortcut>>(options.value(QStringLiteral("shortcuts")));
        } else if (message.member() == u"BindShortcuts") {
            EXPECT_EQ(message.arguments().at(0).value<QDBusObjectPath>().path(), sessionPath);
            if (shortcutsFrom == ShortcutsFrom::BindShortcuts)
                offered_ = qdbus_cast<QList<PortalShortcut>>(message.arguments().at(1));
            bound.clear();
            for (PortalShortcut shortcut : bindsNothing ? QList<PortalShortcut>() : offered_) {
                shortcut.properties.insert(QStringLiteral("trigger_description"),
                                           shortcut.properties.value(QStringLiteral("preferred_trigger")));
                bound << shortcut;
            }
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
            response = bindResponse;
        } else if (message.member() == u"Screenshot") {
            response = 1;
            if (!screenshots.isEmpty()) {
                const QString file =
                    screenshotDir + u"/Screenshot-" + QString::number(screenshotFiles.size()) + u".png";
                screenshots.takeFirst().save(file);
                screenshotFiles << file;
                results.insert(QStringLiteral("uri"), QUrl::fromLocalFile(file).toString());
                response = 0;
            }
        } else {
            return true;
        }
        const int delay = message.member() == u"Screenshot" ? screenshotDelayMs : 0;
        QTimer::singleShot(delay, [this, request, response, results] {
            QDBusMessage signal = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                             QStringLiteral("Response"));
            signal << response << results;
            bus_.send(signal);
        });
        return true;
    }

private:
    QDBusConnection bus_;
    QList<PortalShortcut> offered_;
};

#include "input/GlobalShortcutsPortalSource.h"

#include "input/GestureListener.h"
#include "input/ModifierFlags.h"
#include "input/VirtualKeyMap.h"
#include "log/DebugLog.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>

namespace {
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString shortcutsKey = QStringLiteral("shortcuts");
} // namespace

GlobalShortcutsPortalSource::GlobalShortcutsPortalSource(const HotkeyTriggers &triggers, QObject *parent)
    : QObject(parent)
    , triggers_(triggers)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

GlobalShortcutsPortalSource::~GlobalShortcutsPortalSource()
{
    stop();
}

QString GlobalShortcutsPortalSource::preferredTrigger(const HotkeyTriggers &triggers)
{
    const QString name = VirtualKeyMap::keyName(triggers.keyCode);
    if (name.isEmpty())
        return {};
    QStringList parts = ModifierFlags::spelled(triggers.keyModifiers, {"CTRL", "ALT", "SHIFT", "LOGO"});
    parts << name;
    return parts.join(u'+');
}

void GlobalShortcutsPortalSource::start(GestureClassifier &, GestureListener &listener)
{
    listener_ = &listener;
    if (!QDBusConnection::sessionBus().isConnected()) {
        fail(QStringLiteral("no-session-bus"));
        return;
    }
    // Plasma 5.27 binds only what CreateSession brings and ignores BindShortcuts' list; other desktops
    // read that list. Both carry the shortcut. Plasma also files the shortcuts under the session's token:
    // the same one at every start keeps them (and the user's changes to them) instead of leaving the
    // combination to the last start's entry, which then holds it.
    request(QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), QStringLiteral("glint")},
             {shortcutsKey, QVariant::fromValue(shortcuts())}},
            &GlobalShortcutsPortalSource::sessionCreated);
}

void GlobalShortcutsPortalSource::stop()
{
    listener_ = nullptr;
    request_.drop();
    if (session_.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(PortalRequest::service, PortalRequest::desktopPath, shortcutsInterface, QStringLiteral("Activated"),
                   this, SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    bus.asyncCall(QDBusMessage::createMethodCall(PortalRequest::service, std::exchange(session_, {}),
                                                 QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close")));
}

void GlobalShortcutsPortalSource::request(const QString &method, QList<QVariant> arguments, QVariantMap options,
                                          void (GlobalShortcutsPortalSource::*answered)(uint, const QVariantMap &))
{
    request_.send(
        shortcutsInterface, method, std::move(arguments), std::move(options),
        [this, answered](uint response, const QVariantMap &results) { (this->*answered)(response, results); },
        [this] { fail(QStringLiteral("no-global-shortcuts")); });
}

void GlobalShortcutsPortalSource::fail(const QString &reason)
{
    request_.drop();
    if (GestureListener *listener = std::exchange(listener_, nullptr))
        listener->monitorFailed(reason);
}

void GlobalShortcutsPortalSource::sessionCreated(uint response, const QVariantMap &results)
{
    // A string by the interface's description; some desktops send an object path.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    session_ = handle.metaType() == QMetaType::fromType<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                                           : handle.toString();
    if (response != 0 || session_.isEmpty()) {
        fail(QStringLiteral("global-shortcuts-refused"));
        return;
    }
    QDBusConnection::sessionBus().connect(PortalRequest::service, PortalRequest::desktopPath, shortcutsInterface,
                                          QStringLiteral("Activated"), this,
                                          SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts()), QString()}, {},
            &GlobalShortcutsPortalSource::shortcutsBound);
}

QList<PortalShortcut> GlobalShortcutsPortalSource::shortcuts() const
{
    QVariantMap properties{{QStringLiteral("description"), tr("Annotate the screen")}};
    const QString trigger = preferredTrigger(triggers_);
    if (!trigger.isEmpty())
        properties.insert(QStringLiteral("preferred_trigger"), trigger);
    return {{QString::fromLatin1(shortcutId), properties}};
}

void GlobalShortcutsPortalSource::shortcutsBound(uint response, const QVariantMap &results)
{
    if (response != 0) {
        fail(QStringLiteral("global-shortcuts-refused"));
        return;
    }
    // A desktop that accepted the call but bound nothing would leave the hotkey silently dead.
    const QList<PortalShortcut> bound = qdbus_cast<QList<PortalShortcut>>(results.value(shortcutsKey));
    const auto ours = std::find_if(bound.cbegin(), bound.cend(), [](const PortalShortcut &shortcut) {
        return shortcut.id == QLatin1String(shortcutId);
    });
    if (ours == bound.cend()) {
        fail(QStringLiteral("global-shortcuts-none-bound"));
        return;
    }
    DebugLog::log(QStringLiteral("App"), u"Global shortcut bound trigger=" +
                                             ours->properties.value(QStringLiteral("trigger_description")).toString());
    if (listener_)
        listener_->monitorStarted();
}

void GlobalShortcutsPortalSource::activated(const QDBusObjectPath &session, const QString &shortcut, qulonglong,
                                            const QVariantMap &)
{
    if (!listener_ || session.path() != session_ || shortcut != QLatin1String(shortcutId))
        return;
    listener_->trace(QStringLiteral("hotkey matched — consuming event"));
    listener_->activate();
}

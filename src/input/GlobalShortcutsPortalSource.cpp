#include "input/GlobalShortcutsPortalSource.h"

#include "input/GestureListener.h"
#include "input/ModifierFlags.h"
#include "input/VirtualKeyMap.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QUuid>

#include <X11/Xlib.h>

namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// One entry of the a(sa{sv}) list BindShortcuts takes.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

QString token()
{
    return u"glint_" + QUuid::createUuid().toString(QUuid::Id128);
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

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
    const std::optional<quint32> keysym = VirtualKeyMap::keysym(triggers.keyCode);
    const char *name = keysym ? XKeysymToString(*keysym) : nullptr;
    if (!name)
        return {};
    QStringList parts;
    const std::pair<quint64, const char *> modifiers[] = {{ModifierFlags::control, "CTRL"},
                                                          {ModifierFlags::option, "ALT"},
                                                          {ModifierFlags::shift, "SHIFT"},
                                                          {ModifierFlags::command, "LOGO"}};
    for (const auto &[flag, modifier] : modifiers) {
        if (triggers.keyModifiers & flag)
            parts << QString::fromLatin1(modifier);
    }
    parts << QString::fromLatin1(name);
    return parts.join(u'+');
}

void GlobalShortcutsPortalSource::start(GestureClassifier &, GestureListener &listener)
{
    listener_ = &listener;
    if (!QDBusConnection::sessionBus().isConnected()) {
        fail(QStringLiteral("no-session-bus"));
        return;
    }
    request(QStringLiteral("CreateSession"), {}, {{QStringLiteral("session_handle_token"), token()}},
            SLOT(sessionCreated(uint, QVariantMap)));
}

void GlobalShortcutsPortalSource::stop()
{
    listener_ = nullptr;
    disconnectRequest();
    if (session_.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(service, desktopPath, shortcutsInterface, QStringLiteral("Activated"), this,
                   SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    bus.asyncCall(QDBusMessage::createMethodCall(service, std::exchange(session_, {}),
                                                 QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close")));
}

void GlobalShortcutsPortalSource::request(const QString &method, QList<QVariant> arguments, QVariantMap options,
                                          const char *responseSlot)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The request object's path is known in advance, so its answer cannot arrive before we listen.
    const QString handleToken = token();
    QString sender = bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    disconnectRequest();
    requestPath_ = desktopPath + u"/request/" + sender + u'/' + handleToken;
    responseSlot_ = responseSlot;
    bus.connect(service, requestPath_, requestInterface, QStringLiteral("Response"), this, responseSlot_);

    options.insert(QStringLiteral("handle_token"), handleToken);
    QDBusMessage call = QDBusMessage::createMethodCall(service, desktopPath, shortcutsInterface, method);
    call.setArguments(arguments << options);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        if (finished->isError())
            fail(QStringLiteral("no-global-shortcuts"));
    });
}

void GlobalShortcutsPortalSource::disconnectRequest()
{
    if (requestPath_.isEmpty())
        return;
    QDBusConnection::sessionBus().disconnect(service, std::exchange(requestPath_, {}), requestInterface,
                                             QStringLiteral("Response"), this, responseSlot_);
}

void GlobalShortcutsPortalSource::fail(const QString &reason)
{
    disconnectRequest();
    if (GestureListener *listener = std::exchange(listener_, nullptr))
        listener->monitorFailed(reason);
}

void GlobalShortcutsPortalSource::sessionCreated(uint response, const QVariantMap &results)
{
    disconnectRequest();
    // A string by the interface's description; some desktops send an object path.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    session_ = handle.metaType() == QMetaType::fromType<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                                           : handle.toString();
    if (response != 0 || session_.isEmpty()) {
        fail(QStringLiteral("global-shortcuts-refused"));
        return;
    }
    QDBusConnection::sessionBus().connect(service, desktopPath, shortcutsInterface, QStringLiteral("Activated"), this,
                                          SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    QVariantMap properties{{QStringLiteral("description"), tr("Annotate the screen")}};
    const QString trigger = preferredTrigger(triggers_);
    if (!trigger.isEmpty())
        properties.insert(QStringLiteral("preferred_trigger"), trigger);
    const QList<PortalShortcut> shortcuts{{QString::fromLatin1(shortcutId), properties}};
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()}, {},
            SLOT(shortcutsBound(uint, QVariantMap)));
}

void GlobalShortcutsPortalSource::shortcutsBound(uint response, const QVariantMap &)
{
    disconnectRequest();
    if (response != 0) {
        fail(QStringLiteral("global-shortcuts-refused"));
        return;
    }
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

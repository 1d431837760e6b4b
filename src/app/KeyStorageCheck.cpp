#include "app/KeyStorageCheck.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {
const QString service = QStringLiteral("org.freedesktop.secrets");
const QString defaultCollection = QStringLiteral("/org/freedesktop/secrets/aliases/default");
constexpr int answerTimeoutMs = 2000;

enum class Answer { Unknown, Unlocked, Locked, NoService };
} // namespace

struct KeyStorageCheck::State {
    Answer answer = Answer::Unknown;
    bool asking = false;
};

KeyStorageCheck::KeyStorageCheck(QDBusConnection bus)
    : bus_(std::move(bus))
    , state_(std::make_shared<State>())
{
}

void KeyStorageCheck::ask() const
{
    if (state_->asking)
        return;
    if (!bus_.isConnected()) {
        state_->answer = Answer::NoService;
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, defaultCollection, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    state_->asking = true;
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get, answerTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [state = state_](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        state->asking = false;
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (!reply.isError()) {
            state->answer = reply.value().variant().toBool() ? Answer::Locked : Answer::Unlocked;
            return;
        }
        // A service without a default keyring yet makes one when the first key is stored.
        const QString error = reply.error().name();
        state->answer = error == u"org.freedesktop.Secret.Error.NoSuchObject" ||
                                error == u"org.freedesktop.DBus.Error.UnknownObject" ||
                                error == u"org.freedesktop.DBus.Error.UnknownMethod"
                            ? Answer::Unlocked
                            : Answer::NoService;
    });
}

PermissionStatus KeyStorageCheck::status() const
{
    ask();
    switch (state_->answer) {
    case Answer::Unknown:
    case Answer::Unlocked:
        return {true, false, {}, {}};
    case Answer::Locked:
        return {false, false,
                QCoreApplication::translate("PermissionCheck", "Your keyring is locked: API keys can be neither read "
                                                               "nor saved until you unlock it."),
                QCoreApplication::translate("PermissionCheck", "Unlock...")};
    case Answer::NoService:
        break;
    }
    return {false,
            false,
            QCoreApplication::translate(
                "PermissionCheck",
                "No Secret Service answers, so API keys cannot be saved. Install and start one: GNOME Keyring "
                "(package gnome-keyring), KWallet with its Secret Service, or KeePassXC with its Secret Service "
                "integration turned on."),
            {}};
}

void KeyStorageCheck::act() const
{
    QDBusMessage unlock =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/secrets"),
                                       QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Unlock"));
    unlock << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(defaultCollection)});
    // The service answers at once with a prompt to show; the password dialog is the desktop's.
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(unlock, answerTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [bus = bus_](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QList<QDBusObjectPath>, QDBusObjectPath> reply = *call;
        if (reply.isError() || reply.argumentAt<1>().path() == u"/")
            return;
        QDBusMessage prompt =
            QDBusMessage::createMethodCall(service, reply.argumentAt<1>().path(),
                                           QStringLiteral("org.freedesktop.Secret.Prompt"), QStringLiteral("Prompt"));
        prompt << QString();
        bus.asyncCall(prompt);
    });
}

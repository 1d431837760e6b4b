#include "settings/Keychain.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <optional>

namespace {

const QString secretsService = QStringLiteral("org.freedesktop.secrets");
const QString servicePath = QStringLiteral("/org/freedesktop/secrets");
const QString serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString itemInterface = QStringLiteral("org.freedesktop.Secret.Item");
const QString noPrompt = QStringLiteral("/");

// A secret as the service hands it over: (session, parameters, value, content type).
struct Secret {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Secret &secret)
{
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Secret &secret)
{
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Secret)

namespace {

using Attributes = QMap<QString, QString>;
using Paths = QList<QDBusObjectPath>;

// Waits for a prompt's answer: Completed(dismissed, result).
class PromptAnswer : public QObject {
    Q_OBJECT
public:
    QEventLoop loop;
    std::optional<QVariant> result; // none while unanswered or dismissed

public Q_SLOTS:
    void completed(bool dismissed, const QDBusVariant &value)
    {
        if (!dismissed)
            result = value.variant();
        loop.quit();
    }
};

// The calls of one keychain operation, all within one time limit. Any failure (no service, an error,
// the limit passed) reads as no answer.
class SecretService {
public:
    explicit SecretService(std::chrono::milliseconds limit)
        : deadline_(limit)
        , bus_(QDBusConnection::sessionBus())
    {
        static const bool registered = [] {
            qDBusRegisterMetaType<Secret>();
            qDBusRegisterMetaType<QMap<QDBusObjectPath, Secret>>();
            qDBusRegisterMetaType<Attributes>();
            return true;
        }();
        Q_UNUSED(registered);
    }

    ~SecretService()
    {
        // Without waiting for the answer, so that a session is closed also when the time is up.
        if (!session_.path().isEmpty())
            bus_.send(QDBusMessage::createMethodCall(secretsService, session_.path(),
                                                     QStringLiteral("org.freedesktop.Secret.Session"),
                                                     QStringLiteral("Close")));
    }

    bool timedOut() const { return deadline_.hasExpired(); }

    std::optional<QList<QVariant>> call(const QString &path, const QString &interface, const QString &method,
                                        const QList<QVariant> &arguments)
    {
        if (!bus_.isConnected() || deadline_.hasExpired())
            return std::nullopt;
        QDBusMessage message = QDBusMessage::createMethodCall(secretsService, path, interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = bus_.call(message, QDBus::Block, int(qMax<qint64>(1, deadline_.remainingTime())));
        if (reply.type() != QDBusMessage::ReplyMessage)
            return std::nullopt;
        return reply.arguments();
    }

    // Shows `prompt` (an unlock dialog, for one) unless there is none, and waits for the answer: its
    // result, an invalid one without a prompt, or none when it was dismissed or not given in time.
    std::optional<QVariant> prompt(const QDBusObjectPath &prompt)
    {
        if (prompt.path() == noPrompt)
            return QVariant();
        PromptAnswer answer;
        const QString interface = QStringLiteral("org.freedesktop.Secret.Prompt");
        const char *slot = SLOT(completed(bool, QDBusVariant));
        if (!bus_.connect(secretsService, prompt.path(), interface, QStringLiteral("Completed"), &answer, slot))
            return std::nullopt;
        if (call(prompt.path(), interface, QStringLiteral("Prompt"), {QString()})) {
            QTimer::singleShot(qMax<qint64>(0, deadline_.remainingTime()), &answer.loop, &QEventLoop::quit);
            answer.loop.exec();
        }
        bus_.disconnect(secretsService, prompt.path(), interface, QStringLiteral("Completed"), &answer, slot);
        return answer.result;
    }

    // A plain session: the secrets travel on the user's own session bus, which only the user's
    // programs can read, and each of those may ask the service itself.
    std::optional<QDBusObjectPath> session()
    {
        if (session_.path().isEmpty()) {
            const auto opened = call(servicePath, serviceInterface, QStringLiteral("OpenSession"),
                                     {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
            if (!opened || opened->size() < 2)
                return std::nullopt;
            session_ = opened->at(1).value<QDBusObjectPath>();
        }
        return session_;
    }

    // The items with `attributes`: unlocked, and locked.
    std::optional<std::pair<Paths, Paths>> search(const Attributes &attributes)
    {
        const auto found =
            call(servicePath, serviceInterface, QStringLiteral("SearchItems"), {QVariant::fromValue(attributes)});
        if (!found || found->size() < 2)
            return std::nullopt;
        return std::pair(qdbus_cast<Paths>(found->at(0)), qdbus_cast<Paths>(found->at(1)));
    }

    // Asks the desktop to unlock `objects`; those it unlocked.
    Paths unlock(const Paths &objects)
    {
        const auto unlocked =
            call(servicePath, serviceInterface, QStringLiteral("Unlock"), {QVariant::fromValue(objects)});
        if (!unlocked || unlocked->size() < 2)
            return {};
        Paths done = qdbus_cast<Paths>(unlocked->at(0));
        if (const std::optional<QVariant> result = prompt(unlocked->at(1).value<QDBusObjectPath>());
            result && result->isValid())
            done += qdbus_cast<Paths>(*result);
        return done;
    }

    // The collection new items go to; made when the keyring has none yet.
    QDBusObjectPath defaultCollection()
    {
        const QString alias = QStringLiteral("default");
        const auto found = call(servicePath, serviceInterface, QStringLiteral("ReadAlias"), {alias});
        const QDBusObjectPath path = found ? found->value(0).value<QDBusObjectPath>() : QDBusObjectPath();
        if (!found || path.path() != noPrompt)
            return path;
        const QVariantMap properties{
            {QStringLiteral("org.freedesktop.Secret.Collection.Label"), QStringLiteral("Default keyring")}};
        const auto created = call(servicePath, serviceInterface, QStringLiteral("CreateCollection"),
                                  {QVariant::fromValue(properties), alias});
        if (!created || created->size() < 2)
            return {};
        if (const QDBusObjectPath made = created->at(0).value<QDBusObjectPath>(); made.path() != noPrompt)
            return made;
        const std::optional<QVariant> result = prompt(created->at(1).value<QDBusObjectPath>());
        return result ? result->value<QDBusObjectPath>() : QDBusObjectPath();
    }

private:
    QDeadlineTimer deadline_;
    QDBusConnection bus_;
    QDBusObjectPath session_;
};

Attributes attributes(const QString &service, const QString &account)
{
    // No schema is asked for, so items stored by `secret-tool store service ... account ...` match too.
    return {{QStringLiteral("service"), service}, {QStringLiteral("account"), account}};
}

} // namespace

Keychain::Keychain(QString service, std::chrono::milliseconds limit)
    : service_(std::move(service))
    , limit_(limit)
{
}

StoredSecret Keychain::read(const QString &account) const
{
    SecretService secrets(limit_);
    const auto found = secrets.search(attributes(service_, account));
    if (!found)
        return {StoredSecret::Status::NoAnswer, {}};
    auto [items, locked] = *found;
    if (!locked.isEmpty())
        items += secrets.unlock(locked);
    if (items.isEmpty()) {
        if (locked.isEmpty())
            return {};
        return {secrets.timedOut() ? StoredSecret::Status::NoAnswer : StoredSecret::Status::Locked, {}};
    }
    const std::optional<QDBusObjectPath> session = secrets.session();
    const auto values = session ? secrets.call(servicePath, serviceInterface, QStringLiteral("GetSecrets"),
                                               {QVariant::fromValue(items), QVariant::fromValue(*session)})
                                : std::nullopt;
    if (!values || values->isEmpty())
        return {StoredSecret::Status::NoAnswer, {}};

    // Several items can match when another tool stored one beside ours: the newest is the key.
    StoredSecret result;
    qulonglong newest = 0;
    const auto byItem = qdbus_cast<QMap<QDBusObjectPath, Secret>>(values->first());
    for (auto it = byItem.begin(); it != byItem.end(); ++it) {
        const auto modified = secrets.call(it.key().path(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                           QStringLiteral("Get"), {itemInterface, QStringLiteral("Modified")});
        const qulonglong when = modified ? qdbus_cast<QDBusVariant>(modified->value(0)).variant().toULongLong() : 0;
        // Keys are UTF-8; anything else is treated as no key at all.
        const QString text = QString::fromUtf8(it->value);
        if (text.toUtf8() != it->value || (result.status == StoredSecret::Status::Found && when < newest))
            continue;
        result = StoredSecret::found(text);
        newest = when;
    }
    return result;
}

void Keychain::write(const QString &account, const QString &value)
{
    SecretService secrets(limit_);
    const auto found = secrets.search(attributes(service_, account));
    if (!found)
        return;
    const QDBusObjectPath collection = secrets.defaultCollection();
    if (collection.path().isEmpty())
        return;
    secrets.unlock({collection});
    const std::optional<QDBusObjectPath> session = secrets.session();
    if (!session)
        return;
    Attributes stored = attributes(service_, account);
    stored.insert(QStringLiteral("xdg:schema"), QStringLiteral("org.glint.Glint.ApiKey"));
    const QVariantMap properties{
        {QStringLiteral("org.freedesktop.Secret.Item.Label"), QString(u"Glint " + account)},
        {QStringLiteral("org.freedesktop.Secret.Item.Attributes"), QVariant::fromValue(stored)}};
    const Secret secret{*session, {}, value.toUtf8(), QStringLiteral("text/plain")};
    const auto created = secrets.call(collection.path(), QStringLiteral("org.freedesktop.Secret.Collection"),
                                      QStringLiteral("CreateItem"),
                                      {QVariant::fromValue(properties), QVariant::fromValue(secret), true});
    if (!created || created->size() < 2)
        return;
    QDBusObjectPath item = created->at(0).value<QDBusObjectPath>();
    if (item.path() == noPrompt) {
        const std::optional<QVariant> result = secrets.prompt(created->at(1).value<QDBusObjectPath>());
        item = result ? result->value<QDBusObjectPath>() : QDBusObjectPath();
    }
    if (item.path().isEmpty() || item.path() == noPrompt)
        return; // not stored: the key there was stays
    // The service replaces only an item with exactly the same attributes: one stored by another tool
    // (secret-tool) stays beside the new one until it goes here.
    for (const QDBusObjectPath &other : found->first + found->second) {
        if (other == item)
            continue;
        if (const auto deleted = secrets.call(other.path(), itemInterface, QStringLiteral("Delete"), {}))
            secrets.prompt(deleted->value(0).value<QDBusObjectPath>());
    }
}

#include "Keychain.moc"

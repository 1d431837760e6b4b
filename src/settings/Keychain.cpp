#include "settings/Keychain.h"

#include "log/DebugLog.h"

#include <libsecret/secret.h>

#include <memory>

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using Object = std::unique_ptr<T, ObjectUnref>;

struct ObjectListFree {
    void operator()(GList *list) const { g_list_free_full(list, g_object_unref); }
};
using ObjectList = std::unique_ptr<GList, ObjectListFree>;

// libsecret's objects let go of their D-Bus signal subscriptions in idle callbacks on the calling thread's main
// context, which no event loop runs on the keychain thread: run them once a call is done, or every call leaves
// its callbacks, and what they hold, behind for good. Declared first in a call, so it ends after every object.
struct PendingCallbacks {
    PendingCallbacks() = default;
    PendingCallbacks(const PendingCallbacks &) = delete;
    PendingCallbacks &operator=(const PendingCallbacks &) = delete;
    ~PendingCallbacks()
    {
        if (GMainContext *context = g_main_context_get_thread_default())
            while (g_main_context_iteration(context, FALSE)) {
            }
    }
};

// A GError out-parameter that frees what it caught.
class Failure {
public:
    Failure() = default;
    Failure(const Failure &) = delete;
    Failure &operator=(const Failure &) = delete;
    ~Failure() { g_clear_error(&error_); }

    GError **out() { return &error_; }
    explicit operator bool() const { return error_ != nullptr; }
    bool isLocked() const { return g_error_matches(error_, SECRET_ERROR, SECRET_ERROR_IS_LOCKED); }
    QString message() const { return error_ ? QString::fromUtf8(error_->message) : QString(); }
    void clear() { g_clear_error(&error_); }

private:
    GError *error_ = nullptr;
};

// The attributes that find an account's items. No schema name is asked for, so items stored by
// `secret-tool store service ... account ...` match too.
class Attributes {
public:
    Attributes(const QString &service, const QString &account)
        : service_(service.toUtf8())
        , account_(account.toUtf8())
        , table_(g_hash_table_new(g_str_hash, g_str_equal))
    {
        insert("service", service_.constData());
        insert("account", account_.constData());
    }
    Attributes(const Attributes &) = delete;
    Attributes &operator=(const Attributes &) = delete;
    ~Attributes() { g_hash_table_unref(table_); }

    // `value` must live as long as these attributes.
    void insert(const char *name, const char *value)
    {
        g_hash_table_insert(table_, const_cast<char *>(name), const_cast<char *>(value));
    }
    GHashTable *table() const { return table_; }

private:
    QByteArray service_;
    QByteArray account_;
    GHashTable *table_;
};

QString notStored(const Failure &failure)
{
    return failure.isLocked() ? SecretStore::lockedOnWrite() : u"The key was not saved: " + failure.message();
}

} // namespace

Keychain::Keychain(QString service)
    : service_(std::move(service))
    , cancellable_(g_cancellable_new())
{
}

Keychain::~Keychain()
{
    g_object_unref(cancellable_);
}

void Keychain::stopWaiting()
{
    g_cancellable_cancel(cancellable_);
}

StoredSecret Keychain::read(const QString &account) const
{
    const PendingCallbacks pending;
    const Attributes attributes(service_, account);
    Failure failure;
    // Asks the desktop to unlock a locked keyring and waits while its prompt is open.
    const ObjectList items(secret_service_search_sync(
        nullptr, nullptr, attributes.table(),
        SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), cancellable_,
        failure.out()));
    if (failure) {
        DebugLog::log(QStringLiteral("Keychain"), u"Reading a key failed: " + failure.message());
        return {StoredSecret::Status::NoAnswer, {}};
    }

    // Several items can match when another tool stored one beside ours: the newest is the key.
    StoredSecret result;
    guint64 newest = 0;
    for (GList *node = items.get(); node; node = node->next) {
        auto *item = static_cast<SecretItem *>(node->data);
        if (secret_item_get_locked(item)) {
            if (result.status == StoredSecret::Status::Missing)
                result.status = StoredSecret::Status::Locked;
            continue;
        }
        SecretValue *value = secret_item_get_secret(item);
        if (!value)
            continue;
        gsize length = 0;
        const gchar *bytes = secret_value_get(value, &length);
        const QByteArray data(bytes, qsizetype(length));
        secret_value_unref(value);
        // Keys are UTF-8; anything else is treated as no key at all.
        const QString text = QString::fromUtf8(data);
        const guint64 modified = secret_item_get_modified(item);
        if (text.toUtf8() != data || (result.status == StoredSecret::Status::Found && modified < newest))
            continue;
        result = StoredSecret::found(text);
        newest = modified;
    }
    return result;
}

QString Keychain::write(const QString &account, const QString &value, const std::function<void()> &waiting)
{
    const PendingCallbacks pending;
    Failure failure;
    const Object<SecretService> service(
        secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, cancellable_, failure.out()));
    if (!service)
        return notStored(failure);
    Attributes attributes(service_, account);
    const ObjectList older(secret_service_search_sync(service.get(), nullptr, attributes.table(), SECRET_SEARCH_ALL,
                                                      cancellable_, failure.out()));
    if (failure)
        return notStored(failure);

    Object<SecretCollection> collection(secret_collection_for_alias_sync(
        service.get(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable_, failure.out()));
    if (!collection && !failure)
        collection.reset(secret_collection_create_sync(service.get(), "Default keyring", SECRET_COLLECTION_DEFAULT,
                                                       SECRET_COLLECTION_CREATE_NONE, cancellable_, failure.out()));
    if (!collection)
        return failure ? notStored(failure) : SecretStore::lockedOnWrite();
    if (secret_collection_get_locked(collection.get())) {
        if (waiting)
            waiting();
        GList locked{collection.get(), nullptr, nullptr};
        const gint unlocked = secret_service_unlock_sync(service.get(), &locked, cancellable_, nullptr, failure.out());
        if (failure || unlocked == 0)
            return failure ? notStored(failure) : SecretStore::lockedOnWrite();
    }

    attributes.insert("xdg:schema", "org.glint.Glint.ApiKey");
    const QByteArray label = "Glint " + account.toUtf8();
    const QByteArray bytes = value.toUtf8();
    SecretValue *secret = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    const Object<SecretItem> stored(secret_item_create_sync(collection.get(), nullptr, attributes.table(),
                                                            label.constData(), secret, SECRET_ITEM_CREATE_NONE,
                                                            cancellable_, failure.out()));
    secret_value_unref(secret);
    if (!stored)
        return notStored(failure);

    // The older items go only now that the new one is stored; one left behind is older, so never read.
    for (GList *node = older.get(); node; node = node->next) {
        if (!secret_item_delete_sync(static_cast<SecretItem *>(node->data), cancellable_, failure.out()))
            DebugLog::log(QStringLiteral("Keychain"), u"An older key stays in the keyring: " + failure.message());
        failure.clear();
    }
    return {};
}

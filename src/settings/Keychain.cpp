#include "settings/Keychain.h"

#include "log/DebugLog.h"

#include <QLibrary>
#include <QSemaphore>
#include <QThreadPool>

#include <libsecret/secret.h>

#include <memory>

namespace {

// libsecret, and the GLib object stack it brings, is loaded on the first keychain call rather than at
// start: eight libraries the tray icon does not need. Without the library a read finds no key.
struct LibSecret {
    decltype(&secret_attributes_build) attributesBuild = nullptr;
    decltype(&secret_service_search_sync) search = nullptr;
    decltype(&secret_item_get_locked) itemLocked = nullptr;
    decltype(&secret_item_get_secret) itemSecret = nullptr;
    decltype(&secret_item_get_modified) itemModified = nullptr;
    decltype(&secret_password_clear_sync) clear = nullptr;
    decltype(&secret_password_store_sync) store = nullptr;
    decltype(&secret_value_get) valueGet = nullptr;
    decltype(&secret_value_unref) valueUnref = nullptr;
    decltype(&g_cancellable_new) cancellableNew = nullptr;
    decltype(&g_cancellable_cancel) cancellableCancel = nullptr;
    decltype(&g_object_unref) objectUnref = nullptr;
    decltype(&g_clear_error) clearError = nullptr;
    decltype(&g_hash_table_unref) hashTableUnref = nullptr;
    decltype(&g_list_free_full) listFreeFull = nullptr;

    static const LibSecret *get()
    {
        static const LibSecret *loaded = load();
        return loaded;
    }

private:
    template <typename Function> bool resolve(QLibrary &library, Function &function, const char *name)
    {
        function = reinterpret_cast<Function>(library.resolve(name));
        return function != nullptr;
    }

    static const LibSecret *load()
    {
        static LibSecret api;
        QLibrary library(QStringLiteral("secret-1"), 0);
        // The functions live as long as the process; the library is never unloaded.
        library.setLoadHints(QLibrary::PreventUnloadHint);
        const bool complete = library.load() && api.resolve(library, api.attributesBuild, "secret_attributes_build") &&
                              api.resolve(library, api.search, "secret_service_search_sync") &&
                              api.resolve(library, api.itemLocked, "secret_item_get_locked") &&
                              api.resolve(library, api.itemSecret, "secret_item_get_secret") &&
                              api.resolve(library, api.itemModified, "secret_item_get_modified") &&
                              api.resolve(library, api.clear, "secret_password_clear_sync") &&
                              api.resolve(library, api.store, "secret_password_store_sync") &&
                              api.resolve(library, api.valueGet, "secret_value_get") &&
                              api.resolve(library, api.valueUnref, "secret_value_unref") &&
                              api.resolve(library, api.cancellableNew, "g_cancellable_new") &&
                              api.resolve(library, api.cancellableCancel, "g_cancellable_cancel") &&
                              api.resolve(library, api.objectUnref, "g_object_unref") &&
                              api.resolve(library, api.clearError, "g_clear_error") &&
                              api.resolve(library, api.hashTableUnref, "g_hash_table_unref") &&
                              api.resolve(library, api.listFreeFull, "g_list_free_full");
        if (complete)
            return &api;
        DebugLog::log(QStringLiteral("Keychain"),
                      u"Secret Service library unavailable, API keys cannot be read or stored: " +
                          library.errorString());
        return nullptr;
    }
};

const SecretSchema *schema()
{
    // No schema name check, so items stored by `secret-tool store service ... account ...` match too.
    static const SecretSchema s = {
        "org.glint.Glint.ApiKey",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"account", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, {}}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &s;
}

// Runs a blocking libsecret call on a pool thread and waits at most `limit` for it. A call that overruns
// is cancelled and left to finish on its own; its result is dropped.
template <typename T, typename Call> std::optional<T> runBounded(std::chrono::milliseconds limit, Call call)
{
    const LibSecret *api = LibSecret::get();
    if (!api)
        return std::nullopt;
    struct Shared {
        explicit Shared(const LibSecret &api)
            : api(api)
            , cancellable(api.cancellableNew())
        {
        }
        ~Shared() { api.objectUnref(cancellable); }

        const LibSecret &api;
        QSemaphore done;
        std::optional<T> result;
        GCancellable *cancellable;
    };
    // A pool of its own: a hung service must not starve the application's other background work. Never
    // destroyed, since destroying a pool waits for its calls, and an abandoned one may never return.
    static QThreadPool &pool = *new QThreadPool;
    auto shared = std::make_shared<Shared>(*api);
    pool.start([shared, call] {
        shared->result = call(shared->api, shared->cancellable);
        shared->done.release();
    });
    if (shared->done.tryAcquire(1, int(limit.count())))
        return std::move(shared->result);
    api->cancellableCancel(shared->cancellable);
    return std::nullopt;
}

} // namespace

Keychain::Keychain(QString service, std::chrono::milliseconds limit)
    : service_(std::move(service))
    , limit_(limit)
{
}

StoredSecret Keychain::read(const QString &account) const
{
    const QByteArray service = service_.toUtf8();
    const QByteArray name = account.toUtf8();
    const std::optional<StoredSecret> found =
        runBounded<StoredSecret>(limit_, [service, name](const LibSecret &api, GCancellable *cancellable) {
            GHashTable *attributes =
                api.attributesBuild(schema(), "service", service.constData(), "account", name.constData(), nullptr);
            GError *error = nullptr;
            // Asks the desktop to unlock a locked keyring; the prompt may take as long as the user does.
            GList *items =
                api.search(nullptr, schema(), attributes,
                           SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS),
                           cancellable, &error);
            api.hashTableUnref(attributes);
            const bool failed = error != nullptr;
            api.clearError(&error);
            if (failed)
                return StoredSecret{StoredSecret::Status::NoAnswer, {}};

            // Several items can match when another tool stored one beside ours: the newest is the key.
            StoredSecret result;
            guint64 newest = 0;
            for (GList *node = items; node; node = node->next) {
                auto *item = static_cast<SecretItem *>(node->data);
                if (api.itemLocked(item)) {
                    if (result.status == StoredSecret::Status::Missing)
                        result.status = StoredSecret::Status::Locked;
                    continue;
                }
                SecretValue *value = api.itemSecret(item);
                if (!value || (result.status == StoredSecret::Status::Found && api.itemModified(item) < newest)) {
                    if (value)
                        api.valueUnref(value);
                    continue;
                }
                gsize length = 0;
                const gchar *bytes = api.valueGet(value, &length);
                const QByteArray data(bytes, qsizetype(length));
                api.valueUnref(value);
                // Keys are UTF-8; anything else is treated as no key at all.
                const QString text = QString::fromUtf8(data);
                if (text.toUtf8() != data)
                    continue;
                result = StoredSecret::found(text);
                newest = api.itemModified(item);
            }
            api.listFreeFull(items, api.objectUnref);
            return result;
        });
    return found.value_or(StoredSecret{StoredSecret::Status::NoAnswer, {}});
}

void Keychain::write(const QString &account, const QString &value)
{
    const QByteArray service = service_.toUtf8();
    const QByteArray name = account.toUtf8();
    const QByteArray secret = value.toUtf8();
    const QByteArray label = QByteArray("Glint ") + name;
    runBounded<bool>(limit_, [=](const LibSecret &api, GCancellable *cancellable) {
        GError *error = nullptr;
        // The service replaces only an item with exactly the same attributes, and libsecret adds the
        // schema name to ours: an item stored by another tool (secret-tool) would stay beside the new one.
        api.clear(schema(), cancellable, &error, "service", service.constData(), "account", name.constData(), nullptr);
        api.clearError(&error);
        const gboolean stored =
            api.store(schema(), SECRET_COLLECTION_DEFAULT, label.constData(), secret.constData(), cancellable, &error,
                      "service", service.constData(), "account", name.constData(), nullptr);
        api.clearError(&error);
        return bool(stored);
    });
}

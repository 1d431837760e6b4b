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
    decltype(&secret_password_lookup_binary_sync) lookup = nullptr;
    decltype(&secret_password_store_sync) store = nullptr;
    decltype(&secret_value_get) valueGet = nullptr;
    decltype(&secret_value_unref) valueUnref = nullptr;
    decltype(&g_cancellable_new) cancellableNew = nullptr;
    decltype(&g_cancellable_cancel) cancellableCancel = nullptr;
    decltype(&g_object_unref) objectUnref = nullptr;
    decltype(&g_clear_error) clearError = nullptr;

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
        const bool complete = library.load() &&
                              api.resolve(library, api.lookup, "secret_password_lookup_binary_sync") &&
                              api.resolve(library, api.store, "secret_password_store_sync") &&
                              api.resolve(library, api.valueGet, "secret_value_get") &&
                              api.resolve(library, api.valueUnref, "secret_value_unref") &&
                              api.resolve(library, api.cancellableNew, "g_cancellable_new") &&
                              api.resolve(library, api.cancellableCancel, "g_cancellable_cancel") &&
                              api.resolve(library, api.objectUnref, "g_object_unref") &&
                              api.resolve(library, api.clearError, "g_clear_error");
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

std::optional<QString> Keychain::read(const QString &account) const
{
    const QByteArray service = service_.toUtf8();
    const QByteArray name = account.toUtf8();
    auto found =
        runBounded<std::optional<QString>>(limit_, [service, name](const LibSecret &api, GCancellable *cancellable) {
            GError *error = nullptr;
            SecretValue *value = api.lookup(schema(), cancellable, &error, "service", service.constData(), "account",
                                            name.constData(), nullptr);
            api.clearError(&error);
            if (!value)
                return std::optional<QString>();
            gsize length = 0;
            const gchar *bytes = api.valueGet(value, &length);
            const QByteArray data(bytes, qsizetype(length));
            api.valueUnref(value);
            // Keys are UTF-8; anything else is treated as no key at all.
            QString text = QString::fromUtf8(data);
            if (text.toUtf8() != data)
                return std::optional<QString>();
            return std::optional<QString>(text);
        });
    return found ? *found : std::nullopt;
}

void Keychain::write(const QString &account, const QString &value)
{
    const QByteArray service = service_.toUtf8();
    const QByteArray name = account.toUtf8();
    const QByteArray secret = value.toUtf8();
    const QByteArray label = QByteArray("Glint ") + name;
    runBounded<bool>(limit_, [=](const LibSecret &api, GCancellable *cancellable) {
        GError *error = nullptr;
        // Storing with the same attributes replaces the existing item's secret.
        const gboolean stored =
            api.store(schema(), SECRET_COLLECTION_DEFAULT, label.constData(), secret.constData(), cancellable, &error,
                      "service", service.constData(), "account", name.constData(), nullptr);
        api.clearError(&error);
        return bool(stored);
    });
}

#include "settings/Keychain.h"

#include <QSemaphore>
#include <QThreadPool>

#include <libsecret/secret.h>

#include <memory>

namespace {

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
    struct Shared {
        QSemaphore done;
        std::optional<T> result;
        GCancellable *cancellable = g_cancellable_new();
        ~Shared() { g_object_unref(cancellable); }
    };
    // A pool of its own: a hung service must not starve the application's other background work.
    static QThreadPool pool;
    auto shared = std::make_shared<Shared>();
    pool.start([shared, call] {
        shared->result = call(shared->cancellable);
        shared->done.release();
    });
    if (shared->done.tryAcquire(1, int(limit.count())))
        return std::move(shared->result);
    g_cancellable_cancel(shared->cancellable);
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
    auto found = runBounded<std::optional<QString>>(limit_, [service, name](GCancellable *cancellable) {
        GError *error = nullptr;
        SecretValue *value = secret_password_lookup_binary_sync(
            schema(), cancellable, &error, "service", service.constData(), "account", name.constData(), nullptr);
        g_clear_error(&error);
        if (!value)
            return std::optional<QString>();
        gsize length = 0;
        const gchar *bytes = secret_value_get(value, &length);
        const QByteArray data(bytes, qsizetype(length));
        secret_value_unref(value);
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
    runBounded<bool>(limit_, [=](GCancellable *cancellable) {
        GError *error = nullptr;
        // Storing with the same attributes replaces the existing item's secret.
        const gboolean stored = secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.constData(),
                                                           secret.constData(), cancellable, &error, "service",
                                                           service.constData(), "account", name.constData(), nullptr);
        g_clear_error(&error);
        return bool(stored);
    });
}

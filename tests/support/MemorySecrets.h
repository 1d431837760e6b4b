#pragma once

#include "settings/SecretStore.h"

#include <QHash>
#include <QMutex>

#include <memory>

// Keys in memory, shared with the test that made the store. The settings call it from their keychain
// thread while the test changes it from its own.
struct MemorySecrets : SecretStore {
    struct Items {
        QMutex mutex;
        QHash<QString, QString> keys;
        StoredSecret::Status unreadable = StoredSecret::Status::Found; // Locked or NoAnswer: every read says so

        void insert(const QString &account, const QString &value)
        {
            const QMutexLocker lock(&mutex);
            keys.insert(account, value);
        }
        QString value(const QString &account)
        {
            const QMutexLocker lock(&mutex);
            return keys.value(account);
        }
        void setUnreadable(StoredSecret::Status status)
        {
            const QMutexLocker lock(&mutex);
            unreadable = status;
        }
    };
    std::shared_ptr<Items> items = std::make_shared<Items>();

    StoredSecret read(const QString &account) const override
    {
        const QMutexLocker lock(&items->mutex);
        if (items->unreadable != StoredSecret::Status::Found)
            return {items->unreadable, {}};
        return items->keys.contains(account) ? StoredSecret::found(items->keys.value(account)) : StoredSecret{};
    }
    void write(const QString &account, const QString &value) override { items->insert(account, value); }
};

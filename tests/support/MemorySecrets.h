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
    // An unreadable store keeps its keys; a locked one first waits for an unlock that never comes.
    QString write(const QString &account, const QString &value, const std::function<void()> &waiting) override
    {
        QMutexLocker lock(&items->mutex);
        if (items->unreadable == StoredSecret::Status::Locked) {
            lock.unlock();
            waiting();
            return lockedOnWrite();
        }
        if (items->unreadable != StoredSecret::Status::Found)
            return u"The key was not saved: no answer"_qs;
        items->keys.insert(account, value);
        return {};
    }
};

#pragma once

#include "settings/SettingsManager.h"

#include <QProcess>

// An API key in the session's Secret Service for as long as it lives, stored and cleared the way a
// user does it from a shell.
class StoredKey {
public:
    StoredKey(const QString &account, const QByteArray &key)
        : account_(account)
    {
        QProcess store;
        store.start(QStringLiteral("secret-tool"),
                    {QStringLiteral("store"), QStringLiteral("--label=Glint"), QStringLiteral("service"),
                     SettingsManager::keychainService, QStringLiteral("account"), account});
        store.write(key);
        store.closeWriteChannel();
        stored_ = store.waitForFinished() && store.exitStatus() == QProcess::NormalExit && store.exitCode() == 0;
    }

    ~StoredKey()
    {
        QProcess::execute(QStringLiteral("secret-tool"),
                          {QStringLiteral("clear"), QStringLiteral("service"), SettingsManager::keychainService,
                           QStringLiteral("account"), account_});
    }

    bool isStored() const { return stored_; }

private:
    QString account_;
    bool stored_ = false;
};

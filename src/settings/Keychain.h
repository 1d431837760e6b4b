#pragma once

#include "settings/SecretStore.h"

typedef struct _GCancellable GCancellable;

// API keys in the Secret Service, through libsecret (encrypted session, the desktop's prompts), one
// item per account with the attributes service = <service>, account = <account>. A read says whether
// the keyring was locked or silent; a write says why it stored nothing. An unlock prompt is waited on
// for as long as it stays open.
class Keychain : public SecretStore {
public:
    explicit Keychain(QString service);
    ~Keychain() override;
    Keychain(const Keychain &) = delete;
    Keychain &operator=(const Keychain &) = delete;

    StoredSecret read(const QString &account) const override;
    QString write(const QString &account, const QString &value, const std::function<void()> &waiting) override;
    void stopWaiting() override;

    const QString &service() const { return service_; }

private:
    QString service_;
    GCancellable *cancellable_;
};

#pragma once

#include "settings/SecretStore.h"

#include <chrono>

// API keys in the Secret Service, spoken to over D-Bus, one item per account with the attributes
// service = <service>, account = <account>. A read says whether the keyring was locked or silent; a
// failed write is silent. A call never blocks its caller for longer than the time limit, even when the
// service hangs (for example while it waits on an unlock prompt nobody answers).
class Keychain : public SecretStore {
public:
    explicit Keychain(QString service, std::chrono::milliseconds limit = std::chrono::seconds(3));

    StoredSecret read(const QString &account) const override;
    void write(const QString &account, const QString &value) override;

    const QString &service() const { return service_; }

private:
    QString service_;
    std::chrono::milliseconds limit_;
};

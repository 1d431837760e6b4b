#pragma once

#include "settings/SecretStore.h"

#include <chrono>
#include <optional>

// API keys in the Secret Service (libsecret), one item per account with the attributes
// service = <service>, account = <account>. Failures are silent: a read yields no key, a write does
// nothing. A call never blocks its caller for longer than the time limit, even when the service hangs
// (for example while it waits on an unlock prompt nobody answers).
class Keychain : public SecretStore {
public:
    explicit Keychain(QString service, std::chrono::milliseconds limit = std::chrono::seconds(3));

    std::optional<QString> read(const QString &account) const override;
    void write(const QString &account, const QString &value) override;

    const QString &service() const { return service_; }

private:
    QString service_;
    std::chrono::milliseconds limit_;
};

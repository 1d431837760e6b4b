#pragma once

#include <QString>

#include <optional>

// Where API keys are kept, one secret per account name.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual std::optional<QString> read(const QString &account) const = 0;
    virtual void write(const QString &account, const QString &value) = 0;
};

#pragma once

#include <QString>

#include <functional>

// What a read of one key found. An empty value is a cleared key.
struct StoredSecret {
    enum class Status {
        Found,
        Missing,
        Locked,   // the item exists, but its keyring stayed locked
        NoAnswer, // no Secret Service answered in time
    };

    Status status = Status::Missing;
    QString value;

    bool isSet() const { return status == Status::Found && !value.isEmpty(); }
    // Neither locked nor silent: the answer can be trusted, including "no key".
    bool isKnown() const { return status == Status::Found || status == Status::Missing; }
    bool operator==(const StoredSecret &) const = default;
    // Why the key could not be read, for a keyring that was locked or silent.
    QString problem() const
    {
        return status == Status::Locked ? QStringLiteral("The keyring is locked.")
                                        : QStringLiteral("The keyring is locked or did not answer in time.");
    }

    static StoredSecret found(const QString &value) { return {Status::Found, value}; }
};

// Where API keys are kept, one secret per account name. Calls may block for as long as the user takes to
// answer an unlock prompt, so the application makes them off the main thread.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual StoredSecret read(const QString &account) const = 0;
    // Stores `value` (empty clears the key): returns why it was not stored, for the user, or nothing once
    // it is. `waiting` is called when the write waits for the user to unlock the keyring.
    virtual QString write(const QString &account, const QString &value, const std::function<void()> &waiting) = 0;
    // Gives up on answers from the user: an open prompt is dismissed and later calls fail at once.
    virtual void stopWaiting() {}

    static QString lockedOnWrite() { return QStringLiteral("The keyring is locked. Unlock it and save again."); }
};

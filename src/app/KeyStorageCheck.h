#pragma once

#include "app/PermissionCheck.h"

#include <QDBusConnection>

#include <memory>

// The Secret Service answers on the session bus and its default keyring is unlocked. Asked in the
// background; until the first answer it is taken to be there. Never blocks annotation: without it keys
// cannot be saved, and the row says what to install or unlock.
class KeyStorageCheck : public PermissionCheck {
public:
    explicit KeyStorageCheck(QDBusConnection bus = QDBusConnection::sessionBus());

    PermissionStatus status() const override;
    bool mayBlock() const override { return false; }
    // Asks the service to unlock the default keyring: the desktop prompts for the password.
    void act() const override;

private:
    struct State;
    void ask() const;

    QDBusConnection bus_;
    std::shared_ptr<State> state_;
};

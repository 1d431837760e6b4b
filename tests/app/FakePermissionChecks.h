#pragma once

#include "app/PermissionChecker.h"

#include <QHash>

// A check the test switches by hand.
struct FakePermissionCheck : PermissionCheck {
    PermissionStatus current{true, false, {}, {}};
    bool blocks = true;
    mutable int asked = 0;
    mutable int acted = 0;

    PermissionStatus status() const override
    {
        ++asked;
        return current;
    }
    bool mayBlock() const override { return blocks; }
    void act() const override { ++acted; }
};

// A checker whose every check is a fake, all granted; `handles` gives the test its hands on them.
inline std::unique_ptr<PermissionChecker>
fakePermissionChecker(QHash<MissingPermission, FakePermissionCheck *> &handles)
{
    PermissionChecker::Checks checks;
    for (MissingPermission permission : MissingPermissions::all) {
        auto check = std::make_unique<FakePermissionCheck>();
        handles[permission] = check.get();
        checks[permission] = std::move(check);
    }
    return std::make_unique<PermissionChecker>(std::move(checks));
}

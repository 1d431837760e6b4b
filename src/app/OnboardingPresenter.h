#pragma once

#include "app/MissingPermission.h"

// The first-launch walk through the missing permissions, as the application delegate drives it.
class OnboardingPresenter {
public:
    virtual ~OnboardingPresenter() = default;
    virtual void show() = 0;
    virtual bool isVisible() const = 0;
    virtual void updatePermissions(const QList<MissingPermission> &missing) = 0;
    virtual void close() = 0;
};

#pragma once

#include "app/PermissionCheck.h"

// Global input on X11: the display offers what the hotkey monitor needs (XInput2 and XTest). Whether
// the hotkey itself could be grabbed is the monitor's answer, added by the permission checker.
class X11GlobalInputCheck : public PermissionCheck {
public:
    PermissionStatus status() const override;
};

#pragma once

#include "app/PermissionCheck.h"

// Screen capture on X11: one pixel of the primary screen can be read.
class X11ScreenCaptureCheck : public PermissionCheck {
public:
    PermissionStatus status() const override;
};

#pragma once

#include "app/PermissionCheck.h"
#include "voice/MicrophoneProbe.h"

// The sound server offers a capture source. Never blocks annotation; its button opens the desktop's
// sound settings where one is installed.
class MicrophoneCheck : public PermissionCheck {
public:
    PermissionStatus status() const override;
    bool mayBlock() const override { return false; }
    void act() const override;

private:
    MicrophoneProbe probe_;
};

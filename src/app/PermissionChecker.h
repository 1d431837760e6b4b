#pragma once

#include "app/MissingPermission.h"
#include "voice/MicrophoneProbe.h"

// Answers which permissions are missing. On Linux they are capabilities of the session rather than
// grants: global input needs an X11 display with XInput2 and XTest (on Wayland the desktop's shortcut
// settings run `glint annotate`), screen capture needs an X11 display, or on Wayland a compositor that
// copies its outputs or the desktop's Screenshot portal, the microphone needs a capture source on the
// sound server (PulseAudio, or PipeWire through pipewire-pulse), which is asked in the background.
// Checks are cheap enough to run every second.
class PermissionChecker {
public:
    virtual ~PermissionChecker() = default;

    QList<MissingPermission> checkRequired() const;
    QList<MissingPermission> checkAll() const;
    bool isGranted(MissingPermission permission) const;

    // Opens the desktop's settings where the permission can be sorted out; false when there is none.
    virtual bool openSettings(MissingPermission permission) const;

protected:
    virtual bool hasGlobalInput() const;
    virtual bool canCaptureScreen() const;
    virtual bool hasMicrophone() const;

private:
    MicrophoneProbe microphone_;
};

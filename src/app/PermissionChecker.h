#pragma once

#include "app/MissingPermission.h"
#include "app/PermissionCheck.h"
#include "input/HotkeyTriggers.h"

#include <functional>
#include <map>
#include <memory>

// Answers what the session lacks, one check per requirement, chosen for the platform at start. Global
// input and screen capture block annotation when missing; a hotkey another program holds, a missing
// microphone and a missing key storage are shown but never block, since the other ways to start (the
// tray menu, `glint annotate`) and a server without a key still work.
class PermissionChecker {
public:
    using Checks = std::map<MissingPermission, std::unique_ptr<PermissionCheck>>;

    // Without checks, the platform's own.
    explicit PermissionChecker(Checks checks = {});
    virtual ~PermissionChecker();

    static Checks platformChecks();

    QList<MissingPermission> checkRequired() const; // those that block annotation
    QList<MissingPermission> checkAll() const;      // all that are not granted
    bool isGranted(MissingPermission permission) const { return status(permission).granted; }
    PermissionStatus status(MissingPermission permission) const;
    void act(MissingPermission permission) const;

    // What the hotkey monitor found: `hotkey` names the combination another program holds; empty when
    // the grab succeeded or was not tried.
    void setHotkeyTaken(const QString &hotkey) { takenHotkey_ = hotkey; }
    // Why the desktop gives Glint no global shortcut (the hotkey monitor's reason: Wayland without the
    // portal, the user refused it, or it bound nothing); empty once it does. A shortcut of the desktop's
    // own set up from here runs on `hotkey`.
    void setGlobalShortcutsMissing(const QString &reason, const HotkeyTriggers &hotkey = {});
    void setChangeHotkey(std::function<void()> changeHotkey) { changeHotkey_ = std::move(changeHotkey); }

private:
    Checks checks_;
    QString takenHotkey_;
    std::unique_ptr<PermissionCheck> withoutShortcuts_;
    std::function<void()> changeHotkey_;
};

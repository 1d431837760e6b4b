#include "app/PermissionChecker.h"

#include "app/ExplainedPermissionCheck.h"
#include "app/GnomeShortcutCheck.h"
#include "app/KeyStorageCheck.h"
#include "app/MicrophoneCheck.h"
#include "app/X11GlobalInputCheck.h"
#include "app/X11ScreenCaptureCheck.h"
#include "capture/ScreenGrabber.h"
#include "platform/DisplayPlatform.h"
#include "platform/PlatformBackends.h"

#include <QCoreApplication>

PermissionChecker::PermissionChecker(Checks checks)
    : checks_(checks.empty() ? platformChecks() : std::move(checks))
{
}

PermissionChecker::~PermissionChecker() = default;

PermissionChecker::Checks PermissionChecker::platformChecks()
{
    Checks checks;
    if (DisplayPlatform::isX11()) {
        checks[MissingPermission::GlobalHotkey] = std::make_unique<X11GlobalInputCheck>();
        checks[MissingPermission::ScreenCapture] = std::make_unique<X11ScreenCaptureCheck>();
    } else if (PlatformBackends::screenGrabber().method() == u"qt") {
        // Elsewhere the desktop can always run `glint annotate`, so only the screen can be out of reach.
        checks[MissingPermission::ScreenCapture] = std::make_unique<ExplainedPermissionCheck>(
            QCoreApplication::translate("PermissionCheck",
                                        "On Wayland the screen can only be read through the desktop's screenshot "
                                        "portal or its screen copy protocol, and this desktop offers neither to "
                                        "Glint."),
            true);
    }
    checks[MissingPermission::Microphone] = std::make_unique<MicrophoneCheck>();
    checks[MissingPermission::KeyStorage] = std::make_unique<KeyStorageCheck>();
    return checks;
}

void PermissionChecker::setGlobalShortcutsMissing(const QString &reason, const HotkeyTriggers &hotkey)
{
    withoutShortcuts_.reset();
    if (reason.isEmpty())
        return;
    // GNOME before 48 has no portal for it (or another desktop's portal answers there in vain), but runs
    // shortcuts of its own that Glint can add.
    if (GnomeShortcutCheck::applies()) {
        withoutShortcuts_ =
            std::make_unique<GnomeShortcutCheck>(GnomeCustomShortcut::Combination{hotkey.keyCode, hotkey.keyModifiers});
        return;
    }
    withoutShortcuts_ = std::make_unique<ExplainedPermissionCheck>(
        reason == u"global-shortcuts-none-bound"
            ? QCoreApplication::translate("PermissionCheck",
                                          "The desktop bound no shortcut for Glint. Give Glint's \"Annotate the "
                                          "screen\" a combination in your desktop's shortcut settings (KDE Plasma: "
                                          "System Settings, Shortcuts) and start Glint again, or bind the command "
                                          "\"glint annotate\" to a shortcut.")
            : QCoreApplication::translate("PermissionCheck",
                                          "This desktop gives Glint no global shortcut. Bind the command \"glint "
                                          "annotate\" to a shortcut in your desktop's keyboard settings."),
        false, QStringLiteral("glint annotate"));
}

PermissionStatus PermissionChecker::status(MissingPermission permission) const
{
    if (permission == MissingPermission::GlobalHotkey && withoutShortcuts_)
        return withoutShortcuts_->status();
    const auto check = checks_.find(permission);
    if (check == checks_.end())
        return {true, false, {}, {}};
    PermissionStatus status = check->second->status();
    if (permission == MissingPermission::GlobalHotkey && status.granted && !takenHotkey_.isEmpty())
        status = {false, false,
                  QCoreApplication::translate("PermissionCheck", "%1 is already taken by another program. Choose "
                                                                 "another hotkey, or bind \"glint annotate\" to a "
                                                                 "shortcut in your desktop's keyboard settings.")
                      .arg(takenHotkey_),
                  QCoreApplication::translate("PermissionCheck", "Change Hotkey...")};
    return status;
}

QList<MissingPermission> PermissionChecker::checkRequired() const
{
    // The sound server and the keyring are asked only where their rows are shown, never at a press.
    QList<MissingPermission> missing;
    for (const auto &[permission, check] : checks_)
        if (check->mayBlock() && status(permission).blocking)
            missing << permission;
    return missing;
}

QList<MissingPermission> PermissionChecker::checkAll() const
{
    QList<MissingPermission> missing;
    for (MissingPermission permission : MissingPermissions::all)
        if (!isGranted(permission))
            missing << permission;
    return missing;
}

void PermissionChecker::act(MissingPermission permission) const
{
    if (permission == MissingPermission::GlobalHotkey && !takenHotkey_.isEmpty()) {
        if (changeHotkey_)
            changeHotkey_();
        return;
    }
    if (permission == MissingPermission::GlobalHotkey && withoutShortcuts_) {
        withoutShortcuts_->act();
        return;
    }
    if (const auto check = checks_.find(permission); check != checks_.end())
        check->second->act();
}

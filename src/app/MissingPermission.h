#pragma once

#include <QIcon>
#include <QList>
#include <QString>

#include <optional>

// What the application needs of the desktop session, in the order every list of them uses.
enum class MissingPermission {
    GlobalHotkey,  // global input: the hotkey and the quick-draw gestures
    ScreenCapture, // reading the screen's pixels
    Microphone,    // voice questions (optional)
    KeyStorage,    // the Secret Service that keeps the API keys
};

namespace MissingPermissions {
inline const QList<MissingPermission> all = {MissingPermission::GlobalHotkey, MissingPermission::ScreenCapture,
                                             MissingPermission::Microphone, MissingPermission::KeyStorage};
QString rawValue(MissingPermission permission);
std::optional<MissingPermission> fromRawValue(const QString &raw);
// Shown as required; whether a missing one stops annotation is up to its check.
bool isRequired(MissingPermission permission);
// What the permissions tab and the setup call it, and its symbol (a single-colour SVG, to be tinted).
QString title(MissingPermission permission);
QIcon icon(MissingPermission permission);
} // namespace MissingPermissions

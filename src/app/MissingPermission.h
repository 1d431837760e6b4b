#pragma once

#include <QList>
#include <QString>

#include <optional>

// A privacy permission the application may lack, in the order every list of them uses.
enum class MissingPermission {
    Accessibility,   // global input: the hotkey and the quick-draw gestures
    ScreenRecording, // grabbing the screen
    Microphone,      // voice questions (optional)
};

namespace MissingPermissions {
inline const QList<MissingPermission> all = {MissingPermission::Accessibility, MissingPermission::ScreenRecording,
                                             MissingPermission::Microphone};
QString rawValue(MissingPermission permission);
std::optional<MissingPermission> fromRawValue(const QString &raw);
bool isRequired(MissingPermission permission);
} // namespace MissingPermissions

#include "app/MissingPermission.h"

QString MissingPermissions::rawValue(MissingPermission permission)
{
    switch (permission) {
    case MissingPermission::Accessibility:
        return QStringLiteral("accessibility");
    case MissingPermission::ScreenRecording:
        return QStringLiteral("screenRecording");
    case MissingPermission::Microphone:
        return QStringLiteral("microphone");
    }
    return {};
}

std::optional<MissingPermission> MissingPermissions::fromRawValue(const QString &raw)
{
    for (MissingPermission permission : all)
        if (rawValue(permission) == raw)
            return permission;
    return std::nullopt;
}

bool MissingPermissions::isRequired(MissingPermission permission)
{
    return permission != MissingPermission::Microphone;
}

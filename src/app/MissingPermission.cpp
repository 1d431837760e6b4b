#include "app/MissingPermission.h"

#include <QCoreApplication>

QString MissingPermissions::rawValue(MissingPermission permission)
{
    switch (permission) {
    case MissingPermission::GlobalHotkey:
        return QStringLiteral("globalHotkey");
    case MissingPermission::ScreenCapture:
        return QStringLiteral("screenCapture");
    case MissingPermission::Microphone:
        return QStringLiteral("microphone");
    case MissingPermission::KeyStorage:
        return QStringLiteral("keyStorage");
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

QString MissingPermissions::title(MissingPermission permission)
{
    switch (permission) {
    case MissingPermission::GlobalHotkey:
        return QCoreApplication::translate("MissingPermission", "Global hotkey");
    case MissingPermission::ScreenCapture:
        return QCoreApplication::translate("MissingPermission", "Screen capture");
    case MissingPermission::Microphone:
        return QCoreApplication::translate("MissingPermission", "Microphone");
    case MissingPermission::KeyStorage:
        return QCoreApplication::translate("MissingPermission", "Key storage");
    }
    return {};
}

QStyle::StandardPixmap MissingPermissions::icon(MissingPermission permission)
{
    switch (permission) {
    case MissingPermission::GlobalHotkey:
        return QStyle::SP_ComputerIcon;
    case MissingPermission::ScreenCapture:
        return QStyle::SP_DesktopIcon;
    case MissingPermission::Microphone:
        return QStyle::SP_MediaVolume;
    case MissingPermission::KeyStorage:
        return QStyle::SP_DriveHDIcon;
    }
    return QStyle::SP_MessageBoxQuestion;
}

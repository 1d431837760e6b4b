#include "app/MissingPermission.h"

#include <QCoreApplication>

// Resources of a static library are registered by hand; outside any namespace, as the macro requires.
static void registerIcons()
{
    Q_INIT_RESOURCE(app);
}

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

QIcon MissingPermissions::icon(MissingPermission permission)
{
    static const bool registered = (registerIcons(), true);
    Q_UNUSED(registered);
    switch (permission) {
    case MissingPermission::GlobalHotkey:
        return QIcon(QStringLiteral(":/glint/keyboard.svg"));
    case MissingPermission::ScreenCapture:
        return QIcon(QStringLiteral(":/glint/display.svg"));
    case MissingPermission::Microphone:
        return QIcon(QStringLiteral(":/glint/microphone.svg"));
    case MissingPermission::KeyStorage:
        return QIcon(QStringLiteral(":/glint/key.svg"));
    }
    return {};
}

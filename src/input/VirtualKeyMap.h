#pragma once

#include <QString>

#include <optional>

// Translates between the stored virtual key codes (positions on a US keyboard, as the preferences keep
// them) and what the desktop reports: X keysyms and Qt key values.
class VirtualKeyMap {
public:
    VirtualKeyMap() = delete;

    static constexpr quint16 firstModifierKeyCode = 54; // 54 to 63 are the modifier keys themselves
    static constexpr quint16 lastModifierKeyCode = 63;

    static std::optional<quint16> fromKeysym(quint32 keysym);
    // The unshifted keysym that produces the code, for grabbing it.
    static std::optional<quint32> keysym(quint16 keyCode);
    // The X name of that keysym ("space", "a", "F1"), which the desktops' shortcut notations use; empty
    // when the code has none.
    static QString keyName(quint16 keyCode);
    static std::optional<quint16> fromKeyName(const QString &name);
    static std::optional<quint16> fromQtKey(int qtKey);
    // The Qt key of the unshifted symbol, for naming the key.
    static std::optional<int> qtKey(quint16 keyCode);

    static bool isModifierKey(quint16 keyCode)
    {
        return keyCode >= firstModifierKeyCode && keyCode <= lastModifierKeyCode;
    }
};

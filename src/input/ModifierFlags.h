#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>

// Modifier masks as stored in the preferences: event-flag bits, the same numbers on every platform.
namespace ModifierFlags {
inline constexpr quint64 shift = 0x20000;
inline constexpr quint64 control = 0x40000;
inline constexpr quint64 option = 0x80000;    // Alt (Mod1) on X11
inline constexpr quint64 command = 0x100000;  // Super (Mod4) on X11
inline constexpr quint64 function = 0x800000; // no X11 modifier produces it

// Bits compared when matching the hotkey.
inline constexpr quint64 hotkeyMask = shift | control | option | command;
// Bits compared when deciding whether the quick-draw modifiers are held; Shift is deliberately ignored.
inline constexpr quint64 quickDrawMask = control | option | command | function;

// Fn has no X11 modifier: a stored mask keeps its bit, but only the other modifiers are waited for.
inline constexpr quint64 withoutFunction(quint64 mask)
{
    return mask & ~function;
}

// The modifiers present, in the order Ctrl, Alt, Shift, Super, each as `spellings` writes it (a shortcut
// notation's own names); Fn is never named.
QStringList spelled(quint64 mask, const std::array<const char *, 4> &spellings);
// "Ctrl+Alt+Shift+Super" for the modifiers present.
QString names(quint64 mask);
} // namespace ModifierFlags

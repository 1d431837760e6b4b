#pragma once

#include <QString>
#include <QtGlobal>

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

// "Ctrl+Alt+Shift+Super" for the modifiers present, in that order; Fn is never named.
QString names(quint64 mask);
} // namespace ModifierFlags

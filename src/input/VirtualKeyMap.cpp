#include "input/VirtualKeyMap.h"

#include <Qt>

#include <X11/Xlib.h>

#include <utility>

namespace {
// Keysym and virtual key code. Unshifted symbols come first, so the reverse lookup finds them.
constexpr std::pair<quint32, quint16> keysymCodes[] = {
    {'a', 0},      {'s', 1},      {'d', 2},      {'f', 3},      {'h', 4},      {'g', 5},      {'z', 6},
    {'x', 7},      {'c', 8},      {'v', 9},      {'b', 11},     {'q', 12},     {'w', 13},     {'e', 14},
    {'r', 15},     {'y', 16},     {'t', 17},     {'1', 18},     {'2', 19},     {'3', 20},     {'4', 21},
    {'6', 22},     {'5', 23},     {'=', 24},     {'9', 25},     {'7', 26},     {'-', 27},     {'8', 28},
    {'0', 29},     {']', 30},     {'o', 31},     {'u', 32},     {'[', 33},     {'i', 34},     {'p', 35},
    {0xff0d, 36},  {'l', 37},     {'j', 38},     {'\'', 39},    {'k', 40},     {';', 41},     {'\\', 42},
    {',', 43},     {'/', 44},     {'n', 45},     {'m', 46},     {'.', 47},     {0xff09, 48},  {' ', 49},
    {'`', 50},     {0xff08, 51},  {0xff1b, 53},  {0xffec, 54},  {0xffeb, 55},  {0xffe1, 56},  {0xffe5, 57},
    {0xffe9, 58},  {0xffe3, 59},  {0xffe2, 60},  {0xffea, 61},  {0xffe4, 62},  {0xffe7, 55},  {0xffe8, 54},
    {0xffbe, 122}, {0xffbf, 120}, {0xffc0, 99},  {0xffc1, 118}, {0xffc2, 96},  {0xffc3, 97},  {0xffc4, 98},
    {0xffc5, 100}, {0xffc6, 101}, {0xffc7, 109}, {0xffc8, 103}, {0xffc9, 111}, {0xff63, 114}, {0xff50, 115},
    {0xff55, 116}, {0xffff, 117}, {0xff57, 119}, {0xff56, 121}, {0xff51, 123}, {0xff53, 124}, {0xff54, 125},
    {0xff52, 126}, {'!', 18},     {'@', 19},     {'#', 20},     {'$', 21},     {'^', 22},     {'%', 23},
    {'+', 24},     {'(', 25},     {'&', 26},     {'_', 27},     {'*', 28},     {')', 29},     {'}', 30},
};

constexpr std::pair<int, quint32> qtSpecialKeysyms[] = {
    {Qt::Key_Return, 0xff0d},    {Qt::Key_Enter, 0xff0d},    {Qt::Key_Tab, 0xff09},    {Qt::Key_Backtab, 0xff09},
    {Qt::Key_Backspace, 0xff08}, {Qt::Key_Escape, 0xff1b},   {Qt::Key_Shift, 0xffe1},  {Qt::Key_Control, 0xffe3},
    {Qt::Key_Alt, 0xffe9},       {Qt::Key_AltGr, 0xffea},    {Qt::Key_Meta, 0xffeb},   {Qt::Key_Super_L, 0xffeb},
    {Qt::Key_Super_R, 0xffec},   {Qt::Key_CapsLock, 0xffe5}, {Qt::Key_Insert, 0xff63}, {Qt::Key_Delete, 0xffff},
    {Qt::Key_Home, 0xff50},      {Qt::Key_End, 0xff57},      {Qt::Key_PageUp, 0xff55}, {Qt::Key_PageDown, 0xff56},
    {Qt::Key_Left, 0xff51},      {Qt::Key_Right, 0xff53},    {Qt::Key_Up, 0xff52},     {Qt::Key_Down, 0xff54},
    {Qt::Key_BraceLeft, '['},    {Qt::Key_Bar, '\\'},        {Qt::Key_Colon, ';'},     {Qt::Key_QuoteDbl, '\''},
    {Qt::Key_Less, ','},         {Qt::Key_Greater, '.'},     {Qt::Key_Question, '/'},
};
} // namespace

std::optional<quint16> VirtualKeyMap::fromKeysym(quint32 keysym)
{
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 'a' - 'A';
    for (const auto &[sym, code] : keysymCodes)
        if (sym == keysym)
            return code;
    return std::nullopt;
}

std::optional<quint32> VirtualKeyMap::keysym(quint16 keyCode)
{
    for (const auto &[sym, code] : keysymCodes)
        if (code == keyCode)
            return sym;
    return std::nullopt;
}

QString VirtualKeyMap::keyName(quint16 keyCode)
{
    const std::optional<quint32> sym = keysym(keyCode);
    const char *name = sym ? XKeysymToString(*sym) : nullptr;
    return name ? QString::fromLatin1(name) : QString();
}

std::optional<quint16> VirtualKeyMap::fromKeyName(const QString &name)
{
    const KeySym sym = XStringToKeysym(name.toLatin1().constData());
    if (sym == NoSymbol)
        return std::nullopt;
    return fromKeysym(quint32(sym));
}

std::optional<quint16> VirtualKeyMap::fromQtKey(int qtKey)
{
    for (const auto &[key, sym] : qtSpecialKeysyms)
        if (key == qtKey)
            return fromKeysym(sym);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return fromKeysym(0xffbe + quint32(qtKey - Qt::Key_F1));
    // Printable keys: Qt's value is the Latin-1 character, which is also its keysym.
    if (qtKey > 0 && qtKey < 0x7f)
        return fromKeysym(quint32(qtKey));
    return std::nullopt;
}

std::optional<int> VirtualKeyMap::qtKey(quint16 keyCode)
{
    const std::optional<quint32> sym = keysym(keyCode);
    if (!sym)
        return std::nullopt;
    if (*sym >= 0xffbe && *sym <= 0xffc9)
        return Qt::Key_F1 + int(*sym - 0xffbe);
    for (const auto &[key, special] : qtSpecialKeysyms)
        if (special == *sym && key >= Qt::Key_Escape) // a named key, not a punctuation alias
            return key;
    if (*sym >= 'a' && *sym <= 'z')
        return int(*sym - 'a' + 'A');
    if (*sym >= ' ' && *sym < 0x7f)
        return int(*sym);
    return std::nullopt;
}

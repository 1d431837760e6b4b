#include "input/ModifierFlags.h"

QString ModifierFlags::symbols(quint64 mask)
{
    QString text;
    if (mask & control)
        text += u"⌃";
    if (mask & option)
        text += u"⌥";
    if (mask & shift)
        text += u"⇧";
    if (mask & command)
        text += u"⌘";
    return text;
}

#include "input/ModifierFlags.h"

#include <QStringList>

QString ModifierFlags::names(quint64 mask)
{
    QStringList names;
    if (mask & control)
        names << QStringLiteral("Ctrl");
    if (mask & option)
        names << QStringLiteral("Alt");
    if (mask & shift)
        names << QStringLiteral("Shift");
    if (mask & command)
        names << QStringLiteral("Super");
    return names.join(u'+');
}

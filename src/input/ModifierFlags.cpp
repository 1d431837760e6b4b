#include "input/ModifierFlags.h"

#include <QStringList>

QStringList ModifierFlags::spelled(quint64 mask, const std::array<const char *, 4> &spellings)
{
    const quint64 flags[] = {control, option, shift, command};
    QStringList names;
    for (size_t i = 0; i < spellings.size(); ++i)
        if (mask & flags[i])
            names << QString::fromLatin1(spellings[i]);
    return names;
}

QString ModifierFlags::names(quint64 mask)
{
    return spelled(mask, {"Ctrl", "Alt", "Shift", "Super"}).join(u'+');
}

#pragma once

#include <QFile>
#include <QRegularExpression>

// The process's peak resident size since the last reset, so a test can bound what a piece of work holds at
// its worst, whatever it gave back afterwards.
namespace PeakResidentMemory {

// The kernel resets the peak to the current resident size.
inline bool reset()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

inline qint64 mebibytes()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression peak(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    const QRegularExpressionMatch match = peak.match(QString::fromLatin1(file.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() / 1024 : -1;
}

} // namespace PeakResidentMemory

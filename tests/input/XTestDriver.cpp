#include "XTestDriver.h"

#include <QProcess>

bool XTestDriver::run(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

bool XTestDriver::moveTo(QPoint point)
{
    return run({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y())});
}

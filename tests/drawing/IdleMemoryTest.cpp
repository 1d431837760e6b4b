#include "drawing/IdleMemory.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

// A private copy of the program's data once written: it must survive, unlike the code pages.
int writtenData = 1;

qint64 residentFileKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("RssFile:"))
            return line.mid(8).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

TEST(IdleMemory, DropsCodePagesAndKeepsEverythingTheProcessWrote)
{
    writtenData = 42;
    static const std::string onHeap(1 << 20, 'x');
    // Runs a good deal of library code, so there are code pages to drop.
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter(&image).drawEllipse(8, 8, 40, 40);
    const qint64 before = residentFileKb();

    IdleMemory::release();

    EXPECT_LT(residentFileKb(), before);
    EXPECT_EQ(writtenData, 42);
    EXPECT_EQ(onHeap[12345], 'x');
    QImage again(64, 64, QImage::Format_ARGB32_Premultiplied);
    again.fill(Qt::transparent);
    QPainter(&again).drawEllipse(8, 8, 40, 40);
    EXPECT_EQ(again, image);
}

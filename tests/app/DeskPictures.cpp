#include "DeskPictures.h"

#include "capture/X11Desk.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool near(QColor seen, QColor expected, int tolerance)
{
    return std::abs(seen.red() - expected.red()) <= tolerance &&
           std::abs(seen.green() - expected.green()) <= tolerance &&
           std::abs(seen.blue() - expected.blue()) <= tolerance;
}

bool isStrokeRed(QColor colour)
{
    // Well above what the two patterns' colours and their blends reach (at most -40), while a lossy
    // encoding may mix the thin stroke with its background.
    return colour.red() - std::max(colour.green(), colour.blue()) >= 60;
}

} // namespace

using DeskPictures::captureSize;
using DeskPictures::rightMonitor;

QList<QPoint> DeskPictures::rightMonitorStroke()
{
    QList<QPoint> points;
    for (int x = 2200; x <= 3000; x += 25)
        points << QPoint(x, 300);
    for (int y = 325; y <= 600; y += 25)
        points << QPoint(3000, y);
    return points;
}

void DeskPictures::expectRightMonitorCapture(const QImage &image, const QList<QPoint> &stroke)
{
    ASSERT_EQ(image.size(), captureSize);
    const qreal scale = qreal(captureSize.width()) / rightMonitor.width();
    int wrong = 0;
    for (int y = X11Desk::cell / 2; y < rightMonitor.height(); y += X11Desk::cell) {
        if (y > 250 && y < 650)
            continue; // the stroke's rows
        for (int x = X11Desk::cell / 2; x < rightMonitor.width(); x += X11Desk::cell)
            wrong += !near(image.pixelColor((QPointF(x, y) * scale).toPoint()), X11Desk::patternAt({x, y}, 1), 30);
    }
    EXPECT_EQ(wrong, 0) << "cells that do not show the right monitor's pattern";

    QStringList missed;
    for (const QPoint &point : stroke) {
        const QPoint centre = (QPointF(point - rightMonitor.topLeft()) * scale).toPoint();
        bool red = false;
        for (int dy = -2; dy <= 2 && !red; ++dy)
            for (int dx = -2; dx <= 2 && !red; ++dx)
                red = isStrokeRed(image.pixelColor(centre + QPoint(dx, dy)));
        if (!red)
            missed << u"(%1, %2) %3"_qs.arg(centre.x()).arg(centre.y()).arg(image.pixelColor(centre).name());
    }
    EXPECT_TRUE(missed.isEmpty()) << "stroke points without red: " << missed.join(u", ").toStdString();
}

DeskPictures::ScreenColours DeskPictures::coloursIn(const QImage &picture)
{
    const auto showsPattern = [](QColor colour, int monitor) {
        return near(colour, X11Desk::patternAt({0, 0}, monitor), 30) ||
               near(colour, X11Desk::patternAt({0, X11Desk::cell}, monitor), 30);
    };
    ScreenColours colours;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor colour = picture.pixelColor(x, y);
            colours.rightPattern += showsPattern(colour, 1);
            colours.leftPattern += showsPattern(colour, 0);
            colours.red += isStrokeRed(colour);
        }
    }
    return colours;
}

std::string DeskPictures::describe(const QList<QRect> &windows)
{
    std::string text;
    for (const QRect &window : windows)
        text += std::to_string(window.x()) + ',' + std::to_string(window.y()) + ' ' + std::to_string(window.width()) +
                'x' + std::to_string(window.height()) + "; ";
    return text;
}

QImage DeskPictures::grabScreenArea(const QRect &area)
{
    QScreen *screen = QGuiApplication::screenAt(area.center());
    if (!screen)
        return {};
    const QRect local = area.translated(-screen->geometry().topLeft());
    return screen->grabWindow(0, local.x(), local.y(), local.width(), local.height()).toImage();
}

std::optional<QPoint> DeskPictures::firstAnswerGlyph(const QImage &panel)
{
    for (int y = 0; y < panel.height(); ++y)
        for (int x = 0; x < panel.width() / 3; ++x)
            if (near(panel.pixelColor(x, y), Qt::white, 40))
                return QPoint(x, y);
    return std::nullopt;
}

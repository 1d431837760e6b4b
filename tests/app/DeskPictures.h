#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>
#include <string>

// The two-monitor test desk: where its monitors are, the stroke drawn on it, and what pictures of it (captures
// the application sent, areas of the screen) show.
namespace DeskPictures {

inline constexpr QRect leftMonitor(0, 0, 1920, 1080);
inline constexpr QRect rightMonitor(1920, 0, 1920, 1080);
inline constexpr QSize captureSize(1568, 882); // the right monitor with its longest side reduced to 1568

// How many pixels show either monitor's pattern, and how many the stroke's red.
struct ScreenColours {
    int rightPattern = 0;
    int leftPattern = 0;
    int red = 0;
};

// The stroke, in device pixels: along the top of a region and down its right side, on the right monitor.
QList<QPoint> rightMonitorStroke();
// A capture of the right monitor: its checkerboard outside the stroke's rows, red along the stroke.
void expectRightMonitorCapture(const QImage &image, const QList<QPoint> &stroke);
ScreenColours coloursIn(const QImage &picture);
QImage grabScreenArea(const QRect &area);
// The first line of answer text, found as the topmost white glyph pixel in the panel's left third
// (questions and thumbnails sit on the right).
std::optional<QPoint> firstAnswerGlyph(const QImage &panel);
std::string describe(const QList<QRect> &windows);

} // namespace DeskPictures

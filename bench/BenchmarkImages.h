#pragma once

#include <QByteArray>
#include <QImage>

// Screenshots to measure with, drawn the same way on every run.
class BenchmarkImages {
public:
    BenchmarkImages() = delete;

    static constexpr QSize screenshotSize{1568, 882}; // a 2560x1440 display reduced as a capture is

    static QImage textHeavy(); // an editor and a terminal full of small text
    static QImage photoLike(); // gradients and noise
    static QByteArray png(const QImage &image);
};

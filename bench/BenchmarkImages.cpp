#include "BenchmarkImages.h"

#include <QBuffer>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>

QImage BenchmarkImages::textHeavy()
{
    QImage image(screenshotSize, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    painter.fillRect(0, 0, screenshotSize.width(), 28, QColor(60, 60, 64));
    painter.fillRect(1000, 28, 568, 854, QColor(30, 30, 30));
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(13);
    painter.setFont(font);
    QRandomGenerator random(7);
    const QStringList words{"return",     "const", "QString", "auto",   "if", "stream", "fragment", "->",    "{", "}",
                            "LLMMessage", "0x1f",  "error",   "// why", "=",  "true",   "nullptr",  "append"};
    for (int y = 44; y < screenshotSize.height(); y += 17) {
        QString left, right;
        for (int i = 0; i < 14; ++i)
            left += words[random.bounded(words.size())] + u' ';
        for (int i = 0; i < 8; ++i)
            right += words[random.bounded(words.size())] + u' ';
        painter.setPen(QColor::fromHsv(random.bounded(360), 160, 120));
        painter.drawText(12 + random.bounded(4) * 16, y, left);
        painter.setPen(QColor(200, 220, 200));
        painter.drawText(1010, y, right);
    }
    return image;
}

QImage BenchmarkImages::photoLike()
{
    QImage image(screenshotSize, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, screenshotSize.height());
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(230, 170, 120));
    painter.fillRect(image.rect(), sky);
    QRandomGenerator random(11);
    for (int i = 0; i < 40; ++i) {
        const QPointF centre(random.bounded(screenshotSize.width()), random.bounded(screenshotSize.height()));
        QRadialGradient blob(centre, 40 + random.bounded(160));
        blob.setColorAt(0, QColor::fromHsv(random.bounded(360), 180, 220, 180));
        blob.setColorAt(1, Qt::transparent);
        painter.fillRect(image.rect(), blob);
    }
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random.bounded(25)) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + noise, 255), qBound(0, qGreen(p) + noise, 255),
                           qBound(0, qBlue(p) + noise, 255));
        }
    }
    return image;
}

QByteArray BenchmarkImages::png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, "PNG");
    return bytes;
}

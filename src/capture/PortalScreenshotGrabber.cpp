#include "capture/PortalScreenshotGrabber.h"

#include "capture/SystemScreenCatalog.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QFile>
#include <QPointer>
#include <QUrl>

namespace {
const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
}

bool PortalScreenshotGrabber::isOffered()
{
    // The portal's interfaces carry a version property; a desktop without this one has none.
    QDBusInterface screenshot(PortalRequest::service, PortalRequest::desktopPath, screenshotInterface);
    return screenshot.isValid() && screenshot.property("version").toUInt() > 0;
}

void PortalScreenshotGrabber::take(QObject *context, std::function<void(FrozenFrame)> done)
{
    request(context, std::move(done), false);
}

void PortalScreenshotGrabber::request(QObject *context, std::function<void(FrozenFrame)> done, bool retried)
{
    QElapsedTimer clock;
    clock.start();
    const QPointer<QObject> guard(context);
    const auto give = [guard, done](FrozenFrame frame) {
        if (guard)
            done(std::move(frame));
    };
    request_.send(
        screenshotInterface, QStringLiteral("Screenshot"), {QString()},
        {{QStringLiteral("interactive"), false}, {QStringLiteral("modal"), false}},
        [this, context, done, give, clock, retried](uint response, const QVariantMap &results) {
            const QString file = QUrl(results.value(QStringLiteral("uri")).toString()).toLocalFile();
            const QImage desktop = response == 0 && !file.isEmpty() ? QImage(file) : QImage();
            if (!file.isEmpty())
                QFile::remove(file); // the screen's picture lives in memory only
            if (!desktop.isNull() && !retried && clock.elapsed() > dialogThresholdMs) {
                request(context, done, true);
                return;
            }
            give(desktop.isNull() ? FrozenFrame({}) : split(desktop, SystemScreenCatalog().screens()));
        },
        [give] { give(FrozenFrame({})); });
}

FrozenFrame PortalScreenshotGrabber::split(const QImage &desktop, const QList<ScreenInfo> &screens)
{
    QRect united;
    for (const ScreenInfo &screen : screens)
        united |= screen.frame;
    if (united.isEmpty() || desktop.isNull())
        return FrozenFrame({});
    const qreal scale = qreal(desktop.width()) / united.width();
    QList<FrozenFrame::Shot> shots;
    for (const ScreenInfo &screen : screens) {
        const QRectF part = QRectF(screen.frame.translated(-united.topLeft()));
        const QRect pixels(QPointF(part.topLeft() * scale).toPoint(), QSizeF(part.size() * scale).toSize());
        QImage picture = desktop.copy(pixels).convertToFormat(QImage::Format_RGB32);
        picture.setDevicePixelRatio(scale);
        shots.append(FrozenFrame::Shot{screen, std::move(picture)});
    }
    return FrozenFrame(std::move(shots));
}

#include "capture/ScreenCaptureService.h"

#include "capture/CaptureEncoding.h"
#include "capture/DesktopWindows.h"
#include "capture/ScreenCaptureError.h"
#include "capture/ScreenFreezer.h"
#include "log/DebugLog.h"

#include <QPainter>
#include <QPromise>
#include <QtConcurrent>

namespace {

void log(const QString &message) {
    DebugLog::log(QStringLiteral("Capture"), message);
}

QString sizeText(QSize size) {
    return QString::number(size.width()) + u'x' + QString::number(size.height());
}

QFuture<CaptureResult> failed(ScreenCaptureError error) {
    return QtFuture::makeReadyFuture(CaptureResult{{}, describe(error)});
}

} // namespace

ScreenCaptureService::ScreenCaptureService(ScreenFreezer &freezer)
    : freezer_(freezer) {}

QFuture<CaptureResult> ScreenCaptureService::captureWithAnnotations(std::optional<quint32> displayID,
                                                                    const QImage &drawingOverlay) {
    log(u"Starting capture targetDisplayID=" +
        (displayID ? QString::number(*displayID) : QStringLiteral("nil")) + u" overlaySize=" +
        sizeText(drawingOverlay.size()));

    // Without an overlay on screen there is no frozen frame; the screens as they are now will do.
    std::shared_ptr<const FrozenFrame> frame = freezer_.current();
    if (!frame)
        frame = std::make_shared<const FrozenFrame>(FrozenFrame::grab());

    const FrozenFrame::Shot *shot = matchDisplay(displayID, *frame);
    if (!shot && !frame->shots().isEmpty())
        shot = &frame->shots().first();
    if (!shot)
        return failed(ScreenCaptureError::noDisplay);
    log(u"Using display id=" + QString::number(shot->screen.displayID.value_or(0)) + u" size=" +
        sizeText(shot->screen.frame.size()) + u" windowCount=" + QString::number(DesktopWindows::count()));

    return QtConcurrent::run([shot = *shot, drawingOverlay](QPromise<CaptureResult> &promise) {
        const QImage composed = compose(shot, drawingOverlay);
        if (promise.isCanceled())
            return;
        const QImage final = CaptureEncoding::resizeForVisionIfNeeded(composed);
        if (promise.isCanceled())
            return;
        const QByteArray png = CaptureEncoding::png(final);
        if (promise.isCanceled())
            return;
        if (png.isEmpty()) {
            promise.addResult(CaptureResult{{}, describe(ScreenCaptureError::conversionFailed)});
            return;
        }
        log(u"Capture finished finalSize=" + sizeText(final.size()) + u" pngBytes=" +
            QString::number(png.size()));
        promise.addResult(CaptureResult{png, std::nullopt});
    });
}

const FrozenFrame::Shot *ScreenCaptureService::matchDisplay(std::optional<quint32> displayID,
                                                            const FrozenFrame &frame) {
    if (!displayID)
        return nullptr;
    for (const FrozenFrame::Shot &shot : frame.shots()) {
        if (shot.screen.displayID == displayID) {
            log(u"Matched requested display id=" + QString::number(*displayID) + u" to SCDisplay");
            return &shot;
        }
    }
    log(u"Falling back to first display because target display id=" + QString::number(*displayID) +
        u" could not be matched");
    return nullptr;
}

QImage ScreenCaptureService::compose(const FrozenFrame::Shot &shot, const QImage &overlay) {
    const QRect target(QPoint(0, 0), shot.screen.frame.size());
    QImage composed(target.size(), QImage::Format_RGB32);
    QPainter painter(&composed);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(target, shot.picture);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!overlay.isNull())
        painter.drawImage(target, overlay);
    painter.end();
    return composed;
}

#include "capture/ScreenCaptureService.h"

#include "capture/CaptureEncoding.h"
#include "capture/DesktopWindows.h"
#include "capture/ScreenCaptureError.h"
#include "capture/ScreenFreezer.h"
#include "capture/ScreenGrabber.h"
#include "log/DebugLog.h"

#include <QPainter>
#include <QPromise>
#include <QtConcurrent>

namespace {

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("Capture"), message);
}

QString sizeText(QSize size)
{
    return QString::number(size.width()) + u'x' + QString::number(size.height());
}

QFuture<CaptureResult> failed(ScreenCaptureError error)
{
    return QtFuture::makeReadyFuture(CaptureResult{{}, describe(error)});
}

} // namespace

ScreenCaptureService::ScreenCaptureService(ScreenFreezer &freezer)
    : freezer_(freezer)
{
}

QFuture<CaptureResult> ScreenCaptureService::captureWithAnnotations(std::optional<quint32> displayID,
                                                                    const QImage &drawingOverlay)
{
    log(u"Starting capture targetDisplayID=" + (displayID ? QString::number(*displayID) : QStringLiteral("nil")) +
        u" overlaySize=" + sizeText(drawingOverlay.deviceIndependentSize().toSize()));

    // Without an overlay on screen there is no frozen frame; the screens as they are now will do.
    std::shared_ptr<const FrozenFrame> frame = freezer_.current();
    if (!frame)
        frame = std::make_shared<const FrozenFrame>(freezer_.grabber().grab());

    const FrozenFrame::Shot *shot = matchDisplay(displayID, *frame);
    if (!shot && !frame->shots().isEmpty())
        shot = &frame->shots().first();
    if (!shot)
        return failed(ScreenCaptureError::noDisplay);
    log(u"Using display id=" + QString::number(shot->screen.displayID.value_or(0)) + u" size=" +
        sizeText(shot->screen.frame.size()) + u" windowCount=" + QString::number(DesktopWindows::count()));

    // Read back here: the display connection belongs to this thread.
    FrozenFrame::Shot taken{shot->screen, shot->image(), nullptr};
    return QtConcurrent::run([shot = std::move(taken), drawingOverlay](QPromise<CaptureResult> &promise) {
        const QImage final = compose(shot, drawingOverlay);
        if (promise.isCanceled())
            return;
        const QByteArray png = CaptureEncoding::png(final);
        if (promise.isCanceled())
            return;
        if (png.isEmpty()) {
            promise.addResult(CaptureResult{{}, describe(ScreenCaptureError::conversionFailed)});
            return;
        }
        log(u"Capture finished finalSize=" + sizeText(final.size()) + u" pngBytes=" + QString::number(png.size()));
        promise.addResult(CaptureResult{png, std::nullopt});
    });
}

const FrozenFrame::Shot *ScreenCaptureService::matchDisplay(std::optional<quint32> displayID, const FrozenFrame &frame)
{
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

QImage ScreenCaptureService::compose(const FrozenFrame::Shot &shot, const QImage &overlay)
{
    // One pixel per point: a dense screen's picture comes down to the display's size first.
    const QSize displaySize = shot.screen.frame.size();
    QImage screenshot = shot.picture.size() == displaySize
                            ? shot.picture
                            : shot.picture.scaled(displaySize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (screenshot.devicePixelRatio() != 1)
        screenshot.setDevicePixelRatio(1);
    // The strokes go onto the reduced picture: the same result as reducing the composition, without
    // blending a whole display's worth of mostly transparent pixels.
    QImage final = CaptureEncoding::resizeForVisionIfNeeded(screenshot).convertToFormat(QImage::Format_RGB32);
    if (!overlay.isNull()) {
        QPainter painter(&final);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(final.rect(), overlay);
    }
    return final;
}

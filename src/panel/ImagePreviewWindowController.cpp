#include "panel/ImagePreviewWindowController.h"

#include "session/WindowLayer.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace {

constexpr qreal screenShare = 0.85;
const QSizeF minimumSize(320, 240);
const QSizeF assumedVisibleArea(1280, 800);

// The preview: the image scaled to fit, centred. Escape and Space close it.
class ImagePreviewWindow : public QWidget {
public:
    explicit ImagePreviewWindow(const QImage &image)
        : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint)
        , image_(image)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setObjectName(QStringLiteral("imagePreview"));
        setProperty(windowLayerProperty, int(WindowLayer::Preview));
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Space)
            close();
        else
            QWidget::keyPressEvent(event);
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSize fitted = image_.size().scaled(size(), Qt::KeepAspectRatio);
        painter.drawImage(QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted),
                          image_);
    }

private:
    QImage image_;
};

} // namespace

QSizeF ImagePreviewWindowController::contentSize(QSizeF image, QSizeF visibleArea)
{
    const qreal w = image.width();
    const qreal h = image.height();
    if (w > 0 && h > 0) {
        const qreal scale = qMin(screenShare * visibleArea.width() / w, screenShare * visibleArea.height() / h);
        if (scale < 1)
            return QSizeF(qMax(w * scale, minimumSize.width()), qMax(h * scale, minimumSize.height()));
    }
    return QSizeF(qMax(w, minimumSize.width()), qMax(h, minimumSize.height()));
}

ImagePreviewWindowController::ImagePreviewWindowController(const QImage &image, const QString &title, QScreen *screen)
    : window_(new ImagePreviewWindow(image))
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect visible = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), assumedVisibleArea.toSize());
    const QSizeF size = contentSize(image.size(), visible.size());
    const QSize content(int(std::round(size.width())), int(std::round(size.height())));
    window_->setWindowTitle(title);
    window_->resize(content);
    window_->move(visible.center() - QPoint(content.width() / 2, content.height() / 2));
}

ImagePreviewWindowController::~ImagePreviewWindowController()
{
    // A preview on screen stays until the user closes it (it then deletes itself); one never shown
    // goes with its controller.
    if (window_ && !window_->isVisible())
        delete window_.data();
}

void ImagePreviewWindowController::showWindow()
{
    window_->show();
    window_->raise();
    window_->activateWindow();
}

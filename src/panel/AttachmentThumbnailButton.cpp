#include "panel/AttachmentThumbnailButton.h"

#include "panel/QueryPanelTheme.h"
#include "panel/RoundIconButton.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

AttachmentThumbnailButton::AttachmentThumbnailButton(const QImage &image, bool removable, QWidget *parent)
    : QAbstractButton(parent)
    , image_(image)
{
    setFixedSize(thumbnailSize(image.size()));
    setToolTip(QStringLiteral("Click to view full size"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    if (removable) {
        removeButton_ = new RoundIconButton(this);
        removeButton_->setToolTip(QStringLiteral("Remove attachment"));
        removeButton_->move(width() - RoundIconButton::diameter - 6, 6);
        connect(removeButton_, &RoundIconButton::pressed, this, &AttachmentThumbnailButton::removeRequested);
    }
}

QSize AttachmentThumbnailButton::thumbnailSize(QSize imageSize)
{
    const qreal w = imageSize.width();
    const qreal h = imageSize.height();
    const qreal scale = w > 0 && h > 0 ? qMin(220 / w, 140 / h) : 1;
    return QSize(qMax(int(std::floor(w * scale)), 80), qMax(int(std::floor(h * scale)), 50));
}

void AttachmentThumbnailButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    painter.setClipPath(clip);
    // Proportionally scaled and centred: the minimum size may leave bands on one side.
    const QSize fitted = image_.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.drawImage(target, image_);
    painter.setClipping(false);
    painter.setPen(hasFocus() ? QPen(QueryPanelTheme::accent(), 2) : QPen(QueryPanelTheme::subtleBorder(), 1));
    painter.drawPath(clip);
}

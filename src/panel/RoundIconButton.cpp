#include "panel/RoundIconButton.h"

#include "panel/QueryPanelTheme.h"
#include "panel/SymbolIcon.h"

#include <QPainter>

RoundIconButton::RoundIconButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setIcon(SymbolIcon::tinted(QStringLiteral("xmark"), Qt::white, QSize(10, 10)));
    setIconSize(QSize(10, 10));
    setAccessibleName(QStringLiteral("Remove"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(diameter, diameter);
}

void RoundIconButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(hasFocus() ? QPen(QueryPanelTheme::accent(), 2) : QPen(Qt::NoPen));
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.7f));
    // Always a circle, whatever size the layout gives it.
    const qreal side = qMin(width(), height()) - (hasFocus() ? 2 : 0); // the focus ring inside
    painter.drawEllipse(QRectF((width() - side) / 2, (height() - side) / 2, side, side));
    const QRect iconRect(QPoint((width() - iconSize().width()) / 2, (height() - iconSize().height()) / 2), iconSize());
    icon().paint(&painter, iconRect);
}

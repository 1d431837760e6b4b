#include "panel/SpinnerView.h"

#include "panel/QueryPanelTheme.h"

#include <QPainter>

SpinnerView::SpinnerView(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(sizeHint());
    setVisible(false);
    rotation_.setStartValue(0.0);
    rotation_.setEndValue(360.0);
    rotation_.setDuration(900);
    rotation_.setLoopCount(-1);
    connect(&rotation_, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

void SpinnerView::start()
{
    setVisible(true);
    if (!isSpinning())
        rotation_.start();
}

void SpinnerView::stop()
{
    rotation_.stop();
    setVisible(false);
}

void SpinnerView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QueryPanelTheme::dimText(), 1.6, Qt::SolidLine, Qt::RoundCap));
    const QRectF arc = QRectF(rect()).adjusted(2, 2, -2, -2);
    const int start = -int(rotation_.currentValue().toReal() * 16);
    painter.drawArc(arc, start, 270 * 16);
}

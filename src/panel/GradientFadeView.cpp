#include "panel/GradientFadeView.h"

#include "panel/QueryPanelTheme.h"

#include <QLinearGradient>
#include <QPainter>

GradientFadeView::GradientFadeView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void GradientFadeView::paintEvent(QPaintEvent *)
{
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, QueryPanelTheme::withAlpha(QueryPanelTheme::background(), 0));
    gradient.setColorAt(1, QueryPanelTheme::background());
    QPainter(this).fillRect(rect(), gradient);
}

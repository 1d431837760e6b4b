#include "panel/KeyBadgeView.h"

#include "panel/QueryPanelTheme.h"

#include <QPainter>

KeyBadgeView::KeyBadgeView(const QString &label, QWidget *parent)
    : QLabel(label, parent)
{
    setFont(QueryPanelTheme::systemFont(10, QFont::Medium));
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, QueryPanelTheme::withAlpha(QueryPanelTheme::dimText(), 0.65));
    setPalette(palette);
    setContentsMargins(5, 2, 5, 2);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void KeyBadgeView::paintEvent(QPaintEvent *event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QueryPanelTheme::subtleBorder(), 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    }
    QLabel::paintEvent(event);
}

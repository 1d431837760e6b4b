#include "panel/ModelPillButton.h"

#include "panel/QueryPanelTheme.h"

ModelPillButton::ModelPillButton(QWidget *parent)
    : QPushButton(parent)
{
    setFlat(true);
    setFont(QueryPanelTheme::systemFont(10));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedHeight(pillHeight);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setStyleSheet(QStringLiteral("QPushButton { background: rgba(255, 255, 255, 7%); border: 0.5px solid "
                                 "rgba(255, 255, 255, 16%); border-radius: 11px; color: rgba(255, 255, 255, "
                                 "65%); padding: 0px 4px; } QPushButton:focus { border-color: rgba(255, 255, 255, "
                                 "60%); }"));
}

QSize ModelPillButton::sizeHint() const
{
    // Room on both sides of the title, as the pill's rounded ends need.
    const QSize natural = QPushButton::sizeHint();
    return QSize(natural.width() + 14, pillHeight);
}

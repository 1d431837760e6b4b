#include "panel/HoldToRecordButton.h"

#include <QMouseEvent>

HoldToRecordButton::HoldToRecordButton(QWidget *parent)
    : QToolButton(parent)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QStringLiteral("Record"));
    setToolTip(QStringLiteral("Hold to record a question"));
    setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
}

void HoldToRecordButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || held_)
        return;
    held_ = true;
    Q_EMIT pressStarted();
}

// Qt keeps sending the held button's moves and release here, also outside the button.
void HoldToRecordButton::mouseMoveEvent(QMouseEvent *) {}

void HoldToRecordButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !held_)
        return;
    held_ = false;
    Q_EMIT pressEnded();
}

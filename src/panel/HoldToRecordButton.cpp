#include "panel/HoldToRecordButton.h"

#include "panel/QueryPanelTheme.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <utility>

HoldToRecordButton::HoldToRecordButton(QWidget *parent)
    : QToolButton(parent)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QStringLiteral("Record"));
    setToolTip(QStringLiteral("Hold to record a question"));
    setStyleSheet(QueryPanelTheme::iconButtonStyle());
}

void HoldToRecordButton::hold(bool held)
{
    if (std::exchange(held_, held) == held)
        return;
    if (held)
        Q_EMIT pressStarted();
    else
        Q_EMIT pressEnded();
}

void HoldToRecordButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        hold(true);
}

// Qt keeps sending the held button's moves and release here, also outside the button.
void HoldToRecordButton::mouseMoveEvent(QMouseEvent *) {}

void HoldToRecordButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        hold(false);
}

void HoldToRecordButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Space)
        return QToolButton::keyPressEvent(event);
    if (!event->isAutoRepeat())
        hold(true);
}

void HoldToRecordButton::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Space)
        return QToolButton::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        hold(false);
}

#include "drawing/OverlayWindow.h"

#include <QKeyEvent>
#include <QPainter>
#include <QWindow>

OverlayWindow::OverlayWindow(const QRect &unionRect)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , unionOrigin_(unionRect.topLeft())
{
    // Every pixel comes from the frozen frame; nothing needs clearing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setGeometry(unionRect);
}

void OverlayWindow::setFrame(std::shared_ptr<const FrozenFrame> frame)
{
    frame_ = std::move(frame);
    update();
}

void OverlayWindow::setHoldsKeyboard(bool hold)
{
    wantsKeyboard_ = hold;
    applyKeyboardGrab();
}

// A grab only succeeds once the window is viewable, so it is retried when the window is painted.
void OverlayWindow::applyKeyboardGrab()
{
    if (wantsKeyboard_ == holdsKeyboard_ || !windowHandle())
        return;
    if (!wantsKeyboard_) {
        windowHandle()->setKeyboardGrabEnabled(false);
        holdsKeyboard_ = false;
    } else if (isVisible()) {
        holdsKeyboard_ = windowHandle()->setKeyboardGrabEnabled(true);
    }
}

void OverlayWindow::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    QRegion uncovered = event->region();
    if (frame_) {
        for (const FrozenFrame::Shot &shot : frame_->shots()) {
            const QRect area = shot.screen.frame.translated(-unionOrigin_);
            painter.drawImage(area.topLeft(), shot.picture);
            uncovered -= area;
        }
    }
    // Parts of the union no screen shows.
    for (const QRect &rect : uncovered)
        painter.fillRect(rect, Qt::black);
    painter.end();
    applyKeyboardGrab();
}

void OverlayWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        Q_EMIT escapePressed();
    else
        event->ignore();
}

#include "drawing/OverlayWindow.h"

#include <QBackingStore>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

OverlayWindow::OverlayWindow(QScreen *screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , screenFrame_(screen->geometry())
{
    // Every pixel comes from the frozen frame; nothing needs clearing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setScreen(screen);
    setGeometry(screenFrame_);
}

void OverlayWindow::prepare()
{
    winId();
    QBackingStore *store = backingStore();
    if (!store)
        return;
    // The widget's repaint manager keeps a backing store that already has the window's size.
    store->resize(size());
    const QRect area(QPoint(0, 0), size());
    store->beginPaint(area);
    QPainter painter(store->paintDevice());
    painter.fillRect(area, Qt::black);
    painter.end();
    store->endPaint();
}

void OverlayWindow::setFrame(std::shared_ptr<const FrozenFrame> frame)
{
    frame_ = std::move(frame);
    picture_ = nullptr;
    if (frame_) {
        for (const FrozenFrame::Shot &shot : frame_->shots())
            if (shot.screen.frame == screenFrame_)
                picture_ = &shot.picture;
    }
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
    if (picture_)
        painter.drawImage(QPoint(0, 0), *picture_);
    else
        painter.fillRect(event->rect(), Qt::black);
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

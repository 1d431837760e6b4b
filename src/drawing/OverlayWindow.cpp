#include "drawing/OverlayWindow.h"

#include <QBackingStore>
#include <QGuiApplication>
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
    // A Wayland client cannot place its windows; a full-screen window covers the output it is given.
    if (QGuiApplication::platformName() == u"wayland")
        setWindowState(Qt::WindowFullScreen);
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

void OverlayWindow::releaseBuffer()
{
    QBackingStore *store = backingStore();
    if (store && !isVisible())
        store->resize(QSize(1, 1));
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

void OverlayWindow::setHoldsInput(bool hold)
{
    wantsInput_ = hold;
    applyGrabs();
}

// A grab only succeeds once the window is viewable, and the pointer's not while another client holds
// it (a quick draw's button grab), so they are retried when the window is painted.
void OverlayWindow::applyGrabs()
{
    if (!windowHandle())
        return;
    if (!wantsInput_) {
        if (std::exchange(holdsKeyboard_, false))
            windowHandle()->setKeyboardGrabEnabled(false);
        pointerGrab_.release();
    } else if (isVisible()) {
        if (!holdsKeyboard_)
            holdsKeyboard_ = windowHandle()->setKeyboardGrabEnabled(true);
        pointerGrab_.take(*windowHandle());
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
    applyGrabs();
}

void OverlayWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        Q_EMIT escapePressed();
    else
        event->ignore();
}

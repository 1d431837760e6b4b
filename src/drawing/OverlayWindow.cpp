#include "drawing/OverlayWindow.h"

#include "drawing/DrawingCanvasView.h"
#include "log/DebugLog.h"
#include "platform/DisplayPlatform.h"

#include <QBackingStore>
#include <QKeyEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QWindow>

#include <chrono>

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
    if (DisplayPlatform::isWayland())
        setWindowState(Qt::WindowFullScreen);
}

void OverlayWindow::prepare(bool serverPaintsFrames)
{
    winId();
    if (serverPaintsFrames)
        return; // no buffer to fill
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
    if (onServer_ && windowHandle())
        onServer_->removeFrom(*windowHandle());
    frame_ = std::move(frame);
    framePainted_ = false;
    picture_ = nullptr;
    onServer_ = nullptr;
    if (frame_) {
        for (const FrozenFrame::Shot &shot : frame_->shots()) {
            if (shot.screen.frame == screenFrame_) {
                picture_ = &shot.picture;
                onServer_ = shot.onServer.get();
            }
        }
    }
    // Only while it shows a frame: a child made while it is set gets a native window of its own, which
    // would cover what this window paints for it.
    setAttribute(Qt::WA_PaintOnScreen, onServer_ != nullptr);
    if (onServer_) {
        winId();
        onServer_->showBehind(*windowHandle());
        // The children paint through this window, which has no buffer for them. Rendered on their own,
        // they would fill their backgrounds first.
        for (QWidget *child : findChildren<QWidget *>()) {
            child->installEventFilter(this);
            if (child->parentWidget() == this)
                child->setAttribute(Qt::WA_NoSystemBackground);
        }
    }
    update();
}

QPaintEngine *OverlayWindow::paintEngine() const
{
    return testAttribute(Qt::WA_PaintOnScreen) ? nullptr : QWidget::paintEngine();
}

// Where the children have drawn something: the strokes, the toolbar. Elsewhere the frame shows alone.
QRegion OverlayWindow::drawnOn() const
{
    QRegion drawn;
    for (const QObject *object : children()) {
        const auto *child = qobject_cast<const QWidget *>(object);
        if (!child || !child->isVisible())
            continue;
        if (const auto *view = qobject_cast<const DrawingCanvasView *>(child))
            drawn += view->inkedArea().translated(view->pos());
        else
            drawn += child->geometry();
    }
    return drawn;
}

void OverlayWindow::repaintOnServer(const QRegion &area)
{
    const qreal ratio = devicePixelRatio();
    const auto toDevice = [ratio](const QRegion &logical) {
        QRegion device;
        for (const QRect &rect : logical)
            device += QRectF(QRectF(rect).topLeft() * ratio, QRectF(rect).size() * ratio).toAlignedRect();
        return device;
    };
    const QScopedValueRollback rendering(rendering_, true);
    onServer_->repaint(*windowHandle(), toDevice(area), toDevice(drawnOn()), [this, ratio](QPainter &painter) {
        // Rendered into the tile, the children paint as in any other window.
        setAttribute(Qt::WA_PaintOnScreen, false);
        painter.scale(ratio, ratio);
        const QRect tile = painter.worldTransform()
                               .inverted()
                               .mapRect(QRectF(0, 0, painter.device()->width(), painter.device()->height()))
                               .toAlignedRect();
        for (QObject *object : children()) {
            auto *child = qobject_cast<QWidget *>(object);
            const QRegion source = child && child->isVisible() ? QRegion(tile & child->geometry()) : QRegion();
            if (source.isEmpty())
                continue;
            child->render(&painter, source.boundingRect().topLeft(), source.translated(-child->pos()),
                          QWidget::DrawChildren);
        }
        setAttribute(Qt::WA_PaintOnScreen);
    });
}

// Qt drops the updates of a child of a window that paints on screen, and would have it paint without a
// device when the window repaints: this window paints its children's areas instead.
bool OverlayWindow::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!onServer_ || !widget || widget->window() != this)
        return false;
    if (event->type() == QEvent::UpdateRequest)
        update(QRect(widget->mapTo(this, QPoint(0, 0)), widget->size()));
    return event->type() == QEvent::Paint && !rendering_;
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
    if (onServer_) {
        repaintOnServer(event->region());
    } else {
        QPainter painter(this);
        if (picture_)
            painter.drawImage(QPoint(0, 0), *picture_);
        else
            painter.fillRect(event->rect(), Qt::black);
    }
    applyGrabs();
    // The monotonic clock is the system's, so that a measurement compares it with the moment it ran
    // `glint annotate`.
    if ((picture_ || onServer_) && !std::exchange(framePainted_, true))
        DebugLog::log(QStringLiteral("OverlayWindow"),
                      u"Frozen frame painted screen=" + screen()->name() + u" monotonicMs=" +
                          QString::number(std::chrono::duration<double, std::milli>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count(),
                                          'f', 1));
}

// Said, as desktops hand the keyboard to a new window in their own time, or not at all.
void OverlayWindow::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    DebugLog::log(QStringLiteral("OverlayWindow"), u"Keyboard focus screen=" + screen()->name());
}

void OverlayWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    Q_EMIT hidden();
}

void OverlayWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        Q_EMIT escapePressed();
    else
        event->ignore();
}

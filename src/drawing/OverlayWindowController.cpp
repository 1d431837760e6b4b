#include "drawing/OverlayWindowController.h"

#include "capture/ScreenFreezer.h"
#include "drawing/DrawingCanvasView.h"
#include "drawing/DrawingState.h"
#include "drawing/DrawingToolbarContentView.h"
#include "drawing/OverlayWindow.h"
#include "log/DebugLog.h"
#include "session/AnnotationSession.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

QRect unionOfScreens()
{
    QRect united;
    for (const QScreen *screen : QGuiApplication::screens())
        united |= screen->geometry();
    return united;
}

} // namespace

OverlayWindowController::OverlayWindowController(AnnotationSession &session, bool showToolbar, ScreenFreezer &freezer)
    : session_(session)
    , freezer_(freezer)
    , unionRect_(unionOfScreens())
    , window_(new OverlayWindow(unionRect_))
    , drawingState_(new DrawingState(window_))
    , canvasView_(new DrawingCanvasView(unionRect_.topLeft(), *drawingState_, session, window_))
{
    canvasView_->setGeometry(QRect(QPoint(0, 0), unionRect_.size()));

    const QScreen *main = QGuiApplication::primaryScreen();
    if (showToolbar && main) {
        toolbarView_ = new DrawingToolbarContentView(*drawingState_, session, window_);
        toolbarView_->setGeometry(toolbarView_->placement(main->geometry().translated(-unionRect_.topLeft())));
    }

    AnnotationSession *target = &session;
    connect(window_, &OverlayWindow::escapePressed, window_, [target] {
        DebugLog::log(QStringLiteral("OverlayWindow"), QStringLiteral("Escape pressed — cancelling session"));
        target->cancel();
    });
    connect(&session, &AnnotationSession::stateChanged, this, &OverlayWindowController::updateKeyboardGrab);
}

OverlayWindowController::~OverlayWindowController()
{
    close();
    if (window_)
        window_->deleteLater();
}

OverlayCanvas *OverlayWindowController::canvas()
{
    return canvasView_.data();
}

OverlayWindow *OverlayWindowController::window() const
{
    return window_;
}

DrawingCanvasView *OverlayWindowController::canvasView() const
{
    return canvasView_;
}

DrawingToolbarContentView *OverlayWindowController::toolbarView() const
{
    return toolbarView_;
}

void OverlayWindowController::show()
{
    freezer_.freeze(this, [this](std::shared_ptr<const FrozenFrame> frame) {
        if (closed_ || !window_)
            return;
        window_->setFrame(std::move(frame));
        window_->show();
        window_->raise();
        window_->activateWindow();
        updateKeyboardGrab();
    });
}

// Only the user's drawing needs the keyboard; the query panel takes it as soon as it opens.
void OverlayWindowController::updateKeyboardGrab()
{
    if (window_)
        window_->setHoldsKeyboard(!closed_ && session_.state() == SessionState::Drawing);
}

void OverlayWindowController::close()
{
    if (closed_)
        return;
    closed_ = true;
    if (canvasView_)
        canvasView_->resetCursor();
    updateKeyboardGrab();
    if (window_)
        window_->hide();
}

void OverlayWindowController::hideToolbar()
{
    if (toolbarView_)
        toolbarView_->hide();
}

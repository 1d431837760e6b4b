#include "drawing/OverlayWindowController.h"

#include "capture/ScreenFreezer.h"
#include "drawing/DrawingCanvasView.h"
#include "drawing/DrawingToolbarContentView.h"
#include "drawing/OverlayWindow.h"
#include "drawing/OverlayWindows.h"
#include "log/DebugLog.h"
#include "platform/WaylandActivation.h"
#include "session/AnnotationSession.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace {

QRect unionOf(const QList<QPointer<OverlayWindow>> &windows)
{
    QRect united;
    for (const OverlayWindow *window : windows)
        united |= window->geometry();
    return united;
}

QList<QPointer<OverlayWindow>> guarded(const QList<OverlayWindow *> &windows)
{
    return QList<QPointer<OverlayWindow>>(windows.begin(), windows.end());
}

} // namespace

OverlayWindowController::OverlayWindowController(AnnotationSession &session, bool showToolbar, OverlayWindows &windows)
    : session_(session)
    , overlayWindows_(windows)
    , windows_(guarded(windows.windows()))
    , unionRect_(unionOf(windows_))
    , canvas_(unionRect_, drawingState_, session)
{
    for (OverlayWindow *window : windows_) {
        auto *view = new DrawingCanvasView(canvas_, window->geometry().topLeft() - unionRect_.topLeft(), window);
        view->setGeometry(window->rect());
        views_.append(view);
        if (!keyWindow_ || window->screen() == QGuiApplication::primaryScreen())
            keyWindow_ = window;

        AnnotationSession *target = &session;
        connect(window, &OverlayWindow::escapePressed, this, [target] {
            DebugLog::log(QStringLiteral("OverlayWindow"), QStringLiteral("Escape pressed — cancelling session"));
            target->cancel();
        });
    }
    if (showToolbar && keyWindow_ && QGuiApplication::primaryScreen()) {
        toolbarView_ = new DrawingToolbarContentView(drawingState_, session, keyWindow_);
        toolbarView_->setGeometry(toolbarView_->placement(keyWindow_->rect()));
    }
    connect(&session, &AnnotationSession::stateChanged, this, &OverlayWindowController::updateGrabs);
}

OverlayWindowController::~OverlayWindowController()
{
    close();
    for (const QPointer<DrawingCanvasView> &view : views_) {
        if (view)
            view->deleteLater();
    }
    if (toolbarView_)
        toolbarView_->deleteLater();
}

DrawingToolbarContentView *OverlayWindowController::toolbarView() const
{
    return toolbarView_;
}

void OverlayWindowController::show()
{
    overlayWindows_.freezer().freeze(this, [this](std::shared_ptr<const FrozenFrame> frame) {
        if (closed_)
            return;
        frame_ = frame;
        for (OverlayWindow *window : windows_) {
            if (!window)
                continue;
            window->setFrame(frame);
            window->show();
            window->raise();
        }
        if (keyWindow_) {
            keyWindow_->activateWindow();
            // Where the desktop gave `glint annotate` a token, the desktop takes it as the user's wish.
            if (QWindow *handle = keyWindow_->windowHandle())
                WaylandActivation::activate(*handle);
        }
        updateGrabs();
    });
}

// Only the user's drawing needs the keyboard and the pointer; the query panel takes the keyboard as
// soon as it opens.
void OverlayWindowController::updateGrabs()
{
    if (keyWindow_)
        keyWindow_->setHoldsInput(!closed_ && session_.state() == SessionState::Drawing);
}

void OverlayWindowController::close()
{
    if (closed_)
        return;
    closed_ = true;
    canvas_.resetCursor();
    updateGrabs();
    for (const QPointer<DrawingCanvasView> &view : views_) {
        if (view)
            view->hide();
    }
    hideToolbar();
    for (OverlayWindow *window : windows_) {
        if (!window)
            continue;
        window->hide();
        window->setFrame(nullptr);
    }
    // Until the next turn of the event loop, so that a capture started right after the drawing ends
    // still cuts its picture from this frame. Held by the window set, which goes before the display
    // connection the frame may be kept on, even when the loop has stopped.
    QTimer::singleShot(0, &overlayWindows_, [frame = std::move(frame_)] {});
    overlayWindows_.drawingEnded();
}

void OverlayWindowController::hideToolbar()
{
    if (toolbarView_)
        toolbarView_->hide();
}

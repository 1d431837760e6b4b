#pragma once

#include "capture/FrozenFrame.h"
#include "drawing/DrawingCanvas.h"
#include "drawing/DrawingState.h"
#include "session/Overlay.h"

#include <QList>
#include <QObject>
#include <QPointer>

class AnnotationSession;
class DrawingCanvasView;
class DrawingToolbarContentView;
class OverlayWindow;
class OverlayWindows;
class ScreenFreezer;

// One drawing: freezes the screens, covers each with its overlay window and a view of the one canvas,
// shows the toolbar on the main screen when asked to, and cancels the session on Escape. Made by the
// session's window factory for every drawing and never shown again once closed; the windows
// themselves outlive it.
class OverlayWindowController : public QObject, public Overlay {
    Q_OBJECT
public:
    OverlayWindowController(AnnotationSession &session, bool showToolbar, OverlayWindows &windows);
    ~OverlayWindowController() override;

    void show() override;
    void close() override;
    QRect unionRect() const override { return unionRect_; }
    OverlayCanvas *canvas() override { return &canvas_; }
    QPointF mapFromGlobal(QPointF globalPoint) const override { return globalPoint - unionRect_.topLeft(); }
    void hideToolbar() override;

    const QList<QPointer<OverlayWindow>> &windows() const { return windows_; }
    DrawingToolbarContentView *toolbarView() const;
    DrawingState &drawingState() { return drawingState_; }

private:
    void updateGrabs();

    AnnotationSession &session_;
    OverlayWindows &overlayWindows_;
    // Owned by the window set, which may go first when the application quits.
    QList<QPointer<OverlayWindow>> windows_;
    QRect unionRect_;
    QPointer<OverlayWindow> keyWindow_; // the main screen's: it takes the keyboard and holds the toolbar
    DrawingState drawingState_;
    DrawingCanvas canvas_;
    // They go with this drawing, later, since one of their own handlers may end it.
    QList<QPointer<DrawingCanvasView>> views_;
    QPointer<DrawingToolbarContentView> toolbarView_;
    std::shared_ptr<const FrozenFrame> frame_;
    bool closed_ = false;
};

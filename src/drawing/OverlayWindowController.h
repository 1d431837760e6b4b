#pragma once

#include "session/Overlay.h"

#include <QObject>
#include <QPointer>

class AnnotationSession;
class DrawingCanvasView;
class DrawingState;
class DrawingToolbarContentView;
class OverlayWindow;
class ScreenFreezer;

// One drawing: freezes the screens, covers them with the overlay window and its canvas, shows the
// toolbar when asked to, and cancels the session on Escape. Made by the session's window factory for
// every drawing and never shown again once closed.
class OverlayWindowController : public QObject, public Overlay {
    Q_OBJECT
public:
    OverlayWindowController(AnnotationSession &session, bool showToolbar, ScreenFreezer &freezer);
    ~OverlayWindowController() override;

    void show() override;
    void close() override;
    QRect unionRect() const override { return unionRect_; }
    OverlayCanvas *canvas() override;
    QPointF mapFromGlobal(QPointF globalPoint) const override { return globalPoint - unionRect_.topLeft(); }
    void hideToolbar() override;

    OverlayWindow *window() const;
    DrawingCanvasView *canvasView() const;
    DrawingToolbarContentView *toolbarView() const;
    DrawingState &drawingState() const { return *drawingState_; }

private:
    void updateKeyboardGrab();

    AnnotationSession &session_;
    ScreenFreezer &freezer_;
    QRect unionRect_;
    // The widgets go with the window. It is deleted later, since the controller may be dropped while one
    // of the window's own handlers runs (Escape, the cancel button).
    QPointer<OverlayWindow> window_;
    DrawingState *drawingState_;
    QPointer<DrawingCanvasView> canvasView_;
    QPointer<DrawingToolbarContentView> toolbarView_;
    bool closed_ = false;
};

#pragma once

#include <QPointF>
#include <QString>

// Receives what the gesture classifier recognised, on the thread that fed it the event.
class GestureListener {
public:
    virtual ~GestureListener() = default;
    virtual void activate() = 0;
    virtual void activateWithDraw(QPointF point) = 0;
    virtual void quickDrawDrag(QPointF point) = 0;
    virtual void quickDrawUp() = 0;
    virtual void quickDrawReadinessChanged(bool ready) = 0;
    // One diagnostic line, without the "[HotkeyMonitor] " prefix.
    virtual void trace(const QString &line) = 0;
    // The input source is watching: from now on every gesture is seen.
    virtual void monitorStarted() = 0;
    // The input source could not start (`reason` is a short token) and stays inert.
    virtual void monitorFailed(const QString &reason) = 0;
};

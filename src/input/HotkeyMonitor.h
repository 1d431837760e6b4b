#pragma once

#include "input/GestureClassifier.h"
#include "input/GestureListener.h"
#include "input/HotkeyTriggers.h"
#include "input/InputEventSource.h"

#include <QObject>
#include <QPointF>

#include <atomic>
#include <memory>

// Watches the whole session's input for the hotkey and the quick-draw gestures. The classifier runs on
// the source's thread; every signal is emitted there, so receivers on the main thread get it queued,
// after the event's fate has been decided. The triggers are fixed for the monitor's life: a change of
// them means a new monitor.
class HotkeyMonitor : public QObject, private GestureListener {
    Q_OBJECT
public:
    // Without a source, global input comes from X11.
    explicit HotkeyMonitor(const HotkeyTriggers &triggers, std::unique_ptr<InputEventSource> source = {},
                           QObject *parent = nullptr);
    ~HotkeyMonitor() override;

    // A second start while running does nothing.
    void start();
    void stop();
    bool isRunning() const { return running_; }
    // Running and watching: every gesture from now on is seen. Any thread.
    bool isWatching() const { return watching_; }

    const HotkeyTriggers &triggers() const { return classifier_.triggers(); }

Q_SIGNALS:
    void activated();
    void activatedWithDraw(QPointF point);
    void quickDrawDragged(QPointF point);
    void quickDrawReleased();
    void quickDrawHint(bool ready);
    void started();
    void failed(const QString &reason);

private:
    void activate() override;
    void activateWithDraw(QPointF point) override;
    void quickDrawDrag(QPointF point) override;
    void quickDrawUp() override;
    void quickDrawReadinessChanged(bool ready) override;
    void trace(const QString &line) override;
    void monitorStarted() override;
    void monitorFailed(const QString &reason) override;

    GestureClassifier classifier_;
    std::unique_ptr<InputEventSource> source_;
    bool running_ = false;
    std::atomic<bool> watching_ = false;
};

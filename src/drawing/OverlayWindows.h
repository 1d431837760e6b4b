#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <chrono>

class OverlayWindow;
class QScreen;
class ScreenFreezer;

// One overlay window per screen, kept from one drawing to the next: a drawing then starts without
// creating windows. On X the server keeps the frozen frames, and what stays in this process is the
// buffer a capture reads its display into; elsewhere the windows' own buffers, a screenful each. Once no
// drawing has been up for `keepWarmFor` they are let go, and the next drawing makes them again. The
// windows stay.
class OverlayWindows : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultKeepWarmFor = std::chrono::minutes(1);

    explicit OverlayWindows(ScreenFreezer &freezer, std::chrono::milliseconds keepWarmFor = defaultKeepWarmFor,
                            QObject *parent = nullptr);
    ~OverlayWindows() override;

    ScreenFreezer &freezer() const { return freezer_; }

    // The windows of the screens attached now, in the system's order; made anew when the screens
    // changed since the last call.
    const QList<OverlayWindow *> &windows();

    // Makes the native windows and their buffers ahead of the first drawing; does nothing while one is up.
    void prepare();

    // A drawing's windows are hidden: the buffers are kept warm for a while from now.
    void drawingEnded();

    // Whether the buffers were let go since the last drawing.
    bool buffersLetGo() const { return buffersLetGo_; }

Q_SIGNALS:
    // The buffers were let go: the process is idle, and has what drawings and panels left behind to give back.
    void buffersReleased();

private:
    bool screensChanged() const;
    bool drawingIsUp() const;
    void dropWindows();
    void release();

    ScreenFreezer &freezer_;
    QList<QPointer<QScreen>> screens_;
    QList<QRect> frames_;
    QList<OverlayWindow *> windows_;
    QTimer releaseTimer_;
    bool buffersLetGo_ = false;
};

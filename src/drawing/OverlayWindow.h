#pragma once

#include "capture/FrozenFrame.h"
#include "drawing/PointerGrab.h"

#include <QWidget>

#include <memory>

class QScreen;

// The borderless, always-on-top window over one screen. It paints that screen's part of the frozen
// frame, so the desktop looks as it did while the user draws above it, and reports Escape. Kept
// from one drawing to the next.
class OverlayWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverlayWindow(QScreen *screen);

    // Makes the native window and fills its pixel buffer ahead of the first drawing, so that the first
    // one does not wait for the memory to be faulted in.
    void prepare();

    // Gives the window's pixel buffer back while it is hidden; the next paint makes it again.
    void releaseBuffer();

    // The frame to show; null lets go of the last one.
    void setFrame(std::shared_ptr<const FrozenFrame> frame);

    // Takes or gives up the keyboard and the pointer. While it holds the keyboard every key comes here,
    // the global hotkey included; while it holds the pointer no other client's grab cuts into a stroke.
    void setHoldsInput(bool hold);

Q_SIGNALS:
    void escapePressed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applyGrabs();

    QRect screenFrame_;
    std::shared_ptr<const FrozenFrame> frame_;
    const QImage *picture_ = nullptr; // this screen's picture in frame_
    bool wantsInput_ = false;
    bool holdsKeyboard_ = false;
    PointerGrab pointerGrab_;
};

#pragma once

#include "capture/FrozenFrame.h"
#include "drawing/PointerGrab.h"

#include <QWidget>

#include <memory>

class QScreen;

// The borderless, always-on-top window over one screen. It shows that screen's part of the frozen
// frame, so the desktop looks as it did while the user draws above it, and reports Escape. Kept
// from one drawing to the next. When the display server keeps the frame, the server paints it as the
// window's background and this window has no pixel buffer at all: what its children draw (strokes, the
// toolbar) goes to the server in small tiles over the frame, each time one of them repaints.
class OverlayWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverlayWindow(QScreen *screen);

    // Makes the native window ahead of the first drawing, and fills its pixel buffer unless the server
    // paints the frames, so that the first drawing does not wait for the memory to be faulted in.
    void prepare(bool serverPaintsFrames);

    // Gives the window's pixel buffer back while it is hidden; the next paint makes it again.
    void releaseBuffer();

    // The frame to show; null lets go of the last one.
    void setFrame(std::shared_ptr<const FrozenFrame> frame);

    // Takes or gives up the keyboard and the pointer. While it holds the keyboard every key comes here,
    // the global hotkey included; while it holds the pointer no other client's grab cuts into a stroke.
    void setHoldsInput(bool hold);

    // None while the server paints the frame: nothing paints into this window directly.
    QPaintEngine *paintEngine() const override;

Q_SIGNALS:
    void escapePressed();
    void hidden();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyGrabs();
    QRegion drawnOn() const;
    void repaintOnServer(const QRegion &area);

    QRect screenFrame_;
    std::shared_ptr<const FrozenFrame> frame_;
    const QImage *picture_ = nullptr;         // this screen's picture in frame_
    const ServerPicture *onServer_ = nullptr; // or the server's, when it keeps it
    bool framePainted_ = false;               // since frame_ was set
    bool rendering_ = false;                  // the children paint into a tile for the server
    bool wantsInput_ = false;
    bool holdsKeyboard_ = false;
    PointerGrab pointerGrab_;
};

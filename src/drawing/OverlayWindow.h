#pragma once

#include "capture/FrozenFrame.h"

#include <QWidget>

#include <memory>

// The borderless, always-on-top window over the union of all screens. It paints the frozen frame, so
// the desktop looks as it did while the user draws above it, and reports Escape.
class OverlayWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverlayWindow(const QRect &unionRect);

    void setFrame(std::shared_ptr<const FrozenFrame> frame);

    // Takes or gives up the keyboard. While it holds the keyboard every key comes here, the global
    // hotkey included.
    void setHoldsKeyboard(bool hold);

Q_SIGNALS:
    void escapePressed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applyKeyboardGrab();

    QPoint unionOrigin_;
    std::shared_ptr<const FrozenFrame> frame_;
    bool wantsKeyboard_ = false;
    bool holdsKeyboard_ = false;
};

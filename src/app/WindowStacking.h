#pragma once

#include "session/WindowLayer.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>

class QWidget;

// Keeps our windows in their order whatever the user clicks and whatever the window manager raises:
// the overlay, then the query panel, then the image preview, then any window opened meanwhile (the
// settings, the hotkey recorder). Every window of ours that is shown, and every press on the overlay,
// raises the layers above it again; a press on the overlay also gives the keyboard back to the window
// above that had it. A window opened while the overlay or the panel is up is kept above them (the
// desktop's "above" state) until both have gone.
class WindowStacking : public QObject {
    Q_OBJECT
public:
    // Watches every window of the application.
    explicit WindowStacking(QObject *parent = nullptr);
    ~WindowStacking() override;

    // Nothing for windows that take no part: popups, tooltips, frameless windows without a layer.
    static std::optional<WindowLayer> layerOf(const QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void scheduleRestack(WindowLayer above, bool returnFocus);
    void restack();
    bool sessionWindowsUp() const;
    void keepAbove(QWidget *window, bool above);

    QTimer restackTimer_;
    std::optional<WindowLayer> raiseAbove_; // the lowest layer that changed since the last restack
    bool returnFocus_ = false;
    QPointer<QWidget> lastFocused_; // the last window above the overlay that had the keyboard
    QList<QPointer<QWidget>> keptAbove_;
};

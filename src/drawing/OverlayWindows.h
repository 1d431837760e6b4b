#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

class OverlayWindow;
class QScreen;
class ScreenFreezer;

// One overlay window per screen, kept from one drawing to the next: a drawing then starts without
// creating windows, and their pixel buffers are already in place.
class OverlayWindows : public QObject {
    Q_OBJECT
public:
    explicit OverlayWindows(ScreenFreezer &freezer, QObject *parent = nullptr);
    ~OverlayWindows() override;

    ScreenFreezer &freezer() const { return freezer_; }

    // The windows of the screens attached now, in the system's order; made anew when the screens
    // changed since the last call.
    const QList<OverlayWindow *> &windows();

    // Makes the native windows and their buffers ahead of the first drawing; does nothing while one is up.
    void prepare();

private:
    bool screensChanged() const;

    ScreenFreezer &freezer_;
    QList<QPointer<QScreen>> screens_;
    QList<QRect> frames_;
    QList<OverlayWindow *> windows_;
};

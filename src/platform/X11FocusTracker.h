#pragma once

#include "session/FocusTracker.h"

#include <QByteArray>

#include <memory>

class QSocketNotifier;
struct xcb_connection_t;

// The focus of other X11 clients. With a window manager the target is the EWMH active window, followed
// through PropertyNotify of _NET_ACTIVE_WINDOW on the root window and activated again with a pager's
// _NET_ACTIVE_WINDOW request; the client then puts the focus back on its own widget. Without one, the
// X input focus is recorded and set back directly. A connection of its own, so Qt's event masks on the
// root window stay untouched. A window that has gone by restore time is dropped silently.
class X11FocusTracker : public FocusTracker {
public:
    // `display` as for xcb_connect; empty means $DISPLAY.
    explicit X11FocusTracker(QByteArray display = {});
    ~X11FocusTracker() override;

    std::optional<FocusRestorationTarget> frontmostTarget() override;
    void startTracking(std::function<void(const FocusRestorationTarget &)> activated) override;
    void stopTracking() override;
    void restore(const FocusRestorationTarget &target) override;

private:
    struct Atoms;
    bool connect();
    bool hasWindowManager() const;
    std::optional<quint32> activeWindow() const;
    std::optional<FocusRestorationTarget> targetFor(quint32 window, std::optional<quint32> focused) const;
    void selectRootEvents(bool tracking);
    void readEvents();

    QByteArray displayName_;
    xcb_connection_t *connection_ = nullptr;
    quint32 root_ = 0;
    std::unique_ptr<Atoms> atoms_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void(const FocusRestorationTarget &)> activated_;
};

#pragma once

#include <QList>
#include <QPoint>
#include <QSize>

struct wl_display;
struct wl_registry;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

// A pointer device of the Wayland session under test (the compositor's virtual pointer protocol), so that
// clients receive real pointer events. Positions are in the layout of all outputs.
class WaylandPointer {
public:
    // Connects to WAYLAND_DISPLAY; isOpen() is false when the compositor has no virtual pointers.
    explicit WaylandPointer(QSize layout);
    ~WaylandPointer();
    WaylandPointer(const WaylandPointer &) = delete;
    WaylandPointer &operator=(const WaylandPointer &) = delete;

    bool isOpen() const { return pointer_ != nullptr; }

    // Press at the first point, move through the rest and release at the last, in one burst as a fast
    // hand makes it: nothing waits between the events.
    void drag(const QList<QPoint> &points);

private:
    void moveTo(QPoint point);

    QSize layout_;
    wl_display *display_ = nullptr;
    wl_registry *registry_ = nullptr;
    zwlr_virtual_pointer_manager_v1 *manager_ = nullptr;
    zwlr_virtual_pointer_v1 *pointer_ = nullptr;
    unsigned time_ = 1;
};

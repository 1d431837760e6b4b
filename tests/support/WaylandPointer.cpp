#include "WaylandPointer.h"

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <QThread>

#include <wayland-client.h>

#include <cstring>

#include <linux/input-event-codes.h>

namespace {
void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        *static_cast<zwlr_virtual_pointer_manager_v1 **>(data) = static_cast<zwlr_virtual_pointer_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void globalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener registryListener = {global, globalRemove};
} // namespace

WaylandPointer::WaylandPointer(QSize layout)
    : layout_(layout)
{
    display_ = wl_display_connect(nullptr);
    if (!display_)
        return;
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, &manager_);
    wl_display_roundtrip(display_);
    if (!manager_)
        return;
    pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, nullptr);
    wl_display_roundtrip(display_);
}

WaylandPointer::~WaylandPointer()
{
    if (pointer_)
        zwlr_virtual_pointer_v1_destroy(pointer_);
    if (manager_)
        zwlr_virtual_pointer_manager_v1_destroy(manager_);
    if (registry_)
        wl_registry_destroy(registry_);
    if (display_) {
        wl_display_roundtrip(display_);
        wl_display_disconnect(display_);
    }
}

void WaylandPointer::moveTo(QPoint point)
{
    zwlr_virtual_pointer_v1_motion_absolute(pointer_, time_++, uint32_t(point.x()), uint32_t(point.y()),
                                            uint32_t(layout_.width()), uint32_t(layout_.height()));
    zwlr_virtual_pointer_v1_frame(pointer_);
}

void WaylandPointer::drag(const QList<QPoint> &points)
{
    if (!pointer_ || points.isEmpty())
        return;
    moveTo(points.first());
    // The client under the pointer learns that it has it before the press.
    wl_display_roundtrip(display_);
    QThread::msleep(200);
    zwlr_virtual_pointer_v1_button(pointer_, time_++, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(pointer_);
    for (const QPoint &point : points)
        moveTo(point);
    zwlr_virtual_pointer_v1_button(pointer_, time_++, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer_);
    wl_display_roundtrip(display_);
}

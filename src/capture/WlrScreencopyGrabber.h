#pragma once

#include "capture/ScreenGrabber.h"

#include <QList>
#include <QString>

#include <cstdint>

#include <memory>

struct wl_display;
struct wl_registry;
struct wl_shm;
struct wl_output;
struct zwlr_screencopy_manager_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

// Copies every output of a wlroots compositor (Sway, Hyprland, river, labwc, Wayfire) through its screen
// copy protocol, the way grim does: a direct copy into shared memory without asking the user, on a
// connection of its own so that Qt's event handling never sees these objects.
class WlrScreencopyGrabber : public ScreenGrabber {
public:
    // Null unless the Wayland compositor offers screen copies.
    static std::unique_ptr<WlrScreencopyGrabber> connectToCompositor();

    ~WlrScreencopyGrabber() override;

    QString method() const override { return QStringLiteral("wlr-screencopy"); }

    // Every screen Qt knows, matched to its output by name; a screen whose copy failed is left out.
    FrozenFrame grab() override;

    struct Output {
        wl_output *output = nullptr;
        zxdg_output_v1 *described = nullptr;
        QString name; // as Qt names the screen
    };

private:
    WlrScreencopyGrabber() = default;
    bool connect();
    void describe(Output &output);

    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    static void globalRemove(void *data, wl_registry *registry, uint32_t name);

    wl_display *display_ = nullptr;
    wl_registry *registry_ = nullptr;
    wl_shm *shm_ = nullptr;
    zwlr_screencopy_manager_v1 *manager_ = nullptr;
    zxdg_output_manager_v1 *outputNames_ = nullptr;
    QList<std::shared_ptr<Output>> outputs_;
    QList<uint32_t> outputIds_; // registry names, in the order of outputs_
};

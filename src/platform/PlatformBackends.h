#pragma once

#include "input/HotkeyTriggers.h"

#include <functional>
#include <memory>

class FocusTracker;
class InputEventSource;
class QWidget;
class ScreenGrabber;
class WindowPlacement;

// The backend that serves each need on the display server DisplayPlatform chose, behind the interface
// its user owns. Every choice that depends on the display server is made here, and logged.
class PlatformBackends {
public:
    PlatformBackends() = delete;

    // The compositor's screen copies or the desktop's Screenshot portal on Wayland, pixmaps the X server
    // keeps on X11, else Qt's own pictures. Chosen at the first call and kept for the run.
    static ScreenGrabber &screenGrabber();

    // The hotkey and quick draw: X11's grabs and raw events, or on Wayland the desktop's GlobalShortcuts
    // portal.
    static std::unique_ptr<InputEventSource> inputSource(const HotkeyTriggers &triggers);

    // Null where the compositor hands the focus back itself.
    static std::unique_ptr<FocusTracker> focusTracker();

    // Places a query panel's window: Sway's IPC, a KWin script; empty where the window manager places it
    // (X11), or where no one can and the panel goes into the overlay (other Wayland desktops, GNOME).
    using PanelPlacement = std::function<std::unique_ptr<WindowPlacement>(QWidget &window)>;
    static PanelPlacement panelPlacement();
};

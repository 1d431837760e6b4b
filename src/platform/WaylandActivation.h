#pragma once

#include <QString>

class QWindow;

// Hands the keyboard to a window of ours the way Wayland desktops allow a program the user just started:
// with the activation token the desktop gave it (`glint annotate` run from a desktop shortcut, its
// XDG_ACTIVATION_TOKEN handed over to the running instance). Desktops that refuse the focus to a window
// that asks without one give it to a window that shows such a token.
class WaylandActivation {
public:
    WaylandActivation() = delete;

    // Kept for the next window to activate; replaces any earlier one. An empty one changes nothing.
    static void offerToken(const QString &token);
    // Activates `window` with the kept token, once the window is on screen; the token is used once.
    // Nothing without a token or off Wayland.
    static void activate(QWindow &window);
};

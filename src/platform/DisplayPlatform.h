#pragma once

#include <QByteArray>
#include <QString>

// Whether Glint runs as an X11 client or as a native Wayland client. Chosen once, before the
// application object exists, from the session's environment; GLINT_PLATFORM=x11|wayland forces one.
// The only place that asks Qt which platform it runs on.
class DisplayPlatform {
public:
    DisplayPlatform() = delete;

    struct Environment {
        QByteArray forced;         // GLINT_PLATFORM
        QByteArray waylandDisplay; // WAYLAND_DISPLAY
        QByteArray qtPlatform;     // QT_QPA_PLATFORM
    };

    struct Choice {
        QByteArray qtPlatform; // what QT_QPA_PLATFORM becomes; empty leaves it as it is
        QString reason;
        bool mayUseXlib = true; // false only when Qt can start nothing but a Wayland client
    };

    static Choice decide(const Environment &environment);

    // Applies decide() to this process's environment; the reason is kept for logChoice(). Lets Xlib be
    // used from several threads where it may be used at all: call before any other Xlib or Qt GUI use.
    static void choose();

    // One log line naming the platform Qt actually runs on and why. After the log was emptied.
    static void logChoice();

    static bool isWayland();
    static bool isX11();
};

#pragma once

#include <QString>

// Tells the user something through the desktop's notification service (org.freedesktop.Notifications);
// without one on the session bus, the log line is all there is.
class DesktopNotifier {
public:
    DesktopNotifier() = delete;

    static void notify(const QString &summary, const QString &body);
};

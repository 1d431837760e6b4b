#pragma once

#include <QObject>

#include <functional>

// Tells the desktop portals who we are before we ask them anything. xdg-desktop-portal 1.19 and later know
// an unsandboxed program only through the Register call of its host Registry, fix the caller's identity at
// its first request, and refuse GlobalShortcuts to a caller without one. Older portals lack the interface,
// which is fine. Once per process (the identity belongs to the bus connection), main thread.
class PortalRegistry {
public:
    static const QString appId;

    // Runs `next` once the portal has answered the registration, at once when it has already; dropped
    // when `context` is gone by then. The first call registers.
    static void whenRegistered(QObject *context, std::function<void()> next);
    // For callers about to query the portal synchronously: registers unless that was asked already,
    // waiting (bounded) for the answer.
    static void registerNow();
};

#pragma once

#include <QList>
#include <QRect>

#include <optional>

// A monitor as the session sees it: its frame in global coordinates (origin top-left) and its stable
// display number, when known.
struct ScreenInfo {
    QRect frame;
    std::optional<quint32> displayID;

    friend bool operator==(const ScreenInfo &, const ScreenInfo &) = default;
};

// The monitors attached right now.
class ScreenCatalog {
public:
    virtual ~ScreenCatalog() = default;
    virtual QList<ScreenInfo> screens() const = 0; // in the system's order
    virtual std::optional<ScreenInfo> mainScreen() const = 0;
};

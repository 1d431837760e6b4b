#pragma once

#include "session/ScreenCatalog.h"

class QScreen;

// The monitors Qt reports, in Qt's order; the primary one is the main screen.
class SystemScreenCatalog : public ScreenCatalog {
public:
    QList<ScreenInfo> screens() const override;
    std::optional<ScreenInfo> mainScreen() const override;

    static ScreenInfo info(const QScreen &screen);
    // Derived from the output's name, so a monitor keeps its number for as long as it stays on the same
    // connector, across sessions and restarts. Never 0, which stands for "unknown".
    static quint32 displayNumber(const QScreen &screen);
};

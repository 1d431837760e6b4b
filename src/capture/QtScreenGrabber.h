#pragma once

#include "capture/ScreenGrabber.h"

class QScreen;

// Qt's own picture of each screen, where the display server offers nothing better.
class QtScreenGrabber : public ScreenGrabber {
public:
    QString method() const override { return QStringLiteral("qt"); }
    FrozenFrame grab() override;

protected:
    virtual FrozenFrame::Shot grabScreen(QScreen &screen);
};

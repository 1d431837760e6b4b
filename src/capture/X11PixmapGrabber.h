#pragma once

#include "capture/QtScreenGrabber.h"

// Copies of the screens that the X server keeps (X11FrozenScreen); Qt's own picture of a screen the
// server cannot copy.
class X11PixmapGrabber : public QtScreenGrabber {
public:
    QString method() const override { return QStringLiteral("x11-pixmap"); }
    bool keepsFramesOnServer() const override { return true; }
    void releaseIdleBuffers() override;

protected:
    FrozenFrame::Shot grabScreen(QScreen &screen) override;
};

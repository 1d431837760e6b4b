#include "drawing/OverlayWindows.h"

#include "capture/FrozenFrame.h"
#include "drawing/OverlayWindow.h"
#include "drawing/PenCursor.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

OverlayWindows::OverlayWindows(ScreenFreezer &freezer, QObject *parent)
    : QObject(parent)
    , freezer_(freezer)
{
}

OverlayWindows::~OverlayWindows()
{
    qDeleteAll(windows_);
}

bool OverlayWindows::screensChanged() const
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() != screens_.size())
        return true;
    for (qsizetype i = 0; i < screens.size(); ++i) {
        if (screens[i] != screens_[i] || screens[i]->geometry() != frames_[i])
            return true;
    }
    return false;
}

const QList<OverlayWindow *> &OverlayWindows::windows()
{
    if (!screensChanged())
        return windows_;
    // A window may be in one of its own handlers when a new drawing starts.
    for (OverlayWindow *window : std::exchange(windows_, {})) {
        window->hide();
        window->deleteLater();
    }
    screens_.clear();
    frames_.clear();
    for (QScreen *screen : QGuiApplication::screens()) {
        screens_.append(screen);
        frames_.append(screen->geometry());
        windows_.append(new OverlayWindow(screen));
    }
    return windows_;
}

void OverlayWindows::prepare()
{
    // Too late: a drawing is up already.
    for (const OverlayWindow *window : windows_) {
        if (window->isVisible())
            return;
    }
    for (OverlayWindow *window : windows())
        window->prepare();
    // The grab buffers, and the server's side of them, are made and paged in once.
    FrozenFrame::grab();
    PenCursor::cursor();
    // Loads the icon engine the toolbar's symbols need.
    QIcon(QStringLiteral(":/drawing/xmark.svg")).pixmap(QSize(18, 18));
}

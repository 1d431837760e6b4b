#include "drawing/OverlayWindows.h"

#include "capture/ScreenFreezer.h"
#include "capture/ScreenGrabber.h"
#include "drawing/OverlayWindow.h"
#include "drawing/PenCursor.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

OverlayWindows::OverlayWindows(ScreenFreezer &freezer, std::chrono::milliseconds keepWarmFor, QObject *parent)
    : QObject(parent)
    , freezer_(freezer)
{
    // Every pointer event of a fast stroke must reach the canvas, not only the last of those queued
    // while the event loop was busy. The xcb platform turns motion compression on while the
    // application is being made, so it can only be turned off once the application exists.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    releaseTimer_.setSingleShot(true);
    releaseTimer_.setInterval(keepWarmFor);
    connect(&releaseTimer_, &QTimer::timeout, this, &OverlayWindows::release);
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

bool OverlayWindows::drawingIsUp() const
{
    for (const OverlayWindow *window : windows_) {
        if (window->isVisible())
            return true;
    }
    return false;
}

void OverlayWindows::dropWindows()
{
    // A window may be in one of its own handlers when a new drawing starts.
    for (OverlayWindow *window : std::exchange(windows_, {})) {
        window->hide();
        window->deleteLater();
    }
    screens_.clear();
    frames_.clear();
}

const QList<OverlayWindow *> &OverlayWindows::windows()
{
    releaseTimer_.stop();
    buffersLetGo_ = false;
    if (!screensChanged())
        return windows_;
    dropWindows();
    for (QScreen *screen : QGuiApplication::screens()) {
        screens_.append(screen);
        frames_.append(screen->geometry());
        windows_.append(new OverlayWindow(screen));
    }
    return windows_;
}

void OverlayWindows::prepare()
{
    if (drawingIsUp())
        return; // too late
    for (OverlayWindow *window : windows())
        window->prepare(freezer_.grabber().keepsFramesOnServer());
    PenCursor::cursor();
    // Loads the icon engine the toolbar's symbols need.
    QIcon(QStringLiteral(":/drawing/xmark.svg")).pixmap(QSize(18, 18));
    releaseTimer_.start();
}

void OverlayWindows::drawingEnded()
{
    releaseTimer_.start();
}

void OverlayWindows::release()
{
    if (drawingIsUp())
        return;
    for (OverlayWindow *window : windows_)
        window->releaseBuffer();
    freezer_.grabber().releaseIdleBuffers();
    buffersLetGo_ = true;
    Q_EMIT buffersReleased();
}

#include "input/HotkeyMonitor.h"

#include "input/X11InputEventSource.h"
#include "log/DebugLog.h"

#include <cstdio>

HotkeyMonitor::HotkeyMonitor(const HotkeyTriggers &triggers, std::unique_ptr<InputEventSource> source, QObject *parent)
    : QObject(parent)
    , classifier_(triggers, *this)
    , source_(source ? std::move(source) : std::make_unique<X11InputEventSource>())
{
}

HotkeyMonitor::~HotkeyMonitor()
{
    stop();
}

void HotkeyMonitor::start()
{
    if (running_)
        return;
    running_ = true;
    source_->start(classifier_, *this);
}

void HotkeyMonitor::stop()
{
    if (!running_)
        return;
    source_->stop();
    running_ = false;
    watching_ = false;
}

void HotkeyMonitor::activate()
{
    Q_EMIT activated();
}

void HotkeyMonitor::activateWithDraw(QPointF point)
{
    Q_EMIT activatedWithDraw(point);
}

void HotkeyMonitor::quickDrawDrag(QPointF point)
{
    Q_EMIT quickDrawDragged(point);
}

void HotkeyMonitor::quickDrawUp()
{
    Q_EMIT quickDrawReleased();
}

void HotkeyMonitor::quickDrawReadinessChanged(bool ready)
{
    Q_EMIT quickDrawHint(ready);
}

void HotkeyMonitor::trace(const QString &line)
{
    std::fprintf(stdout, "[HotkeyMonitor] %s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

void HotkeyMonitor::monitorStarted()
{
    watching_ = true;
    Q_EMIT started();
}

void HotkeyMonitor::monitorFailed(const QString &reason)
{
    DebugLog::log(QStringLiteral("App"), u"Hotkey monitor inert reason=" + reason + u" keyCode=" +
                                             QString::number(triggers().keyCode) + u" modifiers=" +
                                             QString::number(triggers().keyModifiers));
    Q_EMIT failed(reason);
}

#include "input/InputEventSourceFactory.h"

#include "input/GlobalShortcutsPortalSource.h"
#include "input/X11InputEventSource.h"
#include "log/DebugLog.h"

std::unique_ptr<InputEventSource> InputEventSourceFactory::create(const HotkeyTriggers &triggers, bool wayland)
{
    DebugLog::log(QStringLiteral("App"), wayland ? QStringLiteral("Global input source=global-shortcuts-portal")
                                                 : QStringLiteral("Global input source=x11"));
    if (wayland)
        return std::make_unique<GlobalShortcutsPortalSource>(triggers);
    return std::make_unique<X11InputEventSource>();
}

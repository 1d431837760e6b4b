#include "platform/PlatformBackends.h"

#include "capture/KWinScreenShotGrabber.h"
#include "capture/PortalScreenshotGrabber.h"
#include "capture/WlrScreencopyGrabber.h"
#include "capture/X11PixmapGrabber.h"
#include "input/GlobalShortcutsPortalSource.h"
#include "input/X11InputEventSource.h"
#include "log/DebugLog.h"
#include "panel/KWinScriptPlacement.h"
#include "panel/SwayWindowPlacement.h"
#include "platform/DisplayPlatform.h"
#include "platform/X11FocusTracker.h"
#include "portal/PortalRegistry.h"

#include <QFileInfo>

namespace {

std::unique_ptr<ScreenGrabber> chooseScreenGrabber()
{
    if (DisplayPlatform::isWayland()) {
        if (std::unique_ptr<WlrScreencopyGrabber> copies = WlrScreencopyGrabber::connectToCompositor())
            return copies;
        PortalRegistry::registerNow(); // asking whether the portal is there is asking the portal
        std::unique_ptr<ScreenGrabber> portal;
        if (PortalScreenshotGrabber::isOffered())
            portal = std::make_unique<PortalScreenshotGrabber>();
        if (KWinScreenShotGrabber::isOffered())
            return std::make_unique<KWinScreenShotGrabber>(portal ? std::move(portal)
                                                                  : std::make_unique<QtScreenGrabber>());
        if (portal)
            return portal;
    }
    if (DisplayPlatform::isX11())
        return std::make_unique<X11PixmapGrabber>();
    return std::make_unique<QtScreenGrabber>();
}

// Sway's socket when a Wayland client runs in a Sway session; else empty.
QString swaySocket()
{
    const QString path = qEnvironmentVariable("SWAYSOCK");
    if (path.isEmpty() || !QFileInfo(path).isWritable())
        return {};
    return path;
}

} // namespace

ScreenGrabber &PlatformBackends::screenGrabber()
{
    // Made once for the life of the process, like the display connection it reads through.
    static ScreenGrabber *const grabber = chooseScreenGrabber().release();
    return *grabber;
}

std::unique_ptr<InputEventSource> PlatformBackends::inputSource(const HotkeyTriggers &triggers)
{
    const bool wayland = DisplayPlatform::isWayland();
    DebugLog::log(QStringLiteral("App"), wayland ? QStringLiteral("Global input source=global-shortcuts-portal")
                                                 : QStringLiteral("Global input source=x11"));
    if (wayland)
        return std::make_unique<GlobalShortcutsPortalSource>(triggers);
    return std::make_unique<X11InputEventSource>();
}

std::unique_ptr<FocusTracker> PlatformBackends::focusTracker()
{
    if (!DisplayPlatform::isX11())
        return nullptr;
    return std::make_unique<X11FocusTracker>();
}

PlatformBackends::PanelPlacement PlatformBackends::panelPlacement()
{
    const auto chosen = [](const QString &name) { DebugLog::log(QStringLiteral("App"), u"Panel placement=" + name); };
    if (!DisplayPlatform::isWayland()) {
        chosen(QStringLiteral("window-manager"));
        return {};
    }
    if (const QString socket = swaySocket(); !socket.isEmpty()) {
        chosen(QStringLiteral("sway-ipc"));
        return [socket](QWidget &window) { return std::make_unique<SwayWindowPlacement>(window, socket); };
    }
    if (KWinScriptPlacement::isOffered()) {
        chosen(QStringLiteral("kwin-script"));
        return [](QWidget &window) { return std::make_unique<KWinScriptPlacement>(window); };
    }
    chosen(QStringLiteral("in-overlay"));
    return {};
}

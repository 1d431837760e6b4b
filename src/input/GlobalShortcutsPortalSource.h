#pragma once

#include "input/HotkeyTriggers.h"
#include "input/InputEventSource.h"
#include "input/PortalShortcut.h"
#include "portal/PortalRequest.h"

#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

// The hotkey on Wayland: the desktop's GlobalShortcuts portal (KDE Plasma 5.27+, GNOME 48+, Hyprland)
// binds one shortcut, with the configured combination as its preferred trigger, and reports each press.
// The desktop may let the user pick another combination. Quick draw needs the whole desktop's pointer,
// which Wayland does not give, so only the hotkey is recognised. Runs on the main thread's bus connection.
class GlobalShortcutsPortalSource : public QObject, public InputEventSource {
    Q_OBJECT
public:
    static constexpr const char *shortcutId = "annotate";

    explicit GlobalShortcutsPortalSource(const HotkeyTriggers &triggers, QObject *parent = nullptr);
    ~GlobalShortcutsPortalSource() override;

    void start(GestureClassifier &classifier, GestureListener &listener) override;
    void stop() override;

    // The combination in the shortcut notation of the desktop portals, "CTRL+ALT+space"; empty when the
    // key has no name there.
    static QString preferredTrigger(const HotkeyTriggers &triggers);

private Q_SLOTS:
    void activated(const QDBusObjectPath &session, const QString &shortcut, qulonglong timestamp,
                   const QVariantMap &options);

private:
    void request(const QString &method, QList<QVariant> arguments, QVariantMap options,
                 void (GlobalShortcutsPortalSource::*answered)(uint, const QVariantMap &));
    QList<PortalShortcut> shortcuts() const;
    void sessionCreated(uint response, const QVariantMap &results);
    void shortcutsBound(uint response, const QVariantMap &results);
    void fail(const QString &reason);

    HotkeyTriggers triggers_;
    GestureListener *listener_ = nullptr;
    PortalRequest request_;
    QString session_;
};

#pragma once

#include "input/HotkeyTriggers.h"
#include "input/InputEventSource.h"

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
    void sessionCreated(uint response, const QVariantMap &results);
    void shortcutsBound(uint response, const QVariantMap &results);
    void activated(const QDBusObjectPath &session, const QString &shortcut, qulonglong timestamp,
                   const QVariantMap &options);

private:
    // Calls a method whose answer comes as the Response signal of a request object; false when the call
    // could not be made (the failure is reported).
    void request(const QString &method, QList<QVariant> arguments, QVariantMap options, const char *responseSlot);
    void fail(const QString &reason);
    void disconnectRequest();

    HotkeyTriggers triggers_;
    GestureListener *listener_ = nullptr;
    QString requestPath_;
    const char *responseSlot_ = nullptr;
    QString session_;
};

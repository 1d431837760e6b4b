#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <memory>

class HotkeyCaptureDialog;
class PermissionChecker;
class SettingsManager;
class SettingsRootView;
class UpdateController;

// The tray icon and its menu, the settings window (made once, then reused) and the hotkey recorder.
class TrayController : public QObject {
    Q_OBJECT
public:
    TrayController(SettingsManager &settings, const PermissionChecker &permissions, UpdateController &updates,
                   QObject *parent = nullptr);
    ~TrayController() override;

    void openSettingsWindow();
    void openHotkeyDialog();
    // Shown in the settings window under the hotkey; empty once the hotkey works.
    void setHotkeyProblem(const QString &problem);

    QMenu &menu() { return menu_; }
    QSystemTrayIcon &trayIcon() { return trayIcon_; }
    SettingsRootView *settingsWindow() const;
    HotkeyCaptureDialog *hotkeyDialog() const { return hotkeyDialog_.get(); }

Q_SIGNALS:
    void annotationRequested();
    void hotkeyChanged();

private:
    SettingsManager &settings_;
    const PermissionChecker &permissions_;
    QMenu menu_;
    QSystemTrayIcon trayIcon_;
    QPointer<SettingsRootView> settingsWindow_;
    std::unique_ptr<HotkeyCaptureDialog> hotkeyDialog_;
    QString hotkeyProblem_;
};

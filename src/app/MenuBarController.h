#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <memory>

class HotkeyCaptureSheet;
class PermissionChecker;
class SettingsManager;
class SettingsRootView;
class UpdateController;

// The tray icon and its menu, the settings window (made once, then reused) and the hotkey recorder.
class MenuBarController : public QObject {
    Q_OBJECT
public:
    MenuBarController(SettingsManager &settings, const PermissionChecker &permissions, UpdateController &updates,
                      QObject *parent = nullptr);
    ~MenuBarController() override;

    void openSettingsWindow();
    void presentHotkeySheet();
    // Shown in the settings window under the hotkey; empty once the hotkey works.
    void setHotkeyProblem(const QString &problem);

    QMenu &menu() { return menu_; }
    QSystemTrayIcon &statusItem() { return statusItem_; }
    SettingsRootView *settingsWindow() const;
    HotkeyCaptureSheet *hotkeySheet() const { return hotkeySheet_.get(); }

Q_SIGNALS:
    void annotationRequested();
    void hotkeyChanged();

private:
    SettingsManager &settings_;
    const PermissionChecker &permissions_;
    QMenu menu_;
    QSystemTrayIcon statusItem_;
    QPointer<SettingsRootView> settingsWindow_;
    std::unique_ptr<HotkeyCaptureSheet> hotkeySheet_;
    QString hotkeyProblem_;
};

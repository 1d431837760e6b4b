#pragma once

#include "app/MissingPermission.h"
#include "app/PermissionChecker.h"
#include "session/AnnotationSession.h"

#include <QObject>
#include <QPointF>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class HintCapsuleController;
class HotkeyMonitor;
class TrayController;
class OnboardingPresenter;
class SessionParts;
class SettingsManager;
class UpdateController;

// Owns what lives for the whole run, performs the launch sequence, gates all annotation work on the
// required permissions (at launch, every second and at every request) and turns the hotkey monitor's
// gestures into session calls.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    using OnboardingFactory = std::function<std::unique_ptr<OnboardingPresenter>(
        const QList<MissingPermission> &missing, std::function<void()> completed)>;

    // Tests hand in their own settings, session neighbours and permission checker; by default the
    // settings file, the real neighbours and the system's permissions are used.
    explicit AppDelegate(std::unique_ptr<SettingsManager> settings = {},
                         std::optional<SessionNeighbours> neighbours = std::nullopt,
                         std::unique_ptr<PermissionChecker> permissions = {}, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence: tray, settings, hotkey, permissions and, on a first start, the setup window.
    void start();
    void shutDown();
    // `glint` was started again while this instance runs: the user is looking for the settings.
    void reopen();

    void requestAnnotation();
    void requestAnnotationWithDraw(QPointF point);
    bool handlePermissionState(bool forcePresentation);
    void restartHotkeyMonitor();

    // Tests replace the setup window.
    void setOnboardingFactory(OnboardingFactory factory) { onboardingFactory_ = std::move(factory); }

    SettingsManager &settings() { return *settings_; }
    AnnotationSession &session() { return *session_; }
    TrayController *trayController() const { return trayController_.get(); }
    HotkeyMonitor *hotkeyMonitor() const { return hotkeyMonitor_.get(); }
    HintCapsuleController *hintCapsuleController() const { return hintCapsuleController_.get(); }
    UpdateController *updateController() const { return updateController_.get(); }

private:
    void startHotkeyMonitor();
    void stopHotkeyMonitor();
    void startPermissionMonitoring();
    void presentOnboarding(bool forcePresentation);
    void showOnboarding();
    void quickDrawHint(bool ready);
    void hotkeyMonitorFailed(const QString &reason);
    // What the settings say under the hotkey, from its permission row; returns it.
    QString showHotkeyProblem();
    // Puts the hint away; false when a missing permission stops the annotation.
    bool readyToAnnotate();
    void openPermissionsTab();
    // Start at login is on by default once set-up is over.
    void applyStartAtLoginDefault();

    std::unique_ptr<SettingsManager> settings_;
    std::unique_ptr<SessionParts> sessionParts_;
    std::optional<SessionNeighbours> neighbours_;
    std::unique_ptr<PermissionChecker> permissions_;
    std::unique_ptr<AnnotationSession> session_;
    std::unique_ptr<UpdateController> updateController_;
    std::unique_ptr<TrayController> trayController_;
    std::unique_ptr<HotkeyMonitor> hotkeyMonitor_;
    std::unique_ptr<HintCapsuleController> hintCapsuleController_;
    std::unique_ptr<OnboardingPresenter> onboardingController_;
    OnboardingFactory onboardingFactory_;
    QTimer permissionMonitor_;
    QString notifiedHotkeyProblem_; // told once per hotkey
};

#include "app/AppDelegate.h"

#include "app/AutostartEntry.h"
#include "app/DesktopNotifier.h"
#include "app/OnboardingWindowController.h"
#include "app/PermissionChecker.h"
#include "app/SessionParts.h"
#include "app/SettingsView.h"
#include "app/TrayController.h"
#include "app/UpdateController.h"
#include "drawing/HintCapsuleController.h"
#include "input/HotkeyMonitor.h"
#include "input/ModifierFlags.h"
#include "log/DebugLog.h"
#include "platform/DisplayPlatform.h"
#include "platform/PlatformBackends.h"
#include "settings/SettingsManager.h"

#include <QApplication>

namespace {
constexpr int permissionCheckIntervalMs = 1000;
}

AppDelegate::AppDelegate(std::unique_ptr<SettingsManager> settings, std::optional<SessionNeighbours> neighbours,
                         std::unique_ptr<PermissionChecker> permissions, QObject *parent)
    : QObject(parent)
    , settings_(std::move(settings))
    , neighbours_(std::move(neighbours))
    , permissions_(permissions ? std::move(permissions) : std::make_unique<PermissionChecker>())
{
    permissionMonitor_.setInterval(permissionCheckIntervalMs);
    connect(&permissionMonitor_, &QTimer::timeout, this, [this] { handlePermissionState(false); });
    onboardingFactory_ = [this](const QList<MissingPermission> &missing, std::function<void()> completed) {
        return std::make_unique<OnboardingWindowController>(OnboardingWindowController::stepsFor(missing),
                                                            *permissions_, *settings_, std::move(completed));
    };
}

AppDelegate::~AppDelegate()
{
    shutDown();
}

void AppDelegate::start()
{
    DebugLog::reset();
    DebugLog::log(QStringLiteral("App"), QStringLiteral("Application did finish launching"));
    DisplayPlatform::logChoice();

    // Created after the log was emptied, so what loading the preferences reports is kept.
    if (!settings_)
        settings_ = std::make_unique<SettingsManager>();
    if (!neighbours_) {
        sessionParts_ = std::make_unique<SessionParts>([this] { reopen(); });
        neighbours_ = sessionParts_->neighbours();
    }
    session_ = std::make_unique<AnnotationSession>(*neighbours_);
    session_->setSettings(settings_.get());

    updateController_ = std::make_unique<UpdateController>();
    updateController_->checkForUpdates(false);

    trayController_ = std::make_unique<TrayController>(*settings_, *permissions_, *updateController_);
    connect(trayController_.get(), &TrayController::annotationRequested, this, &AppDelegate::requestAnnotation);
    connect(trayController_.get(), &TrayController::hotkeyChanged, this, &AppDelegate::restartHotkeyMonitor);
    permissions_->setChangeHotkey([menu = trayController_.get()] { menu->openHotkeyDialog(); });
    // New quick-draw triggers apply at once; a new hotkey only once the recorder has closed.
    connect(settings_.get(), &SettingsManager::quickDrawModifiersChanged, this, &AppDelegate::restartHotkeyMonitor);
    connect(settings_.get(), &SettingsManager::quickDrawMiddleMouseEnabledChanged, this,
            &AppDelegate::restartHotkeyMonitor);

    startPermissionMonitoring();
    handlePermissionState(true);
    // Set-up also asks for an API key: it comes at a first start whatever the session offers.
    if (!settings_->hasCompletedOnboarding() && !onboardingController_)
        showOnboarding();
}

void AppDelegate::shutDown()
{
    permissionMonitor_.stop();
    stopHotkeyMonitor();
    // A key read ending now would hand its answer to a panel or conversation while they are torn down:
    // the keychain thread is idle before the session goes.
    settings_->endKeychainCalls();
    DebugLog::flush();
}

void AppDelegate::reopen()
{
    if (trayController_)
        trayController_->openSettingsWindow();
}

void AppDelegate::startPermissionMonitoring()
{
    permissionMonitor_.start(); // restarts a running timer
}

bool AppDelegate::handlePermissionState(bool forcePresentation)
{
    if (!permissions_->checkRequired().isEmpty()) {
        stopHotkeyMonitor();
        // Checked every second: an idle session has nothing to cancel (and would log that it did).
        if (session_->state() != SessionState::Idle)
            session_->cancel();
        if (!settings_->hasCompletedOnboarding())
            presentOnboarding(forcePresentation);
        else if (forcePresentation)
            openPermissionsTab();
        return false;
    }
    // The setup stays until the user has been through it, since it asks for the key as well.
    if (onboardingController_)
        onboardingController_->updatePermissions(permissions_->checkAll());
    startHotkeyMonitor();
    showHotkeyProblem(); // a desktop shortcut may have been set up meanwhile
    if (settings_->hasCompletedOnboarding())
        applyStartAtLoginDefault(); // set-up is over
    return true;
}

void AppDelegate::applyStartAtLoginDefault()
{
    // Once only, so that a user who turned it off keeps it off; never while the preferences cannot
    // remember that.
    if (settings_->startAtLoginDefaultApplied() || !settings_->isPersistent())
        return;
    settings_->setStartAtLoginDefaultApplied(true);
    AutostartEntry entry;
    if (!entry.setEnabled(true))
        DebugLog::log(QStringLiteral("App"), u"Cannot turn on start at login error=" + entry.errorString());
}

void AppDelegate::openPermissionsTab()
{
    settings_->setSettingsSelectedTab(1);
    trayController_->openSettingsWindow();
}

void AppDelegate::presentOnboarding(bool forcePresentation)
{
    if (!onboardingController_) {
        showOnboarding();
        return;
    }
    onboardingController_->updatePermissions(permissions_->checkAll());
    if (!forcePresentation && onboardingController_->isVisible())
        return;
    onboardingController_->show();
}

void AppDelegate::showOnboarding()
{
    onboardingController_ = onboardingFactory_(permissions_->checkAll(), [this] {
        settings_->setHasCompletedOnboarding(true);
        applyStartAtLoginDefault();
        // The window is closing itself: released once it has finished, and out of the gate's way now.
        QTimer::singleShot(0, this,
                           [closing = std::shared_ptr<OnboardingPresenter>(std::move(onboardingController_))] {});
        handlePermissionState(false);
    });
    onboardingController_->show();
}

void AppDelegate::startHotkeyMonitor()
{
    if (hotkeyMonitor_)
        return;
    if (!hintCapsuleController_)
        hintCapsuleController_ = std::make_unique<HintCapsuleController>();

    HotkeyTriggers triggers;
    // The preferences never hold values outside these ranges; clamping keeps a damaged file harmless.
    triggers.keyCode = quint16(qBound(0, settings_->hotkeyKeyCode(), 0xffff));
    triggers.keyModifiers = quint64(qMax(0, settings_->hotkeyModifiers()));
    triggers.quickDrawModifiers = ModifierFlags::withoutFunction(quint64(qMax(0, settings_->quickDrawModifiers())));
    triggers.quickDrawMiddleMouseEnabled = settings_->quickDrawMiddleMouseEnabled();

    hotkeyMonitor_ = std::make_unique<HotkeyMonitor>(triggers, PlatformBackends::inputSource(triggers));
    connect(hotkeyMonitor_.get(), &HotkeyMonitor::activated, this, &AppDelegate::requestAnnotation);
    connect(hotkeyMonitor_.get(), &HotkeyMonitor::activatedWithDraw, this, &AppDelegate::requestAnnotationWithDraw);
    // The session places a quick draw's first point once its overlay is up, one turn of the event loop
    // later; a fast stroke's later events may already be queued by then and must not overtake it.
    AnnotationSession *session = session_.get();
    connect(hotkeyMonitor_.get(), &HotkeyMonitor::quickDrawDragged, session, [session](QPointF point) {
        QMetaObject::invokeMethod(
            session, [session, point] { session->continueDraw(point); }, Qt::QueuedConnection);
    });
    connect(hotkeyMonitor_.get(), &HotkeyMonitor::quickDrawReleased, session,
            [session] { QMetaObject::invokeMethod(session, &AnnotationSession::endMiddleDraw, Qt::QueuedConnection); });
    connect(hotkeyMonitor_.get(), &HotkeyMonitor::quickDrawHint, this, &AppDelegate::quickDrawHint);
    connect(hotkeyMonitor_.get(), &HotkeyMonitor::failed, this, &AppDelegate::hotkeyMonitorFailed);
    connect(hotkeyMonitor_.get(), &HotkeyMonitor::started, this, [this] {
        permissions_->setHotkeyTaken(QString());
        permissions_->setGlobalShortcutsMissing(QString());
        showHotkeyProblem();
    });
    hotkeyMonitor_->start();
}

void AppDelegate::stopHotkeyMonitor()
{
    if (!hotkeyMonitor_)
        return;
    hotkeyMonitor_->stop();
    hotkeyMonitor_.reset();
}

void AppDelegate::restartHotkeyMonitor()
{
    if (hintCapsuleController_)
        hintCapsuleController_->hide();
    stopHotkeyMonitor();
    startHotkeyMonitor();
}

// The user hears once, per combination, why the hotkey does nothing and what to do instead.
void AppDelegate::hotkeyMonitorFailed(const QString &reason)
{
    if (reason == u"no-global-shortcuts" || reason == u"global-shortcuts-refused" ||
        reason == u"global-shortcuts-none-bound") {
        permissions_->setGlobalShortcutsMissing(reason, hotkeyMonitor_->triggers());
        showHotkeyProblem();
        // At once, so that a user quick through the setup does not pass the hotkey's page by.
        if (onboardingController_)
            onboardingController_->updatePermissions(permissions_->checkAll());
        return;
    }
    if (reason != u"hotkey-taken")
        return;
    permissions_->setHotkeyTaken(
        SettingsView::hotkeyDescription(settings_->hotkeyKeyCode(), quint64(qMax(0, settings_->hotkeyModifiers()))));
    const QString problem = showHotkeyProblem();
    if (std::exchange(notifiedHotkeyProblem_, problem) != problem)
        DesktopNotifier::notify(tr("Glint's hotkey is taken"), problem);
}

QString AppDelegate::showHotkeyProblem()
{
    const PermissionStatus status = permissions_->status(MissingPermission::GlobalHotkey);
    const QString problem = status.granted ? QString() : status.problem;
    if (trayController_)
        trayController_->setHotkeyProblem(problem);
    return problem;
}

void AppDelegate::quickDrawHint(bool ready)
{
    if (!ready) {
        hintCapsuleController_->hide();
        session_->setAwaitingAdditionalDraw(false);
        return;
    }
    if (session_->state() == SessionState::Idle)
        hintCapsuleController_->show();
    else if (session_->state() == SessionState::Querying)
        session_->setAwaitingAdditionalDraw(true);
}

bool AppDelegate::readyToAnnotate()
{
    if (hintCapsuleController_)
        hintCapsuleController_->hide();
    return handlePermissionState(true);
}

void AppDelegate::requestAnnotation()
{
    if (!readyToAnnotate())
        return;
    if (session_->state() == SessionState::Idle)
        session_->begin(true);
    else if (session_->state() == SessionState::Querying)
        session_->beginAdditionalCapture(true);
}

void AppDelegate::requestAnnotationWithDraw(QPointF point)
{
    if (!readyToAnnotate())
        return;
    if (session_->state() == SessionState::Idle)
        session_->beginWithDraw(point);
    else if (session_->state() == SessionState::Querying)
        session_->beginAdditionalCaptureWithDraw(point);
}

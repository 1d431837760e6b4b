#include "app/TrayController.h"

#include "app/HotkeyCaptureDialog.h"
#include "app/SettingsRootView.h"
#include "app/SettingsView.h"
#include "app/UpdateController.h"
#include "log/DebugLog.h"

#include <QApplication>

// Resources of a static library are registered by hand; outside any namespace, as the macro requires.
static void registerIcons()
{
    Q_INIT_RESOURCE(app);
}

TrayController::TrayController(SettingsManager &settings, const PermissionChecker &permissions,
                               UpdateController &updates, QObject *parent)
    : QObject(parent)
    , settings_(settings)
    , permissions_(permissions)
{
    menu_.addAction(tr("Annotate Screen"), this, &TrayController::annotationRequested);
    menu_.addSeparator();
    menu_.addAction(tr("Change Hotkey..."), this, &TrayController::openHotkeyDialog);
    menu_.addAction(tr("Settings..."), QKeySequence(QStringLiteral("Ctrl+,")), this,
                    &TrayController::openSettingsWindow);
    menu_.addSeparator();
    menu_.addAction(tr("Check for Updates..."), &updates, [&updates] { updates.checkForUpdates(); });
    menu_.addSeparator();
    menu_.addAction(tr("Quit Glint"), QKeySequence(QStringLiteral("Ctrl+Q")), qApp, &QApplication::quit);

    registerIcons();
    trayIcon_.setIcon(QIcon(QStringLiteral(":/glint/pencil-and-scribble.svg")));
    trayIcon_.setToolTip(QStringLiteral("Glint"));
    trayIcon_.setContextMenu(&menu_);
    // A left click opens the same menu a right click does.
    connect(&trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            menu_.popup(QCursor::pos());
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        DebugLog::log(QStringLiteral("App"),
                      QStringLiteral("No system tray available; running without a tray icon (hotkey and glint "
                                     "commands still work)"));
    trayIcon_.show();
}

TrayController::~TrayController()
{
    delete settingsWindow_;
}

SettingsRootView *TrayController::settingsWindow() const
{
    return settingsWindow_;
}

void TrayController::openSettingsWindow()
{
    if (!settingsWindow_) {
        settingsWindow_ = new SettingsRootView(settings_, permissions_);
        settingsWindow_->setWindowTitle(tr("Glint Settings"));
        settingsWindow_->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        settingsWindow_->setFixedSize(520, 580);
        connect(settingsWindow_->generalTab(), &SettingsView::changeHotkeyRequested, this,
                &TrayController::openHotkeyDialog);
        settingsWindow_->generalTab()->setHotkeyProblem(hotkeyProblem_);
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
    settingsWindow_->setFocus(); // no field starts focused
}

void TrayController::setHotkeyProblem(const QString &problem)
{
    hotkeyProblem_ = problem;
    if (settingsWindow_)
        settingsWindow_->generalTab()->setHotkeyProblem(problem);
}

void TrayController::openHotkeyDialog()
{
    // One recorder at a time: asking again brings the open one forward.
    if (hotkeyDialog_ && hotkeyDialog_->window() && hotkeyDialog_->window()->isVisible()) {
        hotkeyDialog_->window()->raise();
        hotkeyDialog_->window()->activateWindow();
        return;
    }
    hotkeyDialog_ = std::make_unique<HotkeyCaptureDialog>(settings_);
    connect(hotkeyDialog_.get(), &HotkeyCaptureDialog::hotkeyChanged, this, &TrayController::hotkeyChanged);
    hotkeyDialog_->present();
}

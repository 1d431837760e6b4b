#include "app/MenuBarController.h"

#include "app/HotkeyCaptureSheet.h"
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

MenuBarController::MenuBarController(SettingsManager &settings, const PermissionChecker &permissions,
                                     UpdateController &updates, QObject *parent)
    : QObject(parent)
    , settings_(settings)
    , permissions_(permissions)
{
    menu_.addAction(tr("Annotate Screen"), this, &MenuBarController::annotationRequested);
    menu_.addSeparator();
    menu_.addAction(tr("Change Hotkey..."), this, &MenuBarController::presentHotkeySheet);
    menu_.addAction(tr("Settings..."), QKeySequence(QStringLiteral("Ctrl+,")), this,
                    &MenuBarController::openSettingsWindow);
    menu_.addSeparator();
    menu_.addAction(tr("Check for Updates..."), &updates, [&updates] { updates.checkForUpdates(); });
    menu_.addSeparator();
    menu_.addAction(tr("Quit Glint"), QKeySequence(QStringLiteral("Ctrl+Q")), qApp, &QApplication::quit);

    registerIcons();
    statusItem_.setIcon(QIcon(QStringLiteral(":/glint/pencil-and-scribble.svg")));
    statusItem_.setToolTip(QStringLiteral("Glint"));
    statusItem_.setContextMenu(&menu_);
    // A left click opens the same menu a right click does.
    connect(&statusItem_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            menu_.popup(QCursor::pos());
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        DebugLog::log(QStringLiteral("App"),
                      QStringLiteral("No system tray available; running without a tray icon (hotkey and glint "
                                     "commands still work)"));
    statusItem_.show();
}

MenuBarController::~MenuBarController()
{
    delete settingsWindow_;
}

SettingsRootView *MenuBarController::settingsWindow() const
{
    return settingsWindow_;
}

void MenuBarController::openSettingsWindow()
{
    if (!settingsWindow_) {
        settingsWindow_ = new SettingsRootView(settings_, permissions_);
        settingsWindow_->setWindowTitle(tr("Glint Settings"));
        settingsWindow_->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        settingsWindow_->setFixedSize(520, 580);
        connect(settingsWindow_->generalTab(), &SettingsView::changeHotkeyRequested, this,
                &MenuBarController::presentHotkeySheet);
        settingsWindow_->generalTab()->setHotkeyProblem(hotkeyProblem_);
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
    settingsWindow_->setFocus(); // no field starts focused
}

void MenuBarController::setHotkeyProblem(const QString &problem)
{
    hotkeyProblem_ = problem;
    if (settingsWindow_)
        settingsWindow_->generalTab()->setHotkeyProblem(problem);
}

void MenuBarController::presentHotkeySheet()
{
    // One recorder at a time: asking again brings the open one forward.
    if (hotkeySheet_ && hotkeySheet_->window() && hotkeySheet_->window()->isVisible()) {
        hotkeySheet_->window()->raise();
        hotkeySheet_->window()->activateWindow();
        return;
    }
    hotkeySheet_ = std::make_unique<HotkeyCaptureSheet>(settings_);
    connect(hotkeySheet_.get(), &HotkeyCaptureSheet::hotkeyChanged, this, &MenuBarController::hotkeyChanged);
    hotkeySheet_->present();
}

#include "app/PermissionsView.h"

#include "app/PermissionChecker.h"
#include "app/PermissionRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace {
QWidget *statusLine(QStyle::StandardPixmap icon, const QString &text, const QString &style)
{
    auto *line = new QWidget;
    line->setAutoFillBackground(true);
    line->setStyleSheet(style);
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    auto *symbol = new QLabel;
    symbol->setPixmap(line->style()->standardIcon(icon).pixmap(16, 16));
    layout->addWidget(symbol);
    layout->addWidget(new QLabel(text), 1);
    return line;
}
} // namespace

PermissionsView::PermissionsView(const PermissionChecker &checker, QWidget *parent)
    : QWidget(parent)
    , checker_(checker)
    , warning_(statusLine(QStyle::SP_MessageBoxWarning, tr("Glint can't work without the required permissions below."),
                          QStringLiteral("background: rgba(255, 204, 0, 26);")))
    , confirmation_(statusLine(QStyle::SP_DialogApplyButton, tr("All permissions granted"), QString()))
{
    const std::pair<MissingPermission, QString> details[] = {
        {MissingPermission::GlobalHotkey,
         tr("Required for the hotkey and the quick-draw gestures to work while other programs are in focus.")},
        {MissingPermission::ScreenCapture, tr("Required to capture an annotated screenshot to send to the AI.")},
        {MissingPermission::Microphone, tr("Optional. Enables voice input transcription.")},
        {MissingPermission::KeyStorage,
         tr("Keeps your API keys in the Secret Service (GNOME Keyring, KWallet, KeePassXC).")},
    };

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(warning_);
    layout->addWidget(confirmation_);
    for (const auto &[permission, detail] : details) {
        auto *row = new PermissionRow(MissingPermissions::icon(permission), MissingPermissions::title(permission),
                                      detail, MissingPermissions::isRequired(permission));
        connect(row, &PermissionRow::grantRequested, this, [this, permission] { checker_.act(permission); });
        rows_.insert(permission, row);
        layout->addWidget(row);
    }
    layout->addStretch();

    refreshTimer_.setInterval(1000);
    connect(&refreshTimer_, &QTimer::timeout, this, &PermissionsView::refresh);
    refresh();
}

void PermissionsView::refresh()
{
    bool blocked = false;
    bool all = true;
    for (auto it = rows_.cbegin(); it != rows_.cend(); ++it) {
        const PermissionStatus status = checker_.status(it.key());
        it.value()->setStatus(status);
        blocked = blocked || status.blocking;
        all = all && status.granted;
    }
    warning_->setVisible(blocked);
    confirmation_->setVisible(all);
}

bool PermissionsView::isWarningShown() const
{
    return !warning_->isHidden();
}

bool PermissionsView::isConfirmationShown() const
{
    return !confirmation_->isHidden();
}

void PermissionsView::showEvent(QShowEvent *event)
{
    refresh();
    refreshTimer_.start();
    QWidget::showEvent(event);
}

void PermissionsView::hideEvent(QHideEvent *event)
{
    refreshTimer_.stop();
    QWidget::hideEvent(event);
}

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
    struct RowText {
        MissingPermission permission;
        QStyle::StandardPixmap icon;
        QString title;
        QString detail;
    };
    const RowText texts[] = {
        {MissingPermission::Accessibility, QStyle::SP_ComputerIcon, tr("Accessibility"),
         tr("Required for the global hotkey to work while other apps are in focus.")},
        {MissingPermission::ScreenRecording, QStyle::SP_DesktopIcon, tr("Screen Recording"),
         tr("Required to capture an annotated screenshot to send to the AI.")},
        {MissingPermission::Microphone, QStyle::SP_MediaVolume, tr("Microphone"),
         tr("Optional. Enables voice input transcription.")},
    };

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(warning_);
    layout->addWidget(confirmation_);
    for (const RowText &text : texts) {
        auto *row = new PermissionRow(style()->standardIcon(text.icon), text.title, text.detail,
                                      MissingPermissions::isRequired(text.permission));
        connect(row, &PermissionRow::grantRequested, this,
                [this, permission = text.permission] { checker_.openSettings(permission); });
        if (text.permission == MissingPermission::Microphone)
            row->setMissingText(tr("No microphone found"));
        rows_.insert(text.permission, row);
        layout->addWidget(row);
    }
    layout->addStretch();

    refreshTimer_.setInterval(1000);
    connect(&refreshTimer_, &QTimer::timeout, this, &PermissionsView::refresh);
    refresh();
}

void PermissionsView::refresh()
{
    for (auto it = rows_.cbegin(); it != rows_.cend(); ++it)
        it.value()->setGranted(checker_.isGranted(it.key()));
    const bool required =
        row(MissingPermission::Accessibility)->isGranted() && row(MissingPermission::ScreenRecording)->isGranted();
    warning_->setVisible(!required);
    confirmation_->setVisible(required && row(MissingPermission::Microphone)->isGranted());
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

#include "app/StartAtLoginRow.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

StartAtLoginRow::StartAtLoginRow(AutostartEntry entry, QWidget *parent)
    : QWidget(parent)
    , entry_(std::move(entry))
    , toggle_(new QCheckBox(tr("Start Glint at &login")))
    , error_(new QLabel)
{
    error_->setStyleSheet(QStringLiteral("color: #d32f2f;"));
    error_->setWordWrap(true);
    error_->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(toggle_);
    layout->addWidget(error_);
    connect(toggle_, &QCheckBox::toggled, this, &StartAtLoginRow::apply);
    reflectEntry();
}

void StartAtLoginRow::showEvent(QShowEvent *event)
{
    // Another program (a desktop's session settings, a shell) may have changed the entry meanwhile.
    error_->hide();
    reflectEntry();
    QWidget::showEvent(event);
}

void StartAtLoginRow::reflectEntry()
{
    const QSignalBlocker blocker(toggle_);
    toggle_->setChecked(entry_.isEnabled());
}

void StartAtLoginRow::apply(bool enabled)
{
    const bool applied = entry_.setEnabled(enabled);
    error_->setText(entry_.errorString());
    error_->setVisible(!applied);
    if (!applied)
        reflectEntry();
}

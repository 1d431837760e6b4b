#include "app/PermissionRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PermissionRow::PermissionRow(const QIcon &icon, const QString &title, const QString &detail, bool isRequired,
                             QWidget *parent)
    : QWidget(parent)
    , icon_(new QLabel)
    , grantedLabel_(new QLabel(u"✔ " + tr("Granted")))
    , missingLabel_(new QLabel)
    , grantButton_(new QPushButton(tr("Grant Access")))
    , iconSource_(icon)
    , required_(isRequired)
{
    icon_->setFixedWidth(36);
    icon_->setPixmap(icon.pixmap(26, 26));
    icon_->setAlignment(Qt::AlignCenter);

    auto *titleLine = new QHBoxLayout;
    auto *titleLabel = new QLabel(title);
    QFont headline = titleLabel->font();
    headline.setBold(true);
    titleLabel->setFont(headline);
    titleLine->addWidget(titleLabel);
    if (!isRequired) {
        auto *badge = new QLabel(tr("Optional"));
        badge->setStyleSheet(QStringLiteral("color: palette(mid); background: palette(midlight); padding: 2px 6px;"));
        titleLine->addWidget(badge);
    }
    titleLine->addStretch();

    auto *detailLabel = new QLabel(detail);
    detailLabel->setWordWrap(true);
    detailLabel->setStyleSheet(QStringLiteral("color: palette(mid);"));

    auto *text = new QVBoxLayout;
    text->addLayout(titleLine);
    text->addWidget(detailLabel);

    grantedLabel_->setStyleSheet(QStringLiteral("color: green;"));
    connect(grantButton_, &QPushButton::clicked, this, &PermissionRow::grantRequested);

    auto *row = new QHBoxLayout(this);
    row->addWidget(icon_);
    row->addLayout(text, 1);
    missingLabel_->setStyleSheet(QStringLiteral("color: palette(mid);"));
    row->addWidget(grantedLabel_);
    row->addWidget(missingLabel_);
    row->addWidget(grantButton_);
    setGranted(false);
}

void PermissionRow::setGranted(bool granted)
{
    granted_ = granted;
    grantedLabel_->setVisible(granted);
    missingLabel_->setVisible(!granted && !missingLabel_->text().isEmpty());
    grantButton_->setVisible(!granted && missingLabel_->text().isEmpty());
    // Green when granted, otherwise attention for what is required; optional ones stay neutral.
    icon_->setEnabled(granted || required_);
    icon_->setStyleSheet(granted     ? QStringLiteral("color: green;")
                         : required_ ? QStringLiteral("color: orange;")
                                     : QString());
}

void PermissionRow::setMissingText(const QString &text)
{
    missingLabel_->setText(text);
    setGranted(granted_);
}

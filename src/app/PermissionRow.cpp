#include "app/PermissionRow.h"

#include "drawing/TintedIcon.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Mid tones, readable on light and dark themes alike.
const QColor grantedColor(0x2d, 0xa4, 0x4e);
const QColor missingColor(0xe0, 0x8a, 0x00);
} // namespace

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

    grantedLabel_->setStyleSheet(u"color: " + grantedColor.name() + u';');
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
    const QSize size(26, 26);
    if (granted || required_)
        icon_->setPixmap(
            TintedIcon::pixmap(iconSource_, granted ? grantedColor : missingColor, size, devicePixelRatioF()));
    else
        icon_->setPixmap(iconSource_.pixmap(size, devicePixelRatioF(), QIcon::Disabled));
}

void PermissionRow::setMissingText(const QString &text)
{
    missingLabel_->setText(text);
    setGranted(granted_);
}

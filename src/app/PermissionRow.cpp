#include "app/PermissionRow.h"

#include "app/SecondaryText.h"
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
    , detailLabel_(new QLabel(detail))
    , grantedLabel_(new QLabel(u"✔ " + tr("Granted")))
    , grantButton_(new QPushButton)
    , iconSource_(icon)
    , detail_(detail)
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
        QColor background = SecondaryText::color(*badge);
        background.setAlphaF(0.12f);
        badge->setStyleSheet(u"color: " + SecondaryText::color(*badge).name(QColor::HexArgb) + u"; background: " +
                             background.name(QColor::HexArgb) + u"; padding: 2px 6px;");
        titleLine->addWidget(badge);
    }
    titleLine->addStretch();

    detailLabel_->setWordWrap(true);
    detailLabel_->setTextFormat(Qt::PlainText);
    detailLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse); // commands to copy
    SecondaryText::apply(*detailLabel_);

    auto *text = new QVBoxLayout;
    text->addLayout(titleLine);
    text->addWidget(detailLabel_);

    grantedLabel_->setStyleSheet(u"color: " + grantedColor.name() + u';');
    connect(grantButton_, &QPushButton::clicked, this, &PermissionRow::grantRequested);

    auto *row = new QHBoxLayout(this);
    row->addWidget(icon_);
    row->addLayout(text, 1);
    row->addWidget(grantedLabel_);
    row->addWidget(grantButton_);
    setStatus({});
}

void PermissionRow::setStatus(const PermissionStatus &status)
{
    status_ = status;
    const bool granted = status.granted;
    grantedLabel_->setVisible(granted);
    detailLabel_->setText(status.problem.isEmpty() ? detail_ : status.problem);
    grantButton_->setText(status.action);
    grantButton_->setVisible(!status.action.isEmpty());
    // Green when granted, otherwise attention for what is required; optional ones stay neutral.
    const QSize size(26, 26);
    const QColor tint = granted ? grantedColor : required_ ? missingColor : SecondaryText::color(*this);
    icon_->setPixmap(TintedIcon::pixmap(iconSource_, tint, size, devicePixelRatioF()));
}

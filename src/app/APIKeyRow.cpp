#include "app/APIKeyRow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

APIKeyRow::APIKeyRow(const QString &label, QWidget *parent)
    : QWidget(parent)
    , pages_(new QStackedLayout)
    , input_(new QLineEdit)
    , save_(new QPushButton(tr("Save")))
    , clear_(new QPushButton(tr("Clear")))
    , note_(new QLabel)
{
    input_->setEchoMode(QLineEdit::Password);
    input_->setPlaceholderText(label);
    save_->setEnabled(false);
    connect(input_, &QLineEdit::textChanged, this, [this](const QString &text) { save_->setEnabled(!text.isEmpty()); });
    connect(save_, &QPushButton::clicked, this, [this] { Q_EMIT saveRequested(input_->text()); });

    auto *entry = new QWidget;
    auto *entryLayout = new QHBoxLayout(entry);
    entryLayout->setContentsMargins(0, 0, 0, 0);
    entryLayout->addWidget(input_, 1);
    entryLayout->addWidget(save_);

    auto *check = new QLabel(QStringLiteral("✔"));
    check->setStyleSheet(QStringLiteral("color: green;"));
    auto *mask = new QLabel(QStringLiteral("•••  •••  •••"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(13);
    mask->setFont(mono);
    mask->setStyleSheet(QStringLiteral("color: palette(mid);"));
    clear_->setFlat(true);
    clear_->setStyleSheet(QStringLiteral("color: red;"));
    connect(clear_, &QPushButton::clicked, this, &APIKeyRow::clearRequested);

    auto *stored = new QWidget;
    auto *storedLayout = new QHBoxLayout(stored);
    storedLayout->setContentsMargins(0, 0, 0, 0);
    storedLayout->addWidget(check);
    storedLayout->addWidget(mask, 1);
    storedLayout->addWidget(clear_);

    pages_->addWidget(entry);
    pages_->addWidget(stored);
    note_->setWordWrap(true);
    note_->setTextFormat(Qt::PlainText);
    note_->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(pages_);
    layout->addWidget(note_);
}

void APIKeyRow::setSet(bool isSet)
{
    isSet_ = isSet;
    pages_->setCurrentIndex(isSet ? 1 : 0);
}

void APIKeyRow::showSaving()
{
    saving_ = true;
    save_->setEnabled(false);
    clear_->setEnabled(false);
    note_->hide();
}

void APIKeyRow::showWaitingForUnlock()
{
    if (!saving_)
        return; // the save has ended already
    note_->setText(tr("Waiting for the keyring to be unlocked…"));
    note_->show();
}

void APIKeyRow::showSaveResult(const QString &problem)
{
    saving_ = false;
    if (problem.isEmpty())
        input_->clear();
    save_->setEnabled(!input_->text().isEmpty());
    clear_->setEnabled(true);
    note_->setText(problem);
    note_->setVisible(!problem.isEmpty());
}

#include "panel/QueryPanelFooter.h"

#include "panel/KeyBadgeView.h"
#include "panel/QueryPanelTheme.h"
#include "panel/SpinnerView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace {

void showActivity(SpinnerView *spinner, QLabel *label, bool shown)
{
    if (shown)
        spinner->start();
    else
        spinner->stop();
    label->setVisible(shown);
}

} // namespace

QueryPanelFooter::QueryPanelFooter(QAction *save, QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(fixedHeight);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 11, 14, 11);
    layout->setSpacing(8);

    auto *cancelButton = new QPushButton(QStringLiteral("Cancel"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setFlat(true);
    cancelButton->setFocusPolicy(Qt::TabFocus);
    cancelButton->setCursor(Qt::PointingHandCursor);
    cancelButton->setFont(QueryPanelTheme::systemFont(11, QFont::Medium));
    const QString textButtonStyle = u"{ border: none; background: transparent; padding: 0px; color: " +
                                    QueryPanelTheme::cssColor(QueryPanelTheme::dimText()) + u"; }";
    const QString focused = u" { color: " + QueryPanelTheme::cssColor(QueryPanelTheme::text()) + u"; }";
    cancelButton->setStyleSheet(u"QPushButton " + textButtonStyle + u" QPushButton:focus" + focused);
    connect(cancelButton, &QPushButton::clicked, this, &QueryPanelFooter::cancelRequested);

    auto *saveButton = new QToolButton;
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setDefaultAction(save);
    saveButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    saveButton->setFocusPolicy(Qt::TabFocus);
    saveButton->setCursor(Qt::PointingHandCursor);
    saveButton->setFont(QueryPanelTheme::systemFont(11, QFont::Medium));
    saveButton->setStyleSheet(
        u"QToolButton " + textButtonStyle + u" QToolButton:focus" + focused + u" QToolButton:disabled { color: " +
        QueryPanelTheme::cssColor(QueryPanelTheme::withAlpha(QueryPanelTheme::dimText(), 0.4)) + u"; }");

    auto *cancelGroup = new QHBoxLayout;
    cancelGroup->setSpacing(6);
    cancelGroup->addWidget(cancelButton);
    cancelGroup->addWidget(new KeyBadgeView(QStringLiteral("esc")));
    cancelGroup->addSpacing(12);
    cancelGroup->addWidget(saveButton);

    const QFont font = QueryPanelTheme::systemFont(11);
    preparingSpinner_ = new SpinnerView;
    preparingLabel_ = QueryPanelTheme::label(QStringLiteral("Preparing screenshot…"), font, QueryPanelTheme::dimText());
    transcribingSpinner_ = new SpinnerView;
    transcribingLabel_ = QueryPanelTheme::label(QStringLiteral("Transcribing…"), font, QueryPanelTheme::dimText());
    voiceMessageLabel_ = QueryPanelTheme::label(QString(), font, QueryPanelTheme::recordingRed());
    voiceMessageLabel_->setObjectName(QStringLiteral("voiceMessage"));
    voiceMessageLabel_->hide();
    voiceMessageTimer_.setSingleShot(true);
    connect(&voiceMessageTimer_, &QTimer::timeout, voiceMessageLabel_, &QLabel::hide);
    auto *status = new QHBoxLayout;
    status->setSpacing(5);
    status->addWidget(voiceMessageLabel_);
    status->addWidget(preparingSpinner_);
    status->addWidget(preparingLabel_);
    status->addWidget(transcribingSpinner_);
    status->addWidget(transcribingLabel_);

    layout->addLayout(cancelGroup);
    layout->addStretch();
    layout->addLayout(status);
}

void QueryPanelFooter::setPreparing(bool preparing)
{
    showActivity(preparingSpinner_, preparingLabel_, preparing);
}

void QueryPanelFooter::setTranscribing(bool transcribing)
{
    showActivity(transcribingSpinner_, transcribingLabel_, transcribing);
}

void QueryPanelFooter::showVoiceMessage(const QString &text)
{
    voiceMessageLabel_->setText(text);
    voiceMessageLabel_->show();
    voiceMessageTimer_.start(voiceMessageMs);
}

#include "panel/QueryInputRow.h"

#include "log/DebugLog.h"
#include "panel/HoldToRecordButton.h"
#include "panel/HoldToRecordController.h"
#include "panel/QueryInputTextView.h"
#include "panel/QueryPanelTheme.h"
#include "panel/QueryTextView.h"
#include "panel/RoundedBackgroundView.h"
#include "panel/SymbolIcon.h"
#include "session/AnnotationSession.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int containerMinimumHeight = 72;
constexpr qreal disabledInputOpacity = 0.72;

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("QueryPanel"), message);
}

QHBoxLayout *row(QWidget *owner, QMargins margins, int spacing)
{
    auto *layout = new QHBoxLayout(owner);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace

QueryInputRow::QueryInputRow(AnnotationSession &session, QWidget *modelPill, QWidget *parent)
    : QWidget(parent)
    , session_(&session)
{
    setObjectName(QStringLiteral("inputRow"));
    auto *layout = row(this, QMargins(24, 8, 24, 8), 0);

    inputContainer_ =
        new RoundedBackgroundView(18, QueryPanelTheme::inputBackground(), QueryPanelTheme::subtleBorder(), 1);
    inputContainer_->setMinimumHeight(containerMinimumHeight);
    auto *container = new QVBoxLayout(inputContainer_);
    container->setContentsMargins(0, 10, 0, 6);
    container->setSpacing(4);

    queryField_ = new QueryInputTextView;
    queryField_->setObjectName(QStringLiteral("queryField"));
    queryField_->setAccessibleName(QStringLiteral("Question"));
    queryField_->textView()->setAccessibleName(QStringLiteral("Question"));
    queryField_->configure(QStringLiteral("Ask anything about the annotated area…"), QueryPanelTheme::text(),
                           QueryPanelTheme::dimText());
    queryField_->textView()->installEventFilter(this);
    auto *fieldRow = new QHBoxLayout;
    fieldRow->setContentsMargins(14, 0, 14, 0);
    fieldRow->addWidget(queryField_);
    container->addLayout(fieldRow);

    auto *bottomBar = new QWidget;
    bottomBar->setFixedHeight(24);
    auto *bar = row(bottomBar, QMargins(10, 0, 10, 0), 6);
    sendButton_ = new QToolButton;
    sendButton_->setObjectName(QStringLiteral("sendButton"));
    sendButton_->setAutoRaise(true);
    sendButton_->setAccessibleName(QStringLiteral("Send"));
    sendButton_->setFixedSize(22, 22);
    sendButton_->setIconSize(QSize(22, 22));
    sendButton_->setFocusPolicy(Qt::TabFocus);
    sendButton_->setStyleSheet(QueryPanelTheme::iconButtonStyle());
    micButton_ = new HoldToRecordButton;
    micButton_->setObjectName(QStringLiteral("micButton"));
    micButton_->setFixedSize(20, 20);
    micButton_->setIconSize(QSize(20, 20));
    bar->addWidget(modelPill);
    bar->addStretch();
    bar->addWidget(micButton_);
    bar->addWidget(sendButton_);
    container->addWidget(bottomBar);

    drawingHintContainer_ = makeDrawingHintBanner();
    drawingHintContainer_->setVisible(false);
    layout->addWidget(inputContainer_);
    layout->addWidget(drawingHintContainer_);

    holdToRecord_ = new HoldToRecordController(session, *queryField_, nullptr, this);
    setTranscriptionService(nullptr);

    connect(queryField_, &QueryInputTextView::changed, this, &QueryInputRow::updateSendButton);
    connect(queryField_, &QueryInputTextView::submitRequested, this, &QueryInputRow::submitQuery);
    connect(queryField_, &QueryInputTextView::cancelRequested, this, [this] {
        log(QStringLiteral("Escape pressed — cancelling session"));
        if (session_)
            session_->cancel();
    });
    connect(sendButton_, &QToolButton::clicked, this, &QueryInputRow::submitQuery);
    connect(holdToRecord_, &HoldToRecordController::microphoneAppearanceChanged, this,
            &QueryInputRow::updateMicrophoneAppearance);
    connect(queryField_, &QueryInputTextView::emptyEnterPressBegan, holdToRecord_,
            &HoldToRecordController::beginKeyboardRecording);
    connect(queryField_, &QueryInputTextView::emptyEnterPressEnded, holdToRecord_,
            &HoldToRecordController::endKeyboardRecording);
    connect(micButton_, &HoldToRecordButton::pressStarted, holdToRecord_,
            &HoldToRecordController::beginButtonRecording);
    connect(micButton_, &HoldToRecordButton::pressEnded, holdToRecord_,
            &HoldToRecordController::stopButtonRecordingAndTranscribe);
}

RoundedBackgroundView *QueryInputRow::makeDrawingHintBanner()
{
    auto *banner = new RoundedBackgroundView(18, QueryPanelTheme::inputBackground(),
                                             QueryPanelTheme::withAlpha(QueryPanelTheme::accent(), 0.45), 1);
    banner->setObjectName(QStringLiteral("drawingHint"));
    banner->setMinimumHeight(containerMinimumHeight);
    auto *layout = row(banner, QMargins(18, 0, 18, 0), 12);

    auto *icon = new QLabel;
    icon->setPixmap(SymbolIcon::tinted(QStringLiteral("scribble-variable"), QueryPanelTheme::accent(), QSize(22, 22))
                        .pixmap(QSize(22, 22), devicePixelRatioF()));
    icon->setFixedSize(22, 22);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(QueryPanelTheme::label(QStringLiteral("Circle the area on the screen to attach"),
                                            QueryPanelTheme::systemFont(13, QFont::Medium), QueryPanelTheme::text()));
    texts->addWidget(QueryPanelTheme::label(QStringLiteral("Press esc to cancel"), QueryPanelTheme::systemFont(11),
                                            QueryPanelTheme::dimText()));
    layout->addWidget(icon, 0, Qt::AlignVCenter);
    layout->addLayout(texts);
    layout->addStretch();
    return banner;
}

void QueryInputRow::setTranscriptionService(TranscriptionService *service, const QString &missing)
{
    holdToRecord_->setTranscriptionService(service, missing);
    micButton_->setVisible(service != nullptr);
}

bool QueryInputRow::eventFilter(QObject *watched, QEvent *event)
{
    // Only the query text is watched, for its focus.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        updateInputBorder();
    return QWidget::eventFilter(watched, event);
}

bool QueryInputRow::isVoiceBusy() const
{
    return holdToRecord_->isRecording() || holdToRecord_->isTranscribing();
}

void QueryInputRow::updateState()
{
    if (!session_)
        return;
    const SessionState state = session_->state();
    const bool hideInput =
        (state == SessionState::Drawing && session_->isAdditionalCapture()) || session_->isAwaitingAdditionalDraw();
    inputContainer_->setVisible(!hideInput);
    drawingHintContainer_->setVisible(hideInput);

    const bool enabled = state != SessionState::Streaming && !isVoiceBusy();
    QueryTextView *text = queryField_->textView();
    text->setReadOnly(!enabled);
    text->setTextInteractionFlags(enabled ? Qt::TextEditorInteraction : Qt::NoTextInteraction);
    if (enabled) {
        queryField_->setGraphicsEffect(nullptr);
    } else if (!queryField_->graphicsEffect()) {
        auto *dimming = new QGraphicsOpacityEffect;
        dimming->setOpacity(disabledInputOpacity);
        queryField_->setGraphicsEffect(dimming);
    }

    updateSendButton();
    updateInputBorder();
    updateMicrophoneAppearance();
}

void QueryInputRow::updateMicrophoneAppearance()
{
    QColor tint = QueryPanelTheme::dimText();
    if (holdToRecord_->isRecording())
        tint = holdToRecord_->isMicrophoneBlinkVisible()
                   ? QueryPanelTheme::recordingRed()
                   : QueryPanelTheme::withAlpha(QueryPanelTheme::recordingRed(), 0.25);
    micButton_->setIcon(SymbolIcon::tinted(QStringLiteral("mic"), tint, QSize(20, 20)));
}

void QueryInputRow::updateSendButton()
{
    const bool enabled = session_ && !queryField_->textView()->isBlank() &&
                         session_->state() != SessionState::Streaming && !session_->isPreparingCapture() &&
                         !isVoiceBusy();
    sendButton_->setEnabled(enabled);
    sendButton_->setIcon(SymbolIcon::tinted(QStringLiteral("arrow-up-circle-fill"),
                                            enabled ? QueryPanelTheme::accent() : QueryPanelTheme::dimText(),
                                            QSize(22, 22)));
}

void QueryInputRow::updateInputBorder()
{
    inputContainer_->setBorderColor(queryField_->textView()->hasFocus()
                                        ? QueryPanelTheme::withAlpha(QueryPanelTheme::accent(), 0.5)
                                        : QueryPanelTheme::subtleBorder());
}

void QueryInputRow::submitQuery()
{
    const QString query = queryField_->text().trimmed();
    // Return still reaches the read-only field: typed text must not overtake a spoken question.
    if (query.isEmpty() || !session_ || isVoiceBusy())
        return;
    queryField_->clear();
    queryField_->updatePlaceholder();
    queryField_->recalculateHeight();
    updateSendButton();
    session_->submit(query);
    log(u"Submit triggered queryLength=" + QString::number(query.size()));
}

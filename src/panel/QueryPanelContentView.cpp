#include "panel/QueryPanelContentView.h"

#include "panel/ConversationSaver.h"
#include "panel/HoldToRecordController.h"
#include "panel/ModelPicker.h"
#include "panel/ModelPillButton.h"
#include "panel/QueryChatMessageView.h"
#include "panel/QueryInputRow.h"
#include "panel/QueryInputTextView.h"
#include "panel/QueryPanelFooter.h"
#include "panel/QueryPanelTheme.h"
#include "panel/RoundedBackgroundView.h"
#include "panel/TranscriptListView.h"
#include "session/AnnotationSession.h"
#include "session/ConversationExport.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QVBoxLayout>

namespace {

constexpr int focusDelayMs = 320;

} // namespace

QueryPanelContentView::QueryPanelContentView(AnnotationSession &session, ModelCatalog &models,
                                             TranscriptionService *transcriptionService, QWidget *parent)
    : QWidget(parent)
    , session_(&session)
{
    setAttribute(Qt::WA_TranslucentBackground);
    modelPicker_ = new ModelPicker(session.settings(), models, this);
    saver_ = new ConversationSaver(session, this);
    saveAction_ = new QAction(QStringLiteral("Save Conversation…"), this);
    saveAction_->setShortcut(QKeySequence::Save);
    saveAction_->setToolTip(QStringLiteral("Save Conversation… (Ctrl+S)"));
    connect(saveAction_, &QAction::triggered, this, [this] { saver_->save(window()); });
    copyLastAnswerAction_ = new QAction(QStringLiteral("Copy Last Answer"), this);
    copyLastAnswerAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(copyLastAnswerAction_, &QAction::triggered, this, &QueryPanelContentView::copyLastAnswer);
    addActions({copyLastAnswerAction_, saveAction_});
    setContextMenuPolicy(Qt::ActionsContextMenu);

    transcript_ = new TranscriptListView(session);
    transcript_->addAction(saveAction_);
    inputRow_ = new QueryInputRow(session, modelPicker_->button());
    footer_ = new QueryPanelFooter(saveAction_);

    auto *card = new RoundedBackgroundView(18, QueryPanelTheme::background(), QueryPanelTheme::border(), 1);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(card);
    auto *stack = new QVBoxLayout(card);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(transcript_);
    stack->addWidget(inputRow_);
    stack->addWidget(footer_);
    stack->addStretch();

    stateTimer_.setSingleShot(true);
    stateTimer_.setInterval(0);
    connect(&stateTimer_, &QTimer::timeout, this, &QueryPanelContentView::updateState);
    for (auto signal :
         {&AnnotationSession::stateChanged, &AnnotationSession::isPreparingCaptureChanged,
          &AnnotationSession::isAdditionalCaptureChanged, &AnnotationSession::isAwaitingAdditionalDrawChanged})
        connect(&session, signal, &stateTimer_, qOverload<>(&QTimer::start));
    HoldToRecordController *voice = inputRow_->holdToRecord();
    connect(voice, &HoldToRecordController::stateChanged, this, &QueryPanelContentView::updateState);
    connect(voice, &HoldToRecordController::recordingFailed, footer_, &QueryPanelFooter::showVoiceMessage);
    connect(queryField(), &QueryInputTextView::heightChanged, this, &QueryPanelContentView::updatePanelHeight);
    connect(transcript_, &TranscriptListView::updated, this, &QueryPanelContentView::updatePanelHeight);
    connect(transcript_, &TranscriptListView::updated, this, &QueryPanelContentView::updateActions);
    connect(footer_, &QueryPanelFooter::cancelRequested, this, [this] {
        if (session_)
            session_->cancel();
    });
    connect(modelPicker_, &ModelPicker::settingsRequested, this, &QueryPanelContentView::settingsRequested);

    setTranscriptionService(transcriptionService);
    transcript_->flushPendingUpdates();
    updateActions();
    updateState();

    QTimer::singleShot(focusDelayMs, this, [this] {
        if (window()->isVisible())
            queryField()->setFocus(Qt::OtherFocusReason);
    });
}

QueryInputTextView *QueryPanelContentView::queryField() const
{
    return inputRow_->queryField();
}

void QueryPanelContentView::setTranscriptionService(TranscriptionService *service, const QString &missing)
{
    inputRow_->setTranscriptionService(service, missing);
}

void QueryPanelContentView::flushPendingUpdates()
{
    if (stateTimer_.isActive())
        updateState();
    transcript_->flushPendingUpdates();
}

void QueryPanelContentView::updateState()
{
    stateTimer_.stop();
    if (!session_)
        return;
    inputRow_->updateState();
    updatePanelHeight();
    footer_->setPreparing(session_->isPreparingCapture());
    footer_->setTranscribing(inputRow_->holdToRecord()->isTranscribing());
}

void QueryPanelContentView::updateActions()
{
    const QList<QueryChatMessageView *> &rows = transcript_->rows();
    saveAction_->setEnabled(session_ && ConversationExport::hasContent(session_->chatMessages()));
    copyLastAnswerAction_->setEnabled(
        std::any_of(rows.begin(), rows.end(), [](QueryChatMessageView *row) { return row->copyButton(); }));
}

// Nothing while the last answer is still coming in.
void QueryPanelContentView::copyLastAnswer()
{
    const QList<QueryChatMessageView *> &rows = transcript_->rows();
    const auto last =
        std::find_if(rows.rbegin(), rows.rend(), [](QueryChatMessageView *row) { return row->copyButton(); });
    if (last != rows.rend())
        (*last)->copyAnswer();
}

void QueryPanelContentView::updatePanelHeight()
{
    // Size changes travel up the tree one posted layout request per level; settle them all first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const int input = qMax(inputRow_->sizeHint().height(), minimumInputRowHeight);
    int height = input + QueryPanelFooter::fixedHeight;
    if (!transcript_->rows().isEmpty()) {
        const int transcript = qMin(transcript_->documentHeight(), transcriptMaxHeight);
        transcript_->setFixedHeight(transcript);
        height = qMin(input + transcript + QueryPanelFooter::fixedHeight, panelHeightCap);
    } else {
        transcript_->setFixedHeight(0);
    }
    reportedHeight_ = height;
    Q_EMIT heightChanged(height);
}

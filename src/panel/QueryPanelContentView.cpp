#include "panel/QueryPanelContentView.h"

#include "log/DebugLog.h"
#include "panel/GradientFadeView.h"
#include "panel/HoldToRecordButton.h"
#include "panel/HoldToRecordController.h"
#include "panel/ImagePreviewWindowController.h"
#include "panel/KeyBadgeView.h"
#include "panel/ModelPillButton.h"
#include "panel/QueryChatMessageView.h"
#include "panel/QueryInputTextView.h"
#include "panel/QueryPanelTheme.h"
#include "panel/QueryTextView.h"
#include "panel/RoundedBackgroundView.h"
#include "panel/SpinnerView.h"
#include "panel/SymbolIcon.h"
#include "providers/AnthropicProvider.h"
#include "providers/CompatibleModelList.h"
#include "session/AnnotationSession.h"
#include "session/ProviderChoice.h"
#include "settings/SettingsManager.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int frameIntervalMs = 16;
constexpr int focusDelayMs = 320;
constexpr int inputContainerMinimumHeight = 72;
constexpr qreal disabledInputOpacity = 0.72;
const QColor recordingRed(255, 69, 58); // the desktop's usual "recording" red, readable on the dark card

const QString anthropicProvider = QStringLiteral("anthropic");
const QString openAIProvider = QStringLiteral("openai");
const QString compatibleProvider = QStringLiteral("compatible");

QString cssColor(const QColor &color)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF());
}

QLabel *label(const QString &text, const QFont &font, const QColor &color)
{
    auto *result = new QLabel(text);
    result->setFont(font);
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, color);
    result->setPalette(palette);
    return result;
}

QHBoxLayout *row(QWidget *owner, QMargins margins, int spacing)
{
    auto *layout = new QHBoxLayout(owner);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace

QueryPanelContentView::QueryPanelContentView(AnnotationSession &session, TranscriptionService *transcriptionService,
                                             QWidget *parent)
    : QWidget(parent)
    , session_(&session)
{
    setAttribute(Qt::WA_TranslucentBackground);
    transcriptTimer_.setSingleShot(true);
    connect(&transcriptTimer_, &QTimer::timeout, this, &QueryPanelContentView::updateTranscript);
    stateTimer_.setSingleShot(true);
    stateTimer_.setInterval(0);
    connect(&stateTimer_, &QTimer::timeout, this, &QueryPanelContentView::updateState);

    setupHierarchy();
    holdToRecord_ = new HoldToRecordController(session, *queryField_, nullptr, this);
    setTranscriptionService(transcriptionService);
    setupObservers();
    updateTranscript();
    updateState();

    QTimer::singleShot(focusDelayMs, this, [this] {
        if (window()->isVisible())
            queryField_->setFocus(Qt::OtherFocusReason);
    });
}

QueryPanelContentView::~QueryPanelContentView() = default;

// --- view tree ----------------------------------------------------------------------------------------

void QueryPanelContentView::setupHierarchy()
{
    cardView_ = new RoundedBackgroundView(18, QueryPanelTheme::background(), QueryPanelTheme::border(), 1);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(cardView_);

    auto *stack = new QVBoxLayout(cardView_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(setupTranscriptSection());
    stack->addWidget(setupInputRow());
    stack->addWidget(setupFooterRow());
    stack->addStretch();
}

QWidget *QueryPanelContentView::setupTranscriptSection()
{
    transcriptDocumentView_ = new QWidget;
    transcriptDocumentView_->setObjectName(QStringLiteral("transcriptDocument"));
    transcriptStack_ = new QVBoxLayout(transcriptDocumentView_);
    transcriptStack_->setContentsMargins(24, 14, 24, 14);
    transcriptStack_->setSpacing(12);
    transcriptStack_->setSizeConstraint(QLayout::SetNoConstraint);

    // The card behind draws the background, so the transcript stays transparent and the card's rounded
    // corners show.
    transcriptScrollView_ = new QScrollArea;
    transcriptScrollView_->setObjectName(QStringLiteral("transcript"));
    transcriptScrollView_->setFrameShape(QFrame::NoFrame);
    transcriptScrollView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The scroller floats over the text instead of taking width from it: a scroll bar that came and
    // went would make every message wrap again.
    transcriptScrollView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    transcriptScrollView_->setWidgetResizable(false);
    transcriptScrollView_->setStyleSheet(
        QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));
    transcriptScrollView_->viewport()->setAutoFillBackground(false);
    transcriptScrollView_->setWidget(transcriptDocumentView_);
    transcriptScrollView_->setFixedHeight(0);
    transcriptScrollView_->viewport()->installEventFilter(this);
    transcriptScrollView_->installEventFilter(this);

    transcriptBottomFade_ = new GradientFadeView(transcriptScrollView_);
    transcriptScroller_ = new QScrollBar(Qt::Vertical, transcriptScrollView_);
    transcriptScroller_->setStyleSheet(QueryPanelTheme::scrollBarStyle());
    transcriptScroller_->hide();
    QScrollBar *inner = transcriptScrollView_->verticalScrollBar();
    connect(inner, &QScrollBar::rangeChanged, transcriptScroller_, [this](int minimum, int maximum) {
        transcriptScroller_->setRange(minimum, maximum);
        transcriptScroller_->setPageStep(transcriptScrollView_->verticalScrollBar()->pageStep());
        transcriptScroller_->setVisible(maximum > minimum);
    });
    connect(inner, &QScrollBar::valueChanged, transcriptScroller_, &QScrollBar::setValue);
    connect(transcriptScroller_, &QScrollBar::valueChanged, inner, &QScrollBar::setValue);
    transcriptDivider_ = new QWidget(transcriptScrollView_);
    transcriptDivider_->setAttribute(Qt::WA_TransparentForMouseEvents);
    transcriptDivider_->setStyleSheet(u"background: " + cssColor(QueryPanelTheme::faintBorder()) + u';');
    return transcriptScrollView_;
}

QWidget *QueryPanelContentView::setupInputRow()
{
    inputRow_ = new QWidget;
    inputRow_->setObjectName(QStringLiteral("inputRow"));
    auto *layout = row(inputRow_, QMargins(24, 8, 24, 8), 0);

    inputContainer_ =
        new RoundedBackgroundView(18, QueryPanelTheme::inputBackground(), QueryPanelTheme::subtleBorder(), 1);
    inputContainer_->setMinimumHeight(inputContainerMinimumHeight);
    auto *container = new QVBoxLayout(inputContainer_);
    container->setContentsMargins(0, 10, 0, 6);
    container->setSpacing(4);

    queryField_ = new QueryInputTextView;
    queryField_->setObjectName(QStringLiteral("queryField"));
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
    modelButton_ = new ModelPillButton;
    modelButton_->setObjectName(QStringLiteral("modelButton"));
    sendButton_ = new QToolButton;
    sendButton_->setObjectName(QStringLiteral("sendButton"));
    sendButton_->setAutoRaise(true);
    sendButton_->setAccessibleName(QStringLiteral("Send"));
    sendButton_->setFixedSize(22, 22);
    sendButton_->setIconSize(QSize(22, 22));
    sendButton_->setFocusPolicy(Qt::NoFocus);
    sendButton_->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    micButton_ = new HoldToRecordButton;
    micButton_->setObjectName(QStringLiteral("micButton"));
    micButton_->setFixedSize(20, 20);
    micButton_->setIconSize(QSize(20, 20));
    bar->addWidget(modelButton_);
    bar->addStretch();
    bar->addWidget(micButton_);
    bar->addWidget(sendButton_);
    container->addWidget(bottomBar);

    connect(queryField_, &QueryInputTextView::changed, this, &QueryPanelContentView::updateSendButton);
    connect(queryField_, &QueryInputTextView::submitRequested, this, &QueryPanelContentView::submitQuery);
    connect(queryField_, &QueryInputTextView::cancelRequested, this, [this] {
        DebugLog::log(QStringLiteral("QueryPanel"), QStringLiteral("Escape pressed — cancelling session"));
        cancelPressed();
    });
    connect(queryField_, &QueryInputTextView::heightChanged, this, &QueryPanelContentView::updatePanelHeight);
    connect(sendButton_, &QToolButton::clicked, this, &QueryPanelContentView::submitQuery);
    connect(modelButton_, &QPushButton::clicked, this, &QueryPanelContentView::showModelMenu);
    updateModelButtonTitle();

    drawingHintContainer_ = setupDrawingHintBanner();
    drawingHintContainer_->setVisible(false);
    layout->addWidget(inputContainer_);
    layout->addWidget(drawingHintContainer_);
    return inputRow_;
}

RoundedBackgroundView *QueryPanelContentView::setupDrawingHintBanner()
{
    auto *banner = new RoundedBackgroundView(18, QueryPanelTheme::inputBackground(),
                                             QueryPanelTheme::withAlpha(QueryPanelTheme::accent(), 0.45), 1);
    banner->setObjectName(QStringLiteral("drawingHint"));
    banner->setMinimumHeight(inputContainerMinimumHeight);
    auto *layout = row(banner, QMargins(18, 0, 18, 0), 12);

    auto *icon = new QLabel;
    icon->setPixmap(SymbolIcon::tinted(QStringLiteral("scribble-variable"), QueryPanelTheme::accent(), QSize(22, 22))
                        .pixmap(QSize(22, 22), devicePixelRatioF()));
    icon->setFixedSize(22, 22);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(label(QStringLiteral("Circle the area on the screen to attach"),
                           QueryPanelTheme::systemFont(13, QFont::Medium), QueryPanelTheme::text()));
    texts->addWidget(
        label(QStringLiteral("Press esc to cancel"), QueryPanelTheme::systemFont(11), QueryPanelTheme::dimText()));
    layout->addWidget(icon, 0, Qt::AlignVCenter);
    layout->addLayout(texts);
    layout->addStretch();
    return banner;
}

QWidget *QueryPanelContentView::setupFooterRow()
{
    auto *footer = new QWidget;
    footer->setFixedHeight(footerHeight);
    auto *layout = row(footer, QMargins(14, 11, 14, 11), 8);

    auto *cancelButton = new QPushButton(QStringLiteral("Cancel"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setFlat(true);
    cancelButton->setFocusPolicy(Qt::NoFocus);
    cancelButton->setCursor(Qt::PointingHandCursor);
    cancelButton->setFont(QueryPanelTheme::systemFont(11, QFont::Medium));
    cancelButton->setStyleSheet(u"QPushButton { border: none; background: transparent; padding: 0px; color: " +
                                cssColor(QueryPanelTheme::dimText()) + u"; }");
    connect(cancelButton, &QPushButton::clicked, this, &QueryPanelContentView::cancelPressed);

    auto *cancelGroup = new QHBoxLayout;
    cancelGroup->setSpacing(6);
    cancelGroup->addWidget(cancelButton);
    cancelGroup->addWidget(new KeyBadgeView(QStringLiteral("esc")));

    preparingSpinner_ = new SpinnerView;
    preparingLabel_ =
        label(QStringLiteral("Preparing screenshot…"), QueryPanelTheme::systemFont(11), QueryPanelTheme::dimText());
    transcribingSpinner_ = new SpinnerView;
    transcribingLabel_ =
        label(QStringLiteral("Transcribing…"), QueryPanelTheme::systemFont(11), QueryPanelTheme::dimText());
    voiceMessageLabel_ = label(QString(), QueryPanelTheme::systemFont(11), recordingRed);
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
    return footer;
}

void QueryPanelContentView::setupObservers()
{
    AnnotationSession *session = session_.data();
    connect(session, &AnnotationSession::chatMessagesChanged, this, [this] {
        rowsOutdated_ = true;
        scheduleTranscriptRefresh();
    });
    connect(session, &AnnotationSession::chatMessageUpdated, this, [this](const QUuid &id) {
        changedMessages_.insert(id);
        scheduleTranscriptRefresh();
    });
    for (auto signal :
         {&AnnotationSession::stateChanged, &AnnotationSession::isPreparingCaptureChanged,
          &AnnotationSession::isAdditionalCaptureChanged, &AnnotationSession::isAwaitingAdditionalDrawChanged})
        connect(session, signal, &stateTimer_, qOverload<>(&QTimer::start));
    connect(holdToRecord_, &HoldToRecordController::stateChanged, this, &QueryPanelContentView::updateState);
    connect(holdToRecord_, &HoldToRecordController::microphoneAppearanceChanged, this,
            &QueryPanelContentView::updateMicrophoneAppearance);
    connect(holdToRecord_, &HoldToRecordController::recordingFailed, this, &QueryPanelContentView::showVoiceMessage);
    connect(queryField_, &QueryInputTextView::emptyEnterPressBegan, holdToRecord_,
            &HoldToRecordController::beginKeyboardRecording);
    connect(queryField_, &QueryInputTextView::emptyEnterPressEnded, holdToRecord_,
            &HoldToRecordController::endKeyboardRecording);
    connect(micButton_, &HoldToRecordButton::pressStarted, holdToRecord_,
            &HoldToRecordController::beginButtonRecording);
    connect(micButton_, &HoldToRecordButton::pressEnded, holdToRecord_,
            &HoldToRecordController::stopButtonRecordingAndTranscribe);
    if (SettingsManager *store = settings()) {
        for (auto signal : {&SettingsManager::selectedProviderChanged, &SettingsManager::anthropicModelChanged,
                            &SettingsManager::openAIModelChanged, &SettingsManager::compatibleModelChanged,
                            &SettingsManager::compatibleBaseURLChanged, &SettingsManager::apiKeysChanged})
            connect(store, signal, this, &QueryPanelContentView::updateModelButtonTitle);
        for (auto signal :
             {&SettingsManager::compatibleBaseURLChanged, &SettingsManager::compatibleAllowUnencryptedChanged})
            connect(store, signal, this, &QueryPanelContentView::fetchCompatibleModels);
        store->refreshAPIKeys();
        fetchCompatibleModels();
    }
}

void QueryPanelContentView::setTranscriptionService(TranscriptionService *service)
{
    holdToRecord_->setTranscriptionService(service);
    micButton_->setVisible(service != nullptr);
}

bool QueryPanelContentView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == transcriptScrollView_->viewport() && event->type() == QEvent::Resize)
        resizeDocument();
    else if (watched == transcriptScrollView_ && event->type() == QEvent::Resize)
        placeTranscriptOverlays();
    else if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        updateInputBorder(); // only the query text is watched for focus
    return QWidget::eventFilter(watched, event);
}

// --- transcript ---------------------------------------------------------------------------------------

// Changes arriving within one frame of the last update are applied together at the next frame.
void QueryPanelContentView::scheduleTranscriptRefresh()
{
    if (transcriptTimer_.isActive())
        return;
    const qint64 elapsed = sinceTranscriptUpdate_.isValid() ? sinceTranscriptUpdate_.elapsed() : frameIntervalMs;
    transcriptTimer_.start(int(qMax<qint64>(0, frameIntervalMs - elapsed)));
}

void QueryPanelContentView::flushPendingUpdates()
{
    if (stateTimer_.isActive())
        updateState();
    if (transcriptTimer_.isActive() || rowsOutdated_ || !changedMessages_.isEmpty())
        updateTranscript();
}

void QueryPanelContentView::updateTranscript()
{
    transcriptTimer_.stop();
    sinceTranscriptUpdate_.start();
    if (!session_)
        return;
    if (rowsOutdated_) {
        syncRows();
    } else {
        for (const QUuid &id : std::as_const(changedMessages_))
            refreshRow(id);
    }
    rowsOutdated_ = false;
    changedMessages_.clear();

    transcriptScrollView_->setVisible(!rows_.isEmpty());
    updatePanelHeight();
    resizeDocument();
    scrollTranscriptToBottom();
}

// Keeps the rows whose message is unchanged (or only has new text), makes the others.
void QueryPanelContentView::syncRows()
{
    QHash<QUuid, QueryChatMessageView *> previous = std::exchange(rowsByID_, {});
    for (QueryChatMessageView *view : std::as_const(rows_))
        transcriptStack_->removeWidget(view);
    rows_.clear();

    for (const ChatMessage &message : session_->chatMessages()) {
        QueryChatMessageView *view = previous.take(message.id);
        if (view && view->message() != message && !view->updateMessage(message)) {
            view->deleteLater();
            view = nullptr;
        }
        if (!view)
            view = makeRow(message);
        transcriptStack_->addWidget(view);
        view->show();
        rows_.append(view);
        rowsByID_.insert(message.id, view);
    }
    for (QueryChatMessageView *view : std::as_const(previous)) {
        view->hide();
        view->deleteLater();
    }
}

void QueryPanelContentView::refreshRow(const QUuid &id)
{
    QueryChatMessageView *view = rowsByID_.value(id);
    if (!view)
        return;
    const QList<ChatMessage> &messages = session_->chatMessages();
    // The message that changes is nearly always the last one.
    for (auto it = messages.crbegin(); it != messages.crend(); ++it) {
        if (it->id != id)
            continue;
        if (!view->updateMessage(*it)) {
            QueryChatMessageView *replacement = makeRow(*it);
            transcriptStack_->replaceWidget(view, replacement);
            rows_[rows_.indexOf(view)] = replacement;
            rowsByID_.insert(id, replacement);
            view->hide();
            view->deleteLater();
            replacement->show();
        }
        return;
    }
}

QueryChatMessageView *QueryPanelContentView::makeRow(const ChatMessage &message)
{
    auto *view = new QueryChatMessageView(message, transcriptDocumentView_);
    view->setObjectName(QStringLiteral("transcriptRow"));
    connect(view, &QueryChatMessageView::openAttachmentRequested, this, &QueryPanelContentView::openImagePreview);
    if (QueryChatMessageView::isRemovable(message)) {
        const QUuid id = message.id;
        connect(view, &QueryChatMessageView::removeAttachmentRequested, this, [this, id] {
            if (session_)
                session_->removeAttachmentMessage(id);
        });
    }
    return view;
}

void QueryPanelContentView::resizeDocument()
{
    const int width = qMax(transcriptScrollView_->viewport()->width(), 1);
    transcriptDocumentView_->resize(width, transcriptStack_->totalHeightForWidth(width));
}

void QueryPanelContentView::scrollTranscriptToBottom()
{
    QScrollBar *bar = transcriptScrollView_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void QueryPanelContentView::placeTranscriptOverlays()
{
    const QRect area = transcriptScrollView_->rect();
    transcriptBottomFade_->setGeometry(0, area.height() - 20, area.width(), 20);
    transcriptDivider_->setGeometry(0, area.height() - 1, area.width(), 1);
    transcriptScroller_->setGeometry(area.width() - 8, 0, 6, area.height());
    transcriptBottomFade_->raise();
    transcriptDivider_->raise();
    transcriptScroller_->raise();
}

// --- state --------------------------------------------------------------------------------------------

void QueryPanelContentView::updateState()
{
    stateTimer_.stop();
    if (!session_)
        return;
    const SessionState state = session_->state();
    const bool hideInput =
        (state == SessionState::Drawing && session_->isAdditionalCapture()) || session_->isAwaitingAdditionalDraw();
    inputContainer_->setVisible(!hideInput);
    drawingHintContainer_->setVisible(hideInput);

    const bool enabled =
        state != SessionState::Streaming && !holdToRecord_->isRecording() && !holdToRecord_->isTranscribing();
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
    updatePanelHeight();

    if (session_->isPreparingCapture())
        preparingSpinner_->start();
    else
        preparingSpinner_->stop();
    preparingLabel_->setVisible(session_->isPreparingCapture());
    if (holdToRecord_->isTranscribing())
        transcribingSpinner_->start();
    else
        transcribingSpinner_->stop();
    transcribingLabel_->setVisible(holdToRecord_->isTranscribing());
}

void QueryPanelContentView::updateMicrophoneAppearance()
{
    QColor tint = QueryPanelTheme::dimText();
    if (holdToRecord_->isRecording())
        tint =
            holdToRecord_->isMicrophoneBlinkVisible() ? recordingRed : QueryPanelTheme::withAlpha(recordingRed, 0.25);
    micButton_->setIcon(SymbolIcon::tinted(QStringLiteral("mic"), tint, QSize(20, 20)));
}

void QueryPanelContentView::showVoiceMessage(const QString &text)
{
    voiceMessageLabel_->setText(text);
    voiceMessageLabel_->show();
    voiceMessageTimer_.start(voiceMessageMs);
}

void QueryPanelContentView::updateSendButton()
{
    const bool enabled = session_ && !queryField_->textView()->isBlank() &&
                         session_->state() != SessionState::Streaming && !session_->isPreparingCapture() &&
                         !holdToRecord_->isRecording() && !holdToRecord_->isTranscribing();
    sendButton_->setEnabled(enabled);
    sendButton_->setIcon(SymbolIcon::tinted(QStringLiteral("arrow-up-circle-fill"),
                                            enabled ? QueryPanelTheme::accent() : QueryPanelTheme::dimText(),
                                            QSize(22, 22)));
}

void QueryPanelContentView::updateInputBorder()
{
    inputContainer_->setBorderColor(queryField_->textView()->hasFocus()
                                        ? QueryPanelTheme::withAlpha(QueryPanelTheme::accent(), 0.5)
                                        : QueryPanelTheme::subtleBorder());
}

void QueryPanelContentView::updatePanelHeight()
{
    // Size changes travel up the tree one posted layout request per level; settle them all first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const int input = qMax(inputRow_->sizeHint().height(), minimumInputRowHeight);
    int height = input + footerHeight;
    if (!rows_.isEmpty()) {
        const int width = qMax(transcriptScrollView_->viewport()->width(), 1);
        const int transcript = qMin(transcriptStack_->totalHeightForWidth(width), transcriptMaxHeight);
        transcriptScrollView_->setFixedHeight(transcript);
        height = qMin(input + transcript + footerHeight, panelHeightCap);
    } else {
        transcriptScrollView_->setFixedHeight(0);
    }
    reportedHeight_ = height;
    Q_EMIT heightChanged(height);
}

// --- actions ------------------------------------------------------------------------------------------

void QueryPanelContentView::submitQuery()
{
    const QString query = queryField_->text().trimmed();
    // Return still reaches the read-only field: typed text must not overtake a spoken question.
    if (query.isEmpty() || !session_ || holdToRecord_->isRecording() || holdToRecord_->isTranscribing())
        return;
    queryField_->clear();
    queryField_->updatePlaceholder();
    queryField_->recalculateHeight();
    updateSendButton();
    session_->submit(query);
    DebugLog::log(QStringLiteral("QueryPanel"), u"Submit triggered queryLength=" + QString::number(query.size()));
}

void QueryPanelContentView::cancelPressed()
{
    if (session_)
        session_->cancel();
}

void QueryPanelContentView::openImagePreview(const QByteArray &data, const QString &title)
{
    const QImage image = QImage::fromData(data);
    if (image.isNull())
        return;
    imagePreviewController_ = std::make_unique<ImagePreviewWindowController>(image, title, screen());
    imagePreviewController_->showWindow();
}

// --- model pill ---------------------------------------------------------------------------------------

SettingsManager *QueryPanelContentView::settings() const
{
    return session_ ? session_->settings() : nullptr;
}

bool QueryPanelContentView::hasKey(const QString &account) const
{
    SettingsManager *store = settings();
    return store && store->isAPIKeySet(account);
}

bool QueryPanelContentView::hasProvider() const
{
    SettingsManager *store = settings();
    return hasKey(SettingsManager::anthropicKeyAccount) || hasKey(SettingsManager::openAIKeyAccount) ||
           (store && !store->compatibleBaseURL().trimmed().isEmpty());
}

// What the user's own server offers, asked while the question is typed so the menu can list it.
void QueryPanelContentView::fetchCompatibleModels()
{
    SettingsManager *store = settings();
    if (!store || store->compatibleBaseURL().trimmed().isEmpty())
        return;
    if (!compatibleModels_)
        compatibleModels_ = new CompatibleModelList(this);
    store->keychainReadLater(SettingsManager::compatibleKeyAccount)
        .then(this, [this, base = store->compatibleBaseURL(),
                     allow = store->compatibleAllowUnencrypted()](const StoredSecret &key) {
            compatibleModels_->fetch(base, allow, key.isSet() ? key.value : QString());
        });
}

QString QueryPanelContentView::modelDisplayName(const QString &model)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("claude-opus-4-6"), QStringLiteral("Opus 4.6")},
        {QStringLiteral("claude-sonnet-4-6"), QStringLiteral("Sonnet 4.6")},
        {QStringLiteral("claude-haiku-4-5-20251001"), QStringLiteral("Haiku 4.5")},
        {QStringLiteral("gpt-5.4"), QStringLiteral("GPT-5.4")},
        {QStringLiteral("gpt-5.4-mini"), QStringLiteral("GPT-5.4 mini")},
        {QStringLiteral("gpt-5.4-nano"), QStringLiteral("GPT-5.4 nano")},
    };
    return names.value(model, model);
}

void QueryPanelContentView::updateModelButtonTitle()
{
    SettingsManager *store = settings();
    if (!store || !hasProvider()) {
        modelButton_->setText(QStringLiteral("Configure API keys"));
    } else {
        // The model the question will go to: any unknown provider value means Anthropic.
        const QString model = ProviderChoice::fromSettings(*store, store->selectedProvider()).config.model;
        modelButton_->setText(model.isEmpty() ? QStringLiteral("Choose a model") : modelDisplayName(model));
    }
    modelButton_->updateGeometry();
}

QMenu *QueryPanelContentView::createModelMenu()
{
    SettingsManager *store = settings();
    auto *menu = new QMenu(this);
    if (!store)
        return menu;
    const auto addGroup = [&](const QString &title, const QString &provider, const QStringList &models,
                              const QString &current) {
        menu->addAction(title)->setEnabled(false);
        for (const QString &model : models) {
            QAction *item = menu->addAction(modelDisplayName(model));
            item->setData(QString(provider + u':' + model));
            item->setCheckable(true);
            item->setChecked(store->selectedProvider() == provider && current == model);
            connect(item, &QAction::triggered, this, [this, item] { selectModel(item); });
        }
    };
    const bool anthropic = hasKey(SettingsManager::anthropicKeyAccount);
    if (anthropic)
        addGroup(QStringLiteral("Claude"), anthropicProvider, AnthropicProvider(QString(), QString()).availableModels(),
                 store->anthropicModel());
    if (hasKey(SettingsManager::openAIKeyAccount)) {
        if (anthropic)
            menu->addSeparator();
        addGroup(QStringLiteral("OpenAI"), openAIProvider, SettingsManager::supportedOpenAIModels,
                 store->openAIModel());
    }
    if (!store->compatibleBaseURL().trimmed().isEmpty()) {
        QStringList offered = compatibleModels_ ? compatibleModels_->models() : QStringList();
        if (!store->compatibleModel().isEmpty() && !offered.contains(store->compatibleModel()))
            offered.prepend(store->compatibleModel());
        if (!menu->isEmpty())
            menu->addSeparator();
        addGroup(QStringLiteral("OpenAI-compatible server"), compatibleProvider, offered, store->compatibleModel());
        if (offered.isEmpty())
            menu->addAction(QStringLiteral("No models offered; set one in Settings"))->setEnabled(false);
    }
    return menu;
}

void QueryPanelContentView::showModelMenu()
{
    if (!hasProvider()) {
        Q_EMIT settingsRequested();
        return;
    }
    QMenu *menu = createModelMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(modelButton_->mapToGlobal(QPoint(0, modelButton_->height() + 4)));
}

void QueryPanelContentView::selectModel(QAction *item)
{
    SettingsManager *store = settings();
    if (!store || !item || item->data().typeId() != QMetaType::QString)
        return;
    const QString choice = item->data().toString();
    const qsizetype colon = choice.indexOf(u':');
    if (colon <= 0 || colon == choice.size() - 1)
        return;
    const QString provider = choice.left(colon);
    const QString model = choice.mid(colon + 1);
    store->setSelectedProvider(provider);
    if (provider == anthropicProvider)
        store->setAnthropicModel(model);
    else if (provider == compatibleProvider)
        store->setCompatibleModel(model);
    else
        store->setOpenAIModel(model);
    updateModelButtonTitle();
}

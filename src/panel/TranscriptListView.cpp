#include "panel/TranscriptListView.h"

#include "panel/GradientFadeView.h"
#include "panel/ImagePreviewWindowController.h"
#include "panel/QueryChatMessageView.h"
#include "panel/QueryPanelTheme.h"
#include "session/AnnotationSession.h"

#include <QEvent>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int frameIntervalMs = 16;
// Around the messages: the sides keep clear of the card's rounded corners, the right one holds the
// scroller, the bottom one the divider.
constexpr QMargins aroundMessages(19, 1, 19, 14);
constexpr int fadeHeight = 20;

} // namespace

TranscriptListView::TranscriptListView(AnnotationSession &session, QWidget *parent)
    : QScrollArea(parent)
    , session_(&session)
{
    document_ = new QWidget;
    document_->setObjectName(QStringLiteral("transcriptDocument"));
    stack_ = new QVBoxLayout(document_);
    stack_->setContentsMargins(5, 13, 5, 0);
    stack_->setSpacing(12);
    stack_->setSizeConstraint(QLayout::SetNoConstraint);

    // While an answer streams in, a new line scrolls what is shown up by moving pixels, and only the new
    // line and the rest of the answer are painted: the messages lie on an opaque background, nothing
    // overlaps them, and they grow downwards without painting again what they showed.
    QPalette palette = document_->palette();
    palette.setColor(QPalette::Window, QueryPanelTheme::background());
    document_->setPalette(palette);
    document_->setAutoFillBackground(true);
    document_->setAttribute(Qt::WA_StaticContents);

    // The card behind draws the margins, so its rounded corners show.
    setObjectName(QStringLiteral("transcript"));
    setAccessibleName(QStringLiteral("Conversation"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The scroller sits in the margin instead of taking width from the text: a scroll bar that came and
    // went would make every message wrap again.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setViewportMargins(aroundMessages);
    setWidgetResizable(false);
    setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    viewport()->setAutoFillBackground(false);
    setWidget(document_);

    bottomFade_ = new GradientFadeView(this);
    scroller_ = new QScrollBar(Qt::Vertical, this);
    scroller_->setStyleSheet(QueryPanelTheme::scrollBarStyle());
    scroller_->hide();
    QScrollBar *inner = verticalScrollBar();
    connect(inner, &QScrollBar::rangeChanged, scroller_, [this](int minimum, int maximum) {
        scroller_->setRange(minimum, maximum);
        scroller_->setPageStep(verticalScrollBar()->pageStep());
        scroller_->setVisible(maximum > minimum);
    });
    connect(inner, &QScrollBar::valueChanged, scroller_, &QScrollBar::setValue);
    connect(scroller_, &QScrollBar::valueChanged, inner, &QScrollBar::setValue);
    connect(inner, &QScrollBar::valueChanged, this, &TranscriptListView::updateFade);
    divider_ = new QWidget(this);
    divider_->setAttribute(Qt::WA_TransparentForMouseEvents);
    divider_->setStyleSheet(u"background: " + QueryPanelTheme::cssColor(QueryPanelTheme::faintBorder()) + u';');
    setFixedHeight(0);

    connect(&session, &AnnotationSession::chatMessagesChanged, this, [this] {
        rowsOutdated_ = true;
        scheduleRefresh();
    });
    connect(&session, &AnnotationSession::chatMessageUpdated, this, [this](const QUuid &id) {
        changedMessages_.insert(id);
        scheduleRefresh();
    });
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &TranscriptListView::applyChanges);
}

TranscriptListView::~TranscriptListView() = default;

bool TranscriptListView::event(QEvent *event)
{
    if (event->type() == QEvent::Resize)
        placeOverlays();
    return QScrollArea::event(event);
}

bool TranscriptListView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize)
        resizeDocument();
    return QScrollArea::viewportEvent(event);
}

// Changes arriving within one frame of the last update are applied together at the next frame.
void TranscriptListView::scheduleRefresh()
{
    if (timer_.isActive())
        return;
    const qint64 elapsed = sinceUpdate_.isValid() ? sinceUpdate_.elapsed() : frameIntervalMs;
    timer_.start(int(qMax<qint64>(0, frameIntervalMs - elapsed)));
}

void TranscriptListView::flushPendingUpdates()
{
    if (timer_.isActive() || rowsOutdated_ || !changedMessages_.isEmpty())
        applyChanges();
}

void TranscriptListView::applyChanges()
{
    timer_.stop();
    sinceUpdate_.start();
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

    setVisible(!rows_.isEmpty());
    Q_EMIT updated();
    resizeDocument();
    scrollToBottom();
}

// Keeps the rows whose message is unchanged (or only has new text), makes the others.
void TranscriptListView::syncRows()
{
    QHash<QUuid, QueryChatMessageView *> previous = std::exchange(rowsByID_, {});
    for (QueryChatMessageView *view : std::as_const(rows_))
        stack_->removeWidget(view);
    rows_.clear();

    for (const ChatMessage &message : session_->chatMessages()) {
        QueryChatMessageView *view = previous.take(message.id);
        if (view && view->message() != message && !view->updateMessage(message)) {
            view->deleteLater();
            view = nullptr;
        }
        if (!view)
            view = makeRow(message);
        stack_->addWidget(view);
        view->show();
        rows_.append(view);
        rowsByID_.insert(message.id, view);
    }
    for (QueryChatMessageView *view : std::as_const(previous)) {
        view->hide();
        view->deleteLater();
    }
}

void TranscriptListView::refreshRow(const QUuid &id)
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
            delete stack_->replaceWidget(view, replacement); // the layout's item for the old row is ours now
            rows_[rows_.indexOf(view)] = replacement;
            rowsByID_.insert(id, replacement);
            view->hide();
            view->deleteLater();
            replacement->show();
        }
        return;
    }
}

QueryChatMessageView *TranscriptListView::makeRow(const ChatMessage &message)
{
    auto *view = new QueryChatMessageView(message, document_);
    view->setObjectName(QStringLiteral("transcriptRow"));
    view->addActions(actions());
    connect(view, &QueryChatMessageView::openAttachmentRequested, this, &TranscriptListView::openImagePreview);
    if (QueryChatMessageView::isRemovable(message)) {
        const QUuid id = message.id;
        connect(view, &QueryChatMessageView::removeAttachmentRequested, this, [this, id] {
            if (session_)
                session_->removeAttachmentMessage(id);
        });
    }
    return view;
}

int TranscriptListView::documentHeight() const
{
    return messagesHeight() + aroundMessages.top() + aroundMessages.bottom();
}

int TranscriptListView::messagesHeight() const
{
    return stack_->totalHeightForWidth(qMax(viewport()->width(), 1));
}

void TranscriptListView::resizeDocument()
{
    document_->resize(qMax(viewport()->width(), 1), messagesHeight());
}

void TranscriptListView::scrollToBottom()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
    updateFade();
}

// The fade says there is more below. At the end, where new text comes in, nothing is faded.
void TranscriptListView::updateFade()
{
    const QScrollBar *bar = verticalScrollBar();
    bottomFade_->setVisible(bar->value() < bar->maximum());
}

void TranscriptListView::placeOverlays()
{
    const QRect area = rect();
    bottomFade_->setGeometry(0, area.height() - aroundMessages.bottom() - fadeHeight, area.width(), fadeHeight);
    divider_->setGeometry(0, area.height() - 1, area.width(), 1);
    scroller_->setGeometry(area.width() - 8, 0, 6, area.height());
    bottomFade_->raise();
    divider_->raise();
    scroller_->raise();
    updateFade();
}

void TranscriptListView::openImagePreview(const QByteArray &data, const QString &title)
{
    const QImage image = QImage::fromData(data);
    if (image.isNull())
        return;
    imagePreviewController_ = std::make_unique<ImagePreviewWindowController>(image, title, screen());
    imagePreviewController_->showWindow();
}

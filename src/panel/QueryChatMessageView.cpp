#include "panel/QueryChatMessageView.h"

#include "panel/AttachmentThumbnailButton.h"
#include "panel/AutoSizingTextView.h"
#include "panel/MessageTextView.h"
#include "panel/QueryPanelTheme.h"
#include "panel/RoundedBackgroundView.h"
#include "panel/SymbolIcon.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace {

constexpr qreal userShare = 0.72;
constexpr int userSpacing = 6;
constexpr int bubbleInsetX = 16;
constexpr int bubbleInsetY = 12;
constexpr int assistantTrailingGap = 48;
constexpr int copyButtonSize = 22;
constexpr int copiedFeedbackMs = 1500;
constexpr int noteSpacing = 4;

} // namespace

QueryChatMessageView::QueryChatMessageView(const ChatMessage &message, QWidget *parent)
    : QWidget(parent)
    , message_(message)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAttribute(Qt::WA_StaticContents); // paints nothing itself: growing must not repaint its children

    const Shown text = shown(message);
    const bool user = message.role == ChatMessageRole::User;
    if (user && message.attachment) {
        const QImage image = QImage::fromData(message.attachment->imageData);
        if (!image.isNull()) {
            thumbnail_ = new AttachmentThumbnailButton(image, isRemovable(message), this);
            thumbnail_->setAccessibleName(message.attachment->title);
            const ChatAttachment attachment = *message.attachment;
            connect(thumbnail_, &AttachmentThumbnailButton::clicked, this,
                    [this, attachment] { Q_EMIT openAttachmentRequested(attachment.imageData, attachment.title); });
            connect(thumbnail_, &AttachmentThumbnailButton::removeRequested, this,
                    &QueryChatMessageView::removeAttachmentRequested);
        }
    }
    if (!user && !message.note.isEmpty()) {
        note_ = QueryPanelTheme::label(message.note, QueryPanelTheme::systemFont(11), QueryPanelTheme::dimText());
        note_->setParent(this);
        note_->setWordWrap(true);
    }
    if (!text.hasText)
        return;
    if (user) {
        bubble_ = new RoundedBackgroundView(16, QueryPanelTheme::userBubbleBackground(),
                                            QueryPanelTheme::userBubbleBorder(), 1, this);
        text_ = new MessageTextView(text.text, message.role, text.dimmed, message.isStreaming, bubble_);
        text_->textView()->setAccessibleName(QStringLiteral("Question"));
    } else {
        text_ = new MessageTextView(text.text, message.role, text.dimmed, message.isStreaming, this);
        text_->textView()->setAccessibleName(QStringLiteral("Answer"));
        addCopyButton();
    }
}

void QueryChatMessageView::addCopyButton()
{
    copyButton_ = new QToolButton(this);
    copyButton_->setObjectName(QStringLiteral("copyAnswerButton"));
    copyButton_->setAccessibleName(QStringLiteral("Copy Answer"));
    copyButton_->setToolTip(QStringLiteral("Copy Answer"));
    copyButton_->setAutoRaise(true);
    copyButton_->setFocusPolicy(Qt::TabFocus);
    copyButton_->setCursor(Qt::PointingHandCursor);
    copyButton_->setFixedSize(copyButtonSize, copyButtonSize);
    copyButton_->setIconSize(QSize(16, 16));
    copyButton_->setStyleSheet(QueryPanelTheme::iconButtonStyle());
    copyButton_->installEventFilter(this);
    connect(copyButton_, &QToolButton::clicked, this, &QueryChatMessageView::copyAnswer);
    copiedFeedback_.setSingleShot(true);
    copiedFeedback_.setInterval(copiedFeedbackMs);
    connect(&copiedFeedback_, &QTimer::timeout, this, &QueryChatMessageView::updateCopyButton);

    AutoSizingTextView *textView = text_->textView();
    textView->installEventFilter(this);
    textView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(textView, &QWidget::customContextMenuRequested, this, &QueryChatMessageView::showContextMenu);
    updateCopyButton();
}

bool QueryChatMessageView::isCompleteAnswer() const
{
    return message_.role == ChatMessageRole::Assistant && !message_.isStreaming && !message_.text.isEmpty();
}

bool QueryChatMessageView::copyAnswer()
{
    if (!isCompleteAnswer())
        return false;
    QGuiApplication::clipboard()->setText(message_.text);
    if (copyButton_) {
        copiedFeedback_.start();
        updateCopyButton();
    }
    return true;
}

// The button keeps its place in the tab order while unseen, so the keyboard reaches it too.
void QueryChatMessageView::updateCopyButton()
{
    if (!copyButton_)
        return;
    const bool complete = isCompleteAnswer();
    copyButton_->setEnabled(complete);
    const bool seen = complete && (underMouse() || copyButton_->hasFocus() || text_->textView()->hasFocus() ||
                                   copiedFeedback_.isActive());
    copyButton_->setIcon(
        !seen ? QIcon()
              : SymbolIcon::tinted(
                    copiedFeedback_.isActive() ? QStringLiteral("checkmark") : QStringLiteral("doc-on-doc"),
                    copyButton_->hasFocus() ? QueryPanelTheme::accent() : QueryPanelTheme::dimText(), QSize(16, 16)));
}

void QueryChatMessageView::showContextMenu(const QPoint &position)
{
    AutoSizingTextView *textView = text_->textView();
    QMenu *menu = textView->createStandardContextMenu(position);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction *copy = menu->addAction(QStringLiteral("Copy Answer"), this, &QueryChatMessageView::copyAnswer);
    copy->setEnabled(isCompleteAnswer());
    menu->addActions(actions());
    menu->popup(textView->viewport()->mapToGlobal(position));
}

void QueryChatMessageView::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    updateCopyButton();
}

void QueryChatMessageView::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    updateCopyButton();
}

bool QueryChatMessageView::eventFilter(QObject *watched, QEvent *event)
{
    // The copy button and the answer's text are watched for the keyboard.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        updateCopyButton();
    return QWidget::eventFilter(watched, event);
}

bool QueryChatMessageView::isRemovable(const ChatMessage &message)
{
    return message.text.isEmpty() && message.attachment && !message.isStreaming;
}

QueryChatMessageView::Shown QueryChatMessageView::shown(const ChatMessage &message)
{
    const bool assistant = message.role == ChatMessageRole::Assistant;
    if (message.isStreaming && message.text.isEmpty())
        return {assistant ? QStringLiteral("Thinking…") : QStringLiteral("Transcribing…"), true, true};
    // An answer with nothing in it but its note shows the note alone.
    return {message.text, message.isStreaming && !assistant,
            (assistant && message.note.isEmpty()) || !message.text.isEmpty() || message.isStreaming};
}

bool QueryChatMessageView::updateMessage(const ChatMessage &message)
{
    if (message.id != message_.id || message.role != message_.role || message.attachment != message_.attachment ||
        isRemovable(message) != isRemovable(message_) || shown(message).hasText != shown(message_).hasText ||
        message.note != message_.note)
        return false;
    const bool wasComplete = isCompleteAnswer();
    message_ = message;
    if (text_) {
        const Shown text = shown(message);
        text_->setText(text.text, text.dimmed, message.isStreaming);
        if (isCompleteAnswer() != wasComplete)
            updateCopyButton();
        geometryCache_.reset();
        placeChildren();
        updateGeometry();
    }
    return true;
}

QueryChatMessageView::Geometry QueryChatMessageView::geometryFor(int width) const
{
    if (!geometryCache_ || geometryCache_->first != width)
        geometryCache_.emplace(width, measuredGeometry(width));
    return geometryCache_->second;
}

QueryChatMessageView::Geometry QueryChatMessageView::measuredGeometry(int width) const
{
    Geometry g;
    if (message_.role == ChatMessageRole::Assistant) {
        const int textWidth = qMax(width - assistantTrailingGap, 1);
        if (text_) {
            g.text = QRect(0, 0, textWidth, text_->heightForWidth(textWidth));
            g.height = g.text.height();
        }
        if (note_) {
            g.note = QRect(0, text_ ? g.height + noteSpacing : 0, textWidth, note_->heightForWidth(textWidth));
            g.height = g.note.bottom() + 1;
        }
        return g;
    }
    const int maxWidth = int(width * userShare);
    int y = 0;
    if (thumbnail_) {
        const QSize size = thumbnail_->size();
        g.thumbnail = QRect(QPoint(width - size.width(), 0), size);
        y = g.thumbnail.bottom() + 1;
    }
    if (text_) {
        if (thumbnail_)
            y += userSpacing;
        const int textWidth = qMax(text_->textView()->idealWidth(qMax(maxWidth - 2 * bubbleInsetX, 1)), 1);
        g.text = QRect(bubbleInsetX, bubbleInsetY, textWidth, text_->heightForWidth(textWidth));
        const QSize bubble(textWidth + 2 * bubbleInsetX, g.text.height() + 2 * bubbleInsetY);
        g.bubble = QRect(QPoint(width - bubble.width(), y), bubble);
        y = g.bubble.bottom() + 1;
    }
    g.height = y;
    return g;
}

int QueryChatMessageView::heightForWidth(int width) const
{
    return geometryFor(width).height;
}

QSize QueryChatMessageView::sizeHint() const
{
    return QSize(width(), heightForWidth(width()));
}

void QueryChatMessageView::resizeEvent(QResizeEvent *)
{
    placeChildren();
}

void QueryChatMessageView::placeChildren()
{
    const Geometry g = geometryFor(width());
    if (thumbnail_)
        thumbnail_->setGeometry(g.thumbnail);
    if (bubble_)
        bubble_->setGeometry(g.bubble);
    if (text_)
        text_->setGeometry(g.text);
    if (copyButton_)
        copyButton_->move(width() - copyButtonSize, 0);
    if (note_)
        note_->setGeometry(g.note);
}

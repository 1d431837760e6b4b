#include "panel/QueryChatMessageView.h"

#include "panel/AttachmentThumbnailButton.h"
#include "panel/AutoSizingTextView.h"
#include "panel/MessageTextView.h"
#include "panel/QueryPanelTheme.h"
#include "panel/RoundedBackgroundView.h"

#include <QImage>

namespace {

constexpr qreal userShare = 0.72;
constexpr int userSpacing = 6;
constexpr int bubbleInsetX = 16;
constexpr int bubbleInsetY = 12;
constexpr int assistantTrailingGap = 48;

} // namespace

QueryChatMessageView::QueryChatMessageView(const ChatMessage &message, QWidget *parent)
    : QWidget(parent)
    , message_(message)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    const Shown text = shown(message);
    const bool user = message.role == ChatMessageRole::User;
    if (user && message.attachment) {
        const QImage image = QImage::fromData(message.attachment->imageData);
        if (!image.isNull()) {
            thumbnail_ = new AttachmentThumbnailButton(image, isRemovable(message), this);
            const ChatAttachment attachment = *message.attachment;
            connect(thumbnail_, &AttachmentThumbnailButton::clicked, this,
                    [this, attachment] { Q_EMIT openAttachmentRequested(attachment.imageData, attachment.title); });
            connect(thumbnail_, &AttachmentThumbnailButton::removeRequested, this,
                    &QueryChatMessageView::removeAttachmentRequested);
        }
    }
    if (!text.hasText)
        return;
    if (user) {
        bubble_ = new RoundedBackgroundView(16, QueryPanelTheme::userBubbleBackground(),
                                            QueryPanelTheme::userBubbleBorder(), 1, this);
        text_ = new MessageTextView(text.text, message.role, text.dimmed, message.isStreaming, bubble_);
    } else {
        text_ = new MessageTextView(text.text, message.role, text.dimmed, message.isStreaming, this);
    }
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
    return {message.text, message.isStreaming && !assistant,
            assistant || !message.text.isEmpty() || message.isStreaming};
}

bool QueryChatMessageView::updateMessage(const ChatMessage &message)
{
    if (message.id != message_.id || message.role != message_.role || message.attachment != message_.attachment ||
        isRemovable(message) != isRemovable(message_) || shown(message).hasText != shown(message_).hasText)
        return false;
    message_ = message;
    if (text_) {
        const Shown text = shown(message);
        text_->setText(text.text, text.dimmed, message.isStreaming);
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
        if (text_) {
            const int textWidth = qMax(width - assistantTrailingGap, 1);
            g.text = QRect(0, 0, textWidth, text_->heightForWidth(textWidth));
            g.height = g.text.height();
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
}

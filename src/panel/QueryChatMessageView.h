#pragma once

#include "session/ChatMessage.h"

#include <QTimer>
#include <QWidget>

#include <optional>
#include <utility>

class AttachmentThumbnailButton;
class MessageTextView;
class QLabel;
class QToolButton;
class RoundedBackgroundView;

// One row of the transcript. A user row is right-aligned (thumbnail, then a bubble with the text); an
// assistant row is the answer's text on the left, without a bubble, and once the answer is complete a copy
// button ("copyAnswerButton") beside it, seen while the row is under the pointer or the button has the
// keyboard, and its note, if any, below. The text's context menu offers "Copy Answer" too, then the
// row's own actions.
class QueryChatMessageView : public QWidget {
    Q_OBJECT
public:
    explicit QueryChatMessageView(const ChatMessage &message, QWidget *parent = nullptr);

    const ChatMessage &message() const { return message_; }

    // Shows a newer version of the same message. False when it needs a different row (an attachment or
    // the remove button comes or goes, text appears, the note changes); the row is then left unchanged.
    bool updateMessage(const ChatMessage &message);

    // A screenshot can be removed while it is alone in its message.
    static bool isRemovable(const ChatMessage &message);

    AttachmentThumbnailButton *thumbnail() const { return thumbnail_; }
    MessageTextView *textView() const { return text_; }
    QToolButton *copyButton() const { return copyButton_; }

    // Puts the answer's Markdown source on the clipboard. False for rows that are no complete answer.
    bool copyAnswer();
    QLabel *note() const { return note_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

Q_SIGNALS:
    void openAttachmentRequested(const QByteArray &imageData, const QString &title);
    void removeAttachmentRequested();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Shown {
        QString text;
        bool dimmed = false;
        bool hasText = false;
    };
    struct Geometry {
        QRect thumbnail;
        QRect bubble;
        QRect text; // in the bubble for a user row, in the row otherwise
        QRect note;
        int height = 0;
    };

    static Shown shown(const ChatMessage &message);
    Geometry geometryFor(int width) const;
    Geometry measuredGeometry(int width) const;
    void placeChildren();
    bool isCompleteAnswer() const;
    void addCopyButton();
    void updateCopyButton();
    void showContextMenu(const QPoint &position);

    ChatMessage message_;
    AttachmentThumbnailButton *thumbnail_ = nullptr;
    RoundedBackgroundView *bubble_ = nullptr;
    MessageTextView *text_ = nullptr;
    QToolButton *copyButton_ = nullptr;
    QTimer copiedFeedback_;
    QLabel *note_ = nullptr;
    mutable std::optional<std::pair<int, Geometry>> geometryCache_; // for the width asked last
};

#pragma once

#include "panel/StreamingMarkdown.h"
#include "panel/StyledText.h"
#include "session/ChatMessage.h"

#include <QWidget>

class AutoSizingTextView;

// The text of one transcript row: plain for the user, light Markdown for the assistant.
//
// The Markdown is deliberately small: **bold**, __bold__, `code` and headings of one to three hashes.
// Everything else is shown as typed.
class MessageTextView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumHeight = 20;

    MessageTextView(const QString &text, ChatMessageRole role, bool dimmed, QWidget *parent = nullptr);

    void setText(const QString &text, bool dimmed);
    AutoSizingTextView *textView() const { return textView_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

    static StyledText attributedPlainText(const QString &text);
    // `closed`, when given, tells whether the text ends a line and leaves no marker open, so that
    // text appended later cannot change how this part is shown.
    static StyledText attributedAssistantText(const QString &text, bool *closed = nullptr);
    static void applyHeadingStyle(StyledText &text);
    static QColor foreground(bool dimmed);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    ChatMessageRole role_;
    StreamingMarkdown markdown_;
    AutoSizingTextView *textView_;
};

#pragma once

#include "panel/StreamingMarkdown.h"
#include "session/ChatMessage.h"

#include <QWidget>

class AutoSizingTextView;

// The text of one transcript row: plain for the user, Markdown for the assistant.
class MessageTextView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumHeight = 20;

    // `streaming`: the text is an answer still coming in.
    MessageTextView(const QString &text, ChatMessageRole role, bool dimmed, bool streaming = false,
                    QWidget *parent = nullptr);

    void setText(const QString &text, bool dimmed, bool streaming = false);
    AutoSizingTextView *textView() const { return textView_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

    static QColor foreground(bool dimmed);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showPlainText(const QString &text, const QColor &foreground);

    ChatMessageRole role_;
    StreamingMarkdown markdown_;
    AutoSizingTextView *textView_;
};

#include "panel/MessageTextView.h"

#include "panel/AutoSizingTextView.h"
#include "panel/QueryPanelTheme.h"

#include <QTextCursor>

MessageTextView::MessageTextView(const QString &text, ChatMessageRole role, bool dimmed, bool streaming,
                                 QWidget *parent)
    : QWidget(parent)
    , role_(role)
    , textView_(new AutoSizingTextView(this))
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAttribute(Qt::WA_StaticContents); // paints nothing itself: growing must not repaint the text
    setText(text, dimmed, streaming);
}

void MessageTextView::setText(const QString &text, bool dimmed, bool streaming)
{
    if (role_ == ChatMessageRole::User)
        showPlainText(text, foreground(dimmed));
    else
        markdown_.show(*textView_->document(), text, foreground(dimmed), streaming);
    textView_->documentChanged();
    updateGeometry();
}

// What the user typed is shown as typed, Markdown markers included.
void MessageTextView::showPlainText(const QString &text, const QColor &foreground)
{
    QTextCursor cursor(textView_->document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat paragraph;
    paragraph.setLineHeight(125, QTextBlockFormat::ProportionalHeight);
    paragraph.setBottomMargin(3);
    cursor.setBlockFormat(paragraph);
    QTextCharFormat body;
    body.setFont(QueryPanelTheme::systemFont(13), QTextCharFormat::FontPropertiesAll);
    body.setForeground(foreground);
    cursor.insertText(text, body);
}

QColor MessageTextView::foreground(bool dimmed)
{
    return dimmed ? QueryPanelTheme::dimText() : QueryPanelTheme::text();
}

int MessageTextView::heightForWidth(int width) const
{
    return qMax(textView_->heightForWidth(width), minimumHeight);
}

QSize MessageTextView::sizeHint() const
{
    return QSize(textView_->sizeHint().width(), heightForWidth(width()));
}

void MessageTextView::resizeEvent(QResizeEvent *)
{
    textView_->setGeometry(rect());
}

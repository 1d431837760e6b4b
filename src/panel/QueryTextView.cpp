#include "panel/QueryTextView.h"

#include "panel/QueryPanelTheme.h"

#include <QKeyEvent>
#include <QMimeData>

#include <utility>

namespace {

bool isReturn(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

// Alt stands for the Option key of other desktops.
bool keepsLineBreak(const QKeyEvent *event)
{
    return event->modifiers() & (Qt::ShiftModifier | Qt::AltModifier);
}

} // namespace

QueryTextView::QueryTextView(QWidget *parent)
    : QTextEdit(parent)
{
    setAcceptRichText(false);
    setTabChangesFocus(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setViewportMargins(0, verticalInset, 0, verticalInset);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }") + QueryPanelTheme::scrollBarStyle());
    emptyEnterRelease_.setSingleShot(true);
    emptyEnterRelease_.setInterval(repeatGapMs);
    connect(&emptyEnterRelease_, &QTimer::timeout, this, [this] {
        if (std::exchange(emptyEnterDown_, false) && isBlank())
            Q_EMIT emptyEnterPressEnded();
    });
}

bool QueryTextView::isBlank() const
{
    return toPlainText().trimmed().isEmpty();
}

void QueryTextView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT cancelRequested();
        return;
    }
    if (isReturn(event)) {
        if (keepsLineBreak(event)) {
            // An ordinary newline: QTextEdit would insert a line separator for Shift-Return.
            insertPlainText(QStringLiteral("\n"));
        } else if (!isBlank()) {
            Q_EMIT submitRequested();
        } else if (emptyEnterRelease_.isActive()) {
            emptyEnterRelease_.stop(); // the key is still held: its release was a repeat
        } else if (!event->isAutoRepeat()) {
            emptyEnterDown_ = true;
            Q_EMIT emptyEnterPressBegan();
        }
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void QueryTextView::keyReleaseEvent(QKeyEvent *event)
{
    if (isReturn(event) && !event->isAutoRepeat() && emptyEnterDown_) {
        emptyEnterRelease_.start();
        return;
    }
    QTextEdit::keyReleaseEvent(event);
}

void QueryTextView::insertFromMimeData(const QMimeData *source)
{
    // Plain text only, whatever the clipboard offers.
    if (source->hasText())
        insertPlainText(source->text());
}

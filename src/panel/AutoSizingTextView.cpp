#include "panel/AutoSizingTextView.h"

#include "panel/QueryPanelTheme.h"

#include <QAbstractTextDocumentLayout>
#include <QTextCursor>
#include <QWheelEvent>

#include <cmath>

AutoSizingTextView::AutoSizingTextView(QWidget *parent)
    : QTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setViewportMargins(0, verticalInset, 0, verticalInset);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setCursor(Qt::IBeamCursor);
    setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));

    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    document()->setUndoRedoEnabled(false);
    document()->setDocumentMargin(0);
    QTextCursor(document()).setBlockFormat(paragraphFormat());
}

QTextCharFormat AutoSizingTextView::charFormat(TextStyle style, const QColor &foreground)
{
    QTextCharFormat format;
    switch (style) {
    case TextStyle::Body:
        format.setFont(QueryPanelTheme::systemFont(13), QTextCharFormat::FontPropertiesAll);
        break;
    case TextStyle::Bold:
        format.setFont(QueryPanelTheme::systemFont(13, QFont::DemiBold), QTextCharFormat::FontPropertiesAll);
        break;
    case TextStyle::Code:
        format.setFont(QueryPanelTheme::monospacedFont(12.5), QTextCharFormat::FontPropertiesAll);
        break;
    case TextStyle::Heading:
        format.setFont(QueryPanelTheme::systemFont(14, QFont::DemiBold), QTextCharFormat::FontPropertiesAll);
        break;
    }
    format.setForeground(foreground);
    return format;
}

QTextBlockFormat AutoSizingTextView::paragraphFormat()
{
    QTextBlockFormat format;
    format.setLineHeight(125, QTextBlockFormat::ProportionalHeight);
    format.setBottomMargin(3);
    return format;
}

void AutoSizingTextView::setStyledText(const StyledText &text, const QColor &foreground)
{
    qsizetype from = foreground == foreground_ ? StyledText::firstDifference(shown_, text) : 0;
    if (from == shown_.text.size() && from == text.text.size())
        return;
    // Never cut a surrogate pair in two.
    if (from > 0 && text.text.at(from - 1).isHighSurrogate())
        --from;

    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(int(from));
    cursor.setPosition(document()->characterCount() - 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    for (qsizetype start = from; start < text.text.size();) {
        const TextStyle style = text.styles.at(start);
        qsizetype end = start + 1;
        while (end < text.text.size() && text.styles.at(end) == style)
            ++end;
        cursor.insertText(text.text.mid(start, end - start), charFormat(style, foreground));
        start = end;
    }
    cursor.endEditBlock();

    shown_ = text;
    foreground_ = foreground;
    heights_.clear();
    idealWidths_.clear();
    updateGeometry();
}

template <typename Measure> auto AutoSizingTextView::measuredAt(int width, Measure measure) const
{
    QTextDocument *doc = document();
    const qreal shownWidth = doc->textWidth();
    const bool other = !qFuzzyCompare(shownWidth, qreal(width));
    if (other)
        doc->setTextWidth(width);
    const auto result = measure(doc);
    if (other)
        doc->setTextWidth(shownWidth);
    return result;
}

int AutoSizingTextView::heightForWidth(int width) const
{
    width = qMax(width, 1);
    if (const auto known = heights_.constFind(width); known != heights_.cend())
        return *known;
    const qreal textHeight =
        measuredAt(width, [](QTextDocument *doc) { return doc->documentLayout()->documentSize().height(); });
    return heights_[width] = int(std::ceil(textHeight)) + 2 * verticalInset;
}

int AutoSizingTextView::idealWidth(int maxWidth) const
{
    maxWidth = qMax(maxWidth, 1);
    if (const auto known = idealWidths_.constFind(maxWidth); known != idealWidths_.cend())
        return *known;
    const qreal ideal = measuredAt(maxWidth, [](QTextDocument *doc) { return doc->idealWidth(); });
    return idealWidths_[maxWidth] = qMin(int(std::ceil(ideal)), maxWidth);
}

QSize AutoSizingTextView::sizeHint() const
{
    return QSize(QTextEdit::sizeHint().width(), heightForWidth(width()));
}

QSize AutoSizingTextView::minimumSizeHint() const
{
    return QSize(1, heightForWidth(width()));
}

void AutoSizingTextView::wheelEvent(QWheelEvent *event)
{
    // The text never scrolls by itself: the transcript around it does.
    event->ignore();
}

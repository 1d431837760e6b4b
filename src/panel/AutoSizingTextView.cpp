#include "panel/AutoSizingTextView.h"

#include "panel/CodeCopyButtons.h"
#include "panel/MarkdownDecorations.h"
#include "panel/MarkdownDocumentWriter.h"
#include "panel/QueryPanelTheme.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDesktopServices>
#include <QPainter>
#include <QScrollBar>
#include <QTextFrame>
#include <QWheelEvent>

#include <cmath>

AutoSizingTextView::AutoSizingTextView(QWidget *parent)
    : QTextEdit(parent)
    , copyButtons_(new CodeCopyButtons(*this))
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setAutoFillBackground(false);
    // Text that grows at its end leaves what it showed where it was (a new width lays it all out again,
    // see resizeEvent), so only what is new is painted.
    setAttribute(Qt::WA_StaticContents);
    viewport()->setAttribute(Qt::WA_StaticContents);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setMouseTracking(true); // for the hand over links
    // The colour is the list bullets'.
    setStyleSheet(u"QTextEdit { background: transparent; color: " + QueryPanelTheme::cssColor(QueryPanelTheme::text()) +
                  u"; }");

    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    document()->setUndoRedoEnabled(false);
    document()->setDocumentMargin(0);
    // The inset is the document's own, not the viewport's: a viewport inside would grow into the view's
    // old area and have it painted again.
    QTextFrameFormat root = document()->rootFrame()->frameFormat();
    root.setTopMargin(verticalInset);
    root.setBottomMargin(verticalInset);
    document()->rootFrame()->setFrameFormat(root);
    MarkdownDocumentWriter::prepare(*document());
}

void AutoSizingTextView::documentChanged()
{
    heights_.clear();
    idealWidths_.clear();
    updateGeometry();
    copyButtons_->schedulePlacement();
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
    return heights_[width] = int(std::ceil(textHeight));
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

void AutoSizingTextView::paintEvent(QPaintEvent *event)
{
    {
        QPainter painter(viewport());
        const QPointF scrolled(horizontalScrollBar()->value(), verticalScrollBar()->value());
        painter.translate(-scrolled);
        MarkdownDecorations::paint(painter, *document(), QRectF(event->rect()).translated(scrolled));
    }
    QTextEdit::paintEvent(event);
}

void AutoSizingTextView::resizeEvent(QResizeEvent *event)
{
    QTextEdit::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        viewport()->update();
    copyButtons_->schedulePlacement();
}

void AutoSizingTextView::mousePressEvent(QMouseEvent *event)
{
    pressedAt_ = event->position().toPoint();
    QTextEdit::mousePressEvent(event);
}

void AutoSizingTextView::mouseMoveEvent(QMouseEvent *event)
{
    QTextEdit::mouseMoveEvent(event);
    viewport()->setCursor(anchorAt(event->position().toPoint()).isEmpty() ? Qt::IBeamCursor : Qt::PointingHandCursor);
}

// A click on a link, not the end of a selection, opens it. The writer keeps only links the desktop may open.
void AutoSizingTextView::mouseReleaseEvent(QMouseEvent *event)
{
    QTextEdit::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || (at - pressedAt_).manhattanLength() >= QApplication::startDragDistance())
        return;
    if (const QString href = anchorAt(at); !href.isEmpty())
        QDesktopServices::openUrl(QUrl(href));
}

void AutoSizingTextView::wheelEvent(QWheelEvent *event)
{
    // The text never scrolls by itself: the transcript around it does.
    event->ignore();
}

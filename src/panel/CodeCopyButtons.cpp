#include "panel/CodeCopyButtons.h"

#include "panel/MarkdownDecorations.h"
#include "panel/MarkdownDocumentWriter.h"
#include "panel/QueryPanelTheme.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTextEdit>
#include <QToolButton>

#include <limits>

namespace {

const QString copyLabel = QStringLiteral("Copy");

} // namespace

CodeCopyButtons::CodeCopyButtons(QTextEdit &view)
    : QObject(&view)
    , view_(view)
{
    placement_.setSingleShot(true);
    placement_.setInterval(0);
    connect(&placement_, &QTimer::timeout, this, &CodeCopyButtons::place);
    connect(view.document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &CodeCopyButtons::schedulePlacement);
    connect(view.document(), &QTextDocument::contentsChange, this,
            [this](int from, int, int) { changedFrom_ = qMin(changedFrom_, from); });
}

void CodeCopyButtons::schedulePlacement()
{
    placement_.start();
}

void CodeCopyButtons::place()
{
    const QPoint scrolled(view_.horizontalScrollBar()->value(), view_.verticalScrollBar()->value());
    if (view_.viewport()->width() != placedWidth_ || scrolled != placedScroll_) {
        changedFrom_ = 0;
        placedWidth_ = view_.viewport()->width();
        placedScroll_ = scrolled;
    }
    qsizetype kept = placed_.size();
    while (kept > 0 && placed_[kept - 1].end > changedFrom_)
        --kept;
    placed_.resize(kept);
    for (const MarkdownDecorations::CodeBlock &block : MarkdownDecorations::codeBlocks(*view_.document(), changedFrom_))
        placed_.append({block.box, block.last.position() + block.last.length()});
    changedFrom_ = std::numeric_limits<int>::max();

    while (buttons_.size() < placed_.size()) {
        auto *button = new QToolButton(view_.viewport());
        const int index = int(buttons_.size());
        button->setText(copyLabel);
        button->setAccessibleName(QStringLiteral("Copy code"));
        button->setToolTip(QStringLiteral("Copy code"));
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::TabFocus);
        button->setFont(QueryPanelTheme::systemFont(11));
        button->setStyleSheet(u"QToolButton { color: " + QueryPanelTheme::cssColor(QueryPanelTheme::dimText()) +
                              u"; background: transparent; border: none; padding: 1px 6px; border-radius: 4px; }"
                              u"QToolButton:hover, QToolButton:focus { color: " +
                              QueryPanelTheme::cssColor(QueryPanelTheme::text()) + u"; background: " +
                              QueryPanelTheme::cssColor(QueryPanelTheme::codeBackground()) + u"; }");
        connect(button, &QToolButton::clicked, this, [this, index] { copy(index); });
        buttons_.append(button);
    }
    for (qsizetype i = kept; i < buttons_.size(); ++i) {
        QToolButton *button = buttons_[i];
        button->setVisible(i < placed_.size());
        if (i >= placed_.size())
            continue;
        const QRectF box = placed_[i].box;
        const QSize size = button->sizeHint();
        const int headerTop = int(box.top()) + (MarkdownDocumentWriter::codeHeaderHeight - 4 - size.height()) / 2;
        button->move(QPoint(int(box.right()) - MarkdownDocumentWriter::codePadding / 2 - size.width(), headerTop) -
                     scrolled);
        button->resize(size);
    }
}

void CodeCopyButtons::copy(int index)
{
    const QList<MarkdownDecorations::CodeBlock> blocks = MarkdownDecorations::codeBlocks(*view_.document());
    if (index >= blocks.size())
        return;
    QGuiApplication::clipboard()->setText(blocks[index].code());
    // A new label takes another width: the buttons are placed again.
    const auto relabel = [this, button = buttons_[index]](const QString &label) {
        button->setText(label);
        changedFrom_ = 0;
        schedulePlacement();
    };
    relabel(QStringLiteral("Copied"));
    QTimer::singleShot(1500, buttons_[index], [relabel] { relabel(copyLabel); });
}

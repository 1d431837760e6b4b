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
}

void CodeCopyButtons::schedulePlacement()
{
    placement_.start();
}

void CodeCopyButtons::place()
{
    const QList<MarkdownDecorations::CodeBlock> blocks = MarkdownDecorations::codeBlocks(*view_.document());
    while (buttons_.size() < blocks.size()) {
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
    const QPoint scrolled(view_.horizontalScrollBar()->value(), view_.verticalScrollBar()->value());
    for (qsizetype i = 0; i < buttons_.size(); ++i) {
        QToolButton *button = buttons_[i];
        button->setVisible(i < blocks.size());
        if (i >= blocks.size())
            continue;
        const QRectF box = blocks[i].box;
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
    QToolButton *button = buttons_[index];
    button->setText(QStringLiteral("Copied"));
    QTimer::singleShot(1500, button, [button] { button->setText(copyLabel); });
}

#include "panel/QueryInputTextView.h"

#include "panel/QueryPanelTheme.h"
#include "panel/QueryTextView.h"

#include <QAbstractTextDocumentLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

QueryInputTextView::QueryInputTextView(QWidget *parent)
    : QWidget(parent)
    , textView_(new QueryTextView(this))
    , placeholderField_(new QLabel(this))
{
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(textView_);
    textView_->setObjectName(QStringLiteral("queryText"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(textView_);

    placeholderField_->setAttribute(Qt::WA_TransparentForMouseEvents);
    placeholderField_->move(0, QueryTextView::verticalInset);

    temporaryPlaceholderTimer_.setSingleShot(true);
    connect(&temporaryPlaceholderTimer_, &QTimer::timeout, this, [this] {
        temporaryPlaceholderText_.clear();
        updatePlaceholder();
    });

    connect(textView_, &QTextEdit::textChanged, this, [this] {
        updatePlaceholder();
        recalculateHeight();
        Q_EMIT changed();
    });
    connect(textView_, &QueryTextView::submitRequested, this, &QueryInputTextView::submitRequested);
    connect(textView_, &QueryTextView::cancelRequested, this, &QueryInputTextView::cancelRequested);
    connect(textView_, &QueryTextView::emptyEnterPressBegan, this, &QueryInputTextView::emptyEnterPressBegan);
    connect(textView_, &QueryTextView::emptyEnterPressEnded, this, &QueryInputTextView::emptyEnterPressEnded);
}

void QueryInputTextView::configure(const QString &placeholder, const QColor &textColor, const QColor &placeholderColor)
{
    defaultPlaceholder_ = placeholder;
    const QFont font = QueryPanelTheme::systemFont(13);
    placeholderField_->setFont(font);
    QPalette placeholderPalette = placeholderField_->palette();
    placeholderPalette.setColor(QPalette::WindowText, placeholderColor);
    placeholderField_->setPalette(placeholderPalette);

    textView_->setFont(font);
    textView_->document()->setDefaultFont(font);
    QPalette textPalette = textView_->palette();
    textPalette.setColor(QPalette::Text, textColor);
    textView_->setPalette(textPalette);
    textView_->setTextColor(textColor);
    textView_->setCursorWidth(2);
    updatePlaceholder();
    recalculateHeight();
}

QString QueryInputTextView::text() const
{
    return textView_->toPlainText();
}

void QueryInputTextView::clear()
{
    textView_->clear();
}

void QueryInputTextView::updatePlaceholder()
{
    placeholderField_->setText(temporaryPlaceholderText_.isEmpty() ? defaultPlaceholder_ : temporaryPlaceholderText_);
    placeholderField_->adjustSize();
    placeholderField_->resize(qMin(placeholderField_->width(), width()), placeholderField_->height());
    placeholderField_->setVisible(textView_->isBlank());
}

void QueryInputTextView::showTemporaryPlaceholder(const QString &text, int durationMs)
{
    // A second hint restarts the period.
    temporaryPlaceholderText_ = text;
    updatePlaceholder();
    temporaryPlaceholderTimer_.start(durationMs);
}

void QueryInputTextView::recalculateHeight()
{
    QTextDocument *document = textView_->document();
    document->setTextWidth(qMax(textView_->viewport()->width(), 1));
    const qreal used = document->documentLayout()->documentSize().height();
    const int height = qBound(minimumHeight, int(std::ceil(used)) + 2 * QueryTextView::verticalInset, maximumHeight);
    if (height == currentIntrinsicHeight_)
        return;
    currentIntrinsicHeight_ = height;
    updateGeometry();
    Q_EMIT heightChanged();
}

QSize QueryInputTextView::sizeHint() const
{
    return QSize(QWidget::sizeHint().width(), currentIntrinsicHeight_);
}

void QueryInputTextView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updatePlaceholder();
    recalculateHeight();
}

void QueryInputTextView::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    textView_->setFocus(event->reason());
}

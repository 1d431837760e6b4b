#include "drawing/DrawingToolbarContentView.h"

#include "drawing/ColorPalette.h"
#include "drawing/ColorSwatchButton.h"
#include "drawing/DrawingState.h"
#include "drawing/TintedIcon.h"
#include "session/AnnotationSession.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

namespace {

constexpr int symbolSize = 18;

const QString toolStyle = QStringLiteral("QToolButton { border: none; border-radius: 6px; background: %1; }");
const QString plain = QStringLiteral("transparent");

// The theme's text colour, so the toolbar reads on light and dark themes alike.
QColor ink(const QWidget *widget, qreal alpha = 1)
{
    QColor color = widget->palette().color(QPalette::WindowText);
    color.setAlphaF(float(alpha));
    return color;
}

QString css(const QColor &color)
{
    return u"rgba(" + QString::number(color.red()) + u", " + QString::number(color.green()) + u", " +
           QString::number(color.blue()) + u", " + QString::number(color.alpha()) + u')';
}

QHBoxLayout *row(int spacing)
{
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->setAlignment(Qt::AlignVCenter);
    return layout;
}

} // namespace

DrawingToolbarContentView::DrawingToolbarContentView(DrawingState &drawingState, AnnotationSession &session,
                                                     QWidget *parent)
    : QWidget(parent)
    , drawingState_(drawingState)
    , session_(session)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setupLayout();
    bindState();
    applyPalette();
    // Wider than preferred only when the buttons would not fit otherwise.
    setFixedSize(qMax(preferredSize.width(), sizeHint().width()), preferredSize.height());
}

QRect DrawingToolbarContentView::placement(const QRect &screen) const
{
    const QPoint topLeft(screen.x() + screen.width() / 2 - width() / 2,
                         screen.y() + screen.height() - bottomMargin - height());
    return QRect(topLeft, size());
}

void DrawingToolbarContentView::setupLayout()
{
    auto *stack = row(12);
    stack->setContentsMargins(16, 10, 16, 10);

    auto *toolStack = row(4);
    for (DrawingTool tool : DrawingTools::allCases()) {
        QAbstractButton *button =
            makeSymbolButton(DrawingTools::rawValue(tool), DrawingTools::accessibilityDescription(tool), 32);
        button->setObjectName(DrawingTools::rawValue(tool));
        connect(button, &QAbstractButton::clicked, this, [this, button] { toolPressed(button); });
        toolButtons_.insert(tool, button);
        toolStack->addWidget(button);
    }
    stack->addLayout(toolStack);
    stack->addWidget(makeDivider());

    auto *colorStack = row(6);
    for (const QColor &color : ColorPalette::colors()) {
        auto *swatch = new ColorSwatchButton(color);
        connect(swatch, &QAbstractButton::clicked, this, [this, swatch] { colorPressed(swatch); });
        colorButtons_.append(swatch);
        colorStack->addWidget(swatch);
    }
    stack->addLayout(colorStack);

    const SettingsManager *settings = session_.settings();
    if (settings && settings->submitMode() == SubmitMode::ManualSubmit) {
        stack->addWidget(makeDivider());
        auto *done = new QPushButton(QStringLiteral("Done →"));
        QFont font = done->font();
        font.setPixelSize(13);
        font.setWeight(QFont::DemiBold);
        done->setFont(font);
        done->setFocusPolicy(Qt::NoFocus);
        connect(done, &QAbstractButton::clicked, this, &DrawingToolbarContentView::donePressed);
        doneButton_ = done;
        stack->addWidget(done);
    }

    stack->addWidget(makeDivider());
    cancelButton_ = makeSymbolButton(QStringLiteral("xmark"), QStringLiteral("Cancel"), 28);
    connect(cancelButton_, &QAbstractButton::clicked, this, &DrawingToolbarContentView::cancelPressed);
    stack->addWidget(cancelButton_);

    setLayout(stack);
}

QAbstractButton *DrawingToolbarContentView::makeSymbolButton(const QString &symbol, const QString &description,
                                                             int side)
{
    auto *button = new QToolButton;
    button->setProperty("symbol", symbol);
    button->setIconSize(QSize(symbolSize, symbolSize));
    button->setAccessibleName(description);
    button->setToolTip(description);
    button->setFixedSize(side, side);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QWidget *DrawingToolbarContentView::makeDivider()
{
    auto *divider = new QWidget;
    divider->setObjectName(QStringLiteral("divider"));
    divider->setFixedSize(1, 24);
    divider->setAttribute(Qt::WA_StyledBackground);
    return divider;
}

// Everything drawn in the theme's text colour: the symbols, the dividers, "Done →" and the highlight.
void DrawingToolbarContentView::applyPalette()
{
    for (QToolButton *button : findChildren<QToolButton *>()) {
        const QString symbol = u":/drawing/" + button->property("symbol").toString() + u".svg";
        button->setIcon(TintedIcon::pixmap(symbol, ink(this), QSize(symbolSize, symbolSize), devicePixelRatioF()));
    }
    for (QWidget *divider : findChildren<QWidget *>(QStringLiteral("divider")))
        divider->setStyleSheet(u"background: " + css(ink(this, 0.1)) + u';');
    if (doneButton_)
        doneButton_->setStyleSheet(u"QPushButton { color: " + css(ink(this)) + u"; background: " + css(ink(this, 0.2)) +
                                   u"; border: none; border-radius: 6px; padding: 4px 10px; }");
    cancelButton_->setStyleSheet(toolStyle.arg(plain));
    refreshSelectionState();
}

void DrawingToolbarContentView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
}

void DrawingToolbarContentView::bindState()
{
    connect(&drawingState_, &DrawingState::selectedToolChanged, this,
            &DrawingToolbarContentView::refreshSelectionState);
    connect(&drawingState_, &DrawingState::selectedColorChanged, this,
            &DrawingToolbarContentView::refreshSelectionState);
}

void DrawingToolbarContentView::refreshSelectionState()
{
    for (auto it = toolButtons_.cbegin(); it != toolButtons_.cend(); ++it)
        it.value()->setStyleSheet(
            toolStyle.arg(it.key() == drawingState_.selectedTool() ? css(ink(this, 0.3)) : plain));
    for (ColorSwatchButton *swatch : colorButtons_)
        swatch->setSelected(swatch->swatchColor() == drawingState_.selectedColor());
}

void DrawingToolbarContentView::toolPressed(QAbstractButton *button)
{
    if (const std::optional<DrawingTool> tool = DrawingTools::fromRawValue(button->objectName()))
        drawingState_.setSelectedTool(*tool);
}

void DrawingToolbarContentView::colorPressed(ColorSwatchButton *swatch)
{
    drawingState_.setSelectedColor(swatch->swatchColor());
}

void DrawingToolbarContentView::donePressed()
{
    session_.advanceToQuery();
}

void DrawingToolbarContentView::cancelPressed()
{
    session_.cancel();
}

void DrawingToolbarContentView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor background = palette().color(QPalette::Window);
    background.setAlphaF(0.92f);
    painter.setBrush(background);
    painter.setPen(QPen(ink(this, 0.12), 1));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

#include "panel/QueryPanelTheme.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>

namespace {

QColor white(qreal alpha)
{
    return QColor::fromRgbF(1, 1, 1, alpha);
}

// Qt scales point sizes by the logical DPI; at the standard 96 DPI a point of ours is one pixel.
qreal qtPoints(qreal size)
{
    return size * 72.0 / 96.0;
}

} // namespace

QColor QueryPanelTheme::background()
{
    return QColor::fromRgbF(0.067f, 0.067f, 0.082f, 1.0f);
}
QColor QueryPanelTheme::inputBackground()
{
    return QColor::fromRgbF(0.15f, 0.15f, 0.175f, 1.0f);
}
QColor QueryPanelTheme::userBubbleBackground()
{
    return white(0.1);
}
QColor QueryPanelTheme::userBubbleBorder()
{
    return white(0.08);
}
QColor QueryPanelTheme::border()
{
    return white(0.14);
}
QColor QueryPanelTheme::subtleBorder()
{
    return white(0.1);
}
QColor QueryPanelTheme::faintBorder()
{
    return white(0.06);
}
QColor QueryPanelTheme::text()
{
    return white(1.0);
}
QColor QueryPanelTheme::dimText()
{
    return white(0.4);
}
QColor QueryPanelTheme::accent()
{
    return QColor::fromRgbF(0.38f, 0.44f, 1.0f, 1.0f);
}

QColor QueryPanelTheme::codeBackground()
{
    return withAlpha(text(), 0.08);
}
QColor QueryPanelTheme::tableGrid()
{
    return withAlpha(text(), 0.28);
}
QColor QueryPanelTheme::link()
{
    return accent().lighter(135);
}

QColor QueryPanelTheme::recordingRed()
{
    return QColor(255, 69, 58);
}

QColor QueryPanelTheme::withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

QString QueryPanelTheme::cssColor(const QColor &color)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF());
}

QFont QueryPanelTheme::systemFont(qreal size, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPointSizeF(qtPoints(size));
    font.setWeight(weight);
    return font;
}

QFont QueryPanelTheme::monospacedFont(qreal size)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(qtPoints(size));
    font.setWeight(QFont::Normal);
    return font;
}

QLabel *QueryPanelTheme::label(const QString &text, const QFont &font, const QColor &color)
{
    auto *result = new QLabel(text);
    result->setFont(font);
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, color);
    result->setPalette(palette);
    return result;
}

QString QueryPanelTheme::iconButtonStyle()
{
    return u"QToolButton { border: none; background: transparent; } QToolButton:focus { border-radius: 4px; "
           u"background: " +
           cssColor(withAlpha(accent(), 0.3)) + u"; }";
}

QString QueryPanelTheme::scrollBarStyle()
{
    return QStringLiteral(
        "QScrollBar:vertical { width: 6px; background: transparent; margin: 2px 0px; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 25%); border-radius: 3px; min-height: "
        "24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }");
}

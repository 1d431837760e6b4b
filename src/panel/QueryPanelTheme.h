#pragma once

#include <QColor>
#include <QFont>

class QLabel;

// The panel's colours and fonts. Sizes are the panel's points, which are logical pixels here.
class QueryPanelTheme {
public:
    QueryPanelTheme() = delete;

    static QColor background();
    static QColor inputBackground();
    static QColor userBubbleBackground();
    static QColor userBubbleBorder();
    static QColor border();
    static QColor subtleBorder();
    static QColor faintBorder();
    static QColor text();
    static QColor dimText();
    static QColor accent();
    // Answers: the tint behind code, the grid of tables and the colour of links, readable on the card.
    static QColor codeBackground();
    static QColor tableGrid();
    static QColor link();
    static QColor recordingRed(); // the desktop's usual "recording" red, readable on the dark card

    // The colour with its alpha replaced, not multiplied.
    static QColor withAlpha(QColor color, qreal alpha);
    // The colour for style sheets: "rgba(255, 69, 58, 1)".
    static QString cssColor(const QColor &color);

    static QFont systemFont(qreal size, QFont::Weight weight = QFont::Normal);
    static QFont monospacedFont(qreal size);
    static QLabel *label(const QString &text, const QFont &font, const QColor &color);

    // A thin, light vertical scroll bar without arrows, for style sheets.
    static QString scrollBarStyle();
    // A button that is only its icon, with a tinted backdrop while it has the keyboard.
    static QString iconButtonStyle();
};

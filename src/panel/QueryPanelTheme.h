#pragma once

#include <QColor>
#include <QFont>

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

    // The colour with its alpha replaced, not multiplied.
    static QColor withAlpha(QColor color, qreal alpha);

    static QFont systemFont(qreal size, QFont::Weight weight = QFont::Normal);
    static QFont monospacedFont(qreal size);

    // A thin, light vertical scroll bar without arrows, for style sheets.
    static QString scrollBarStyle();
};

#pragma once

#include <QColor>
#include <QIcon>
#include <QSize>
#include <QString>

// The panel's bundled symbol images, drawn in one colour.
class SymbolIcon {
public:
    SymbolIcon() = delete;

    // `name` is a file in the panel's icon resources, without ".svg".
    static QIcon tinted(const QString &name, const QColor &color, QSize size);
};

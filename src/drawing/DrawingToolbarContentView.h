#pragma once

#include "drawing/DrawingTool.h"

#include <QList>
#include <QMap>
#include <QWidget>

class AnnotationSession;
class ColorSwatchButton;
class DrawingState;
class QAbstractButton;
class QHBoxLayout;

// The drawing toolbar: tools, colour swatches, "Done →" in manual-submit mode and cancel. Its buttons
// never take the keyboard focus, so the overlay keeps it.
class DrawingToolbarContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize preferredSize{420, 56};
    static constexpr int bottomMargin = 40;

    DrawingToolbarContentView(DrawingState &drawingState, AnnotationSession &session, QWidget *parent = nullptr);

    // Centred horizontally, `bottomMargin` above the bottom edge of `screen`; both in the same coordinates.
    QRect placement(const QRect &screen) const;

    const QMap<DrawingTool, QAbstractButton *> &toolButtons() const { return toolButtons_; }
    const QList<ColorSwatchButton *> &colorButtons() const { return colorButtons_; }
    QAbstractButton *doneButton() const { return doneButton_; }
    QAbstractButton *cancelButton() const { return cancelButton_; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void setupLayout();
    void bindState();
    void refreshSelectionState();
    void applyPalette();
    void toolPressed(QAbstractButton *button);
    void colorPressed(ColorSwatchButton *swatch);
    void donePressed();
    void cancelPressed();
    static QWidget *makeDivider();
    static QAbstractButton *makeSymbolButton(const QString &symbol, const QString &description, int side);

    DrawingState &drawingState_;
    AnnotationSession &session_;
    QMap<DrawingTool, QAbstractButton *> toolButtons_;
    QList<ColorSwatchButton *> colorButtons_;
    QAbstractButton *doneButton_ = nullptr;
    QAbstractButton *cancelButton_ = nullptr;
};

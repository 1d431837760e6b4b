#pragma once

#include <QAbstractButton>
#include <QColor>

// A round colour sample; the selected one wears a white ring.
class ColorSwatchButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int diameter = 20;

    explicit ColorSwatchButton(const QColor &swatchColor, QWidget *parent = nullptr);

    QColor swatchColor() const { return swatchColor_; }
    bool isSelected() const { return isSelected_; }
    void setSelected(bool selected);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor swatchColor_;
    bool isSelected_ = false;
};

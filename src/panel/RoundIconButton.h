#pragma once

#include <QAbstractButton>

// A small dark round button with a white cross. It acts on mouse down (connect to `pressed`), so a
// thumbnail under it never sees the click.
class RoundIconButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int diameter = 22;

    explicit RoundIconButton(QWidget *parent = nullptr);

    QSize sizeHint() const override { return QSize(diameter, diameter); }

protected:
    void paintEvent(QPaintEvent *event) override;
};

#pragma once

#include <QWidget>

// Fades the content above it into the panel's background, top to bottom. Lets the mouse through.
class GradientFadeView : public QWidget {
    Q_OBJECT
public:
    explicit GradientFadeView(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

#pragma once

#include <QColor>
#include <QWidget>

// A filled rounded rectangle with an optional border, drawn behind its children.
class RoundedBackgroundView : public QWidget {
    Q_OBJECT
public:
    RoundedBackgroundView(qreal cornerRadius, QColor background, QColor border, qreal borderWidth,
                          QWidget *parent = nullptr);

    QColor borderColor() const { return borderColor_; }
    void setBorderColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal cornerRadius_;
    QColor backgroundColor_;
    QColor borderColor_;
    qreal borderWidth_;
};

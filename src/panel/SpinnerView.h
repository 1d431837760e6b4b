#pragma once

#include <QVariantAnimation>
#include <QWidget>

// A small spinning arc shown while something runs in the background; hidden while stopped.
class SpinnerView : public QWidget {
    Q_OBJECT
public:
    explicit SpinnerView(QWidget *parent = nullptr);

    void start();
    void stop();
    bool isSpinning() const { return rotation_.state() == QAbstractAnimation::Running; }

    QSize sizeHint() const override { return QSize(14, 14); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVariantAnimation rotation_;
};

#pragma once

#include <QToolButton>

// The microphone button: recording runs while the left button is held on it, wherever the pointer goes
// meanwhile, or Space while it has the keyboard. It never sends an ordinary click.
class HoldToRecordButton : public QToolButton {
    Q_OBJECT
public:
    explicit HoldToRecordButton(QWidget *parent = nullptr);

Q_SIGNALS:
    void pressStarted();
    void pressEnded();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void hold(bool held);

    bool held_ = false;
};

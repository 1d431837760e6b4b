#pragma once

#include <QLabel>

// A small keyboard-key badge, such as the "esc" beside the Cancel button.
class KeyBadgeView : public QLabel {
    Q_OBJECT
public:
    explicit KeyBadgeView(const QString &label, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

#pragma once

#include <QPushButton>

// The pill in the input row that shows the current model and opens the model menu.
class ModelPillButton : public QPushButton {
    Q_OBJECT
public:
    static constexpr int pillHeight = 22;

    explicit ModelPillButton(QWidget *parent = nullptr);

    QSize sizeHint() const override;
};

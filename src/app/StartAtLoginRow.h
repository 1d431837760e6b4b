#pragma once

#include "app/AutostartEntry.h"

#include <QWidget>

class QCheckBox;
class QLabel;

// The "Start Glint at login" switch: mirrors the autostart entry each time the window opens and writes
// or removes it when toggled. A failure is shown below the switch, which then keeps the real state.
class StartAtLoginRow : public QWidget {
    Q_OBJECT
public:
    explicit StartAtLoginRow(AutostartEntry entry = AutostartEntry(), QWidget *parent = nullptr);

    QCheckBox *toggle() const { return toggle_; }
    QLabel *errorLabel() const { return error_; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void apply(bool enabled);
    void reflectEntry();

    AutostartEntry entry_;
    QCheckBox *toggle_ = nullptr;
    QLabel *error_ = nullptr;
};

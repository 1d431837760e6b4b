#pragma once

#include <QObject>
#include <QPointer>

class QLabel;
class QKeyEvent;
class QWidget;
class SettingsManager;

// "Change Hotkey...": a small window that records the next key pressed with at least one of Shift,
// Ctrl, Alt or Super, stores it and closes 0.8 s later.
class HotkeyCaptureDialog : public QObject {
    Q_OBJECT
public:
    explicit HotkeyCaptureDialog(SettingsManager &settings, QObject *parent = nullptr);
    ~HotkeyCaptureDialog() override;

    void present();
    QWidget *window() const { return window_; }
    QString message() const;

Q_SIGNALS:
    // A new hotkey was stored and the recorder has closed: the monitor should pick it up.
    void hotkeyChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKeyPress(const QKeyEvent &event);
    void cleanupMonitor();

    SettingsManager &settings_;
    QPointer<QWidget> window_;
    QLabel *label_ = nullptr;
    bool monitoring_ = false;
};

#include "app/HotkeyCaptureDialog.h"

#include "input/ModifierFlags.h"
#include "input/VirtualKeyMap.h"
#include "settings/SettingsManager.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace {
constexpr int closeDelayMs = 800;

quint64 flagsFromModifiers(Qt::KeyboardModifiers modifiers)
{
    quint64 flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= ModifierFlags::shift;
    if (modifiers & Qt::ControlModifier)
        flags |= ModifierFlags::control;
    if (modifiers & Qt::AltModifier)
        flags |= ModifierFlags::option;
    if (modifiers & Qt::MetaModifier)
        flags |= ModifierFlags::command;
    return flags;
}

// Tells the dialog when the user closes the window without recording anything.
class RecorderWindow : public QWidget {
public:
    std::function<void()> closed;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (closed)
            closed();
        QWidget::closeEvent(event);
    }
};
} // namespace

HotkeyCaptureDialog::HotkeyCaptureDialog(SettingsManager &settings, QObject *parent)
    : QObject(parent)
    , settings_(settings)
{
}

HotkeyCaptureDialog::~HotkeyCaptureDialog()
{
    cleanupMonitor();
    delete window_;
}

void HotkeyCaptureDialog::present()
{
    auto *window = new RecorderWindow;
    window->closed = [this] { cleanupMonitor(); };
    window->setWindowTitle(tr("Change Hotkey"));
    window->setFixedSize(320, 100);
    label_ = new QLabel(tr("Press your desired key combination..."));
    label_->setAlignment(Qt::AlignCenter);
    QFont font = label_->font();
    font.setPointSize(14);
    label_->setFont(font);
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(label_);
    window_ = window;

    window->show();
    window->raise();
    window->activateWindow();

    qApp->installEventFilter(this);
    monitoring_ = true;
}

QString HotkeyCaptureDialog::message() const
{
    return label_ ? label_->text() : QString();
}

bool HotkeyCaptureDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !window_ || !watched->isWidgetType() ||
        static_cast<QWidget *>(watched)->window() != window_.data())
        return false;
    return handleKeyPress(static_cast<const QKeyEvent &>(*event));
}

bool HotkeyCaptureDialog::handleKeyPress(const QKeyEvent &event)
{
    const quint64 flags = flagsFromModifiers(event.modifiers()) & ModifierFlags::hotkeyMask;
    if (flags == 0)
        return false; // plain keys are ignored; the recorder keeps waiting
    // The stored codes name the keys of the main keyboard only; a keypad key would turn into its twin there.
    const std::optional<quint16> keyCode =
        event.modifiers() & Qt::KeypadModifier ? std::nullopt : VirtualKeyMap::fromQtKey(event.key());
    if (!keyCode || VirtualKeyMap::isModifierKey(*keyCode)) {
        QApplication::beep();
        if (event.modifiers() & Qt::KeypadModifier)
            label_->setText(tr("Keypad keys cannot be used for the hotkey. Choose a key on the main keyboard."));
        else if (keyCode)
            label_->setText(tr("Choose a non-modifier key with modifiers."));
        else
            label_->setText(tr("This key cannot be used for the hotkey. Choose another key."));
        return true;
    }

    settings_.setHotkeyKeyCode(*keyCode);
    settings_.setHotkeyModifiers(int(flags));
    const QString keyName = QKeySequence(event.key()).toString().toUpper();
    label_->setText(
        tr("Saved: %1 with %2").arg(keyName.isEmpty() ? QStringLiteral("?") : keyName, ModifierFlags::names(flags)));

    cleanupMonitor();
    QTimer::singleShot(closeDelayMs, this, [this] {
        if (window_) {
            static_cast<RecorderWindow *>(window_.data())->closed = nullptr;
            window_->close();
            window_->deleteLater();
        }
        Q_EMIT hotkeyChanged();
    });
    return true;
}

void HotkeyCaptureDialog::cleanupMonitor()
{
    if (!monitoring_)
        return;
    qApp->removeEventFilter(this);
    monitoring_ = false;
}

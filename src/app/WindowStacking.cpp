#include "app/WindowStacking.h"

#include "capture/ScreenFreezer.h"

#include <QApplication>
#include <QEvent>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <algorithm>

WindowStacking::WindowStacking(QObject *parent)
    : QObject(parent)
{
    // After the window manager has done its part for the event that set it off.
    restackTimer_.setSingleShot(true);
    restackTimer_.setInterval(0);
    connect(&restackTimer_, &QTimer::timeout, this, &WindowStacking::restack);
    qApp->installEventFilter(this);
}

WindowStacking::~WindowStacking()
{
    qApp->removeEventFilter(this);
    for (const QPointer<QWidget> &window : std::as_const(keptAbove_)) {
        if (window)
            keepAbove(window, false);
    }
}

std::optional<WindowLayer> WindowStacking::layerOf(const QWidget *window)
{
    const QVariant layer = window->property(windowLayerProperty);
    if (layer.isValid())
        return WindowLayer(layer.toInt());
    const Qt::WindowType type = window->windowType();
    if ((type != Qt::Window && type != Qt::Dialog) ||
        window->windowFlags() & (Qt::FramelessWindowHint | Qt::BypassWindowManagerHint))
        return std::nullopt;
    return WindowLayer::Opened;
}

bool WindowStacking::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::Show && type != QEvent::Hide && type != QEvent::WindowActivate &&
         type != QEvent::MouseButtonPress) ||
        !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    QWidget *window = widget->window();
    // Presses land on the widget under the pointer; the rest concern the window itself.
    if (type != QEvent::MouseButtonPress && widget != window)
        return false;
    const std::optional<WindowLayer> layer = layerOf(window);
    if (!layer)
        return false;

    switch (type) {
    case QEvent::MouseButtonPress:
        if (*layer != WindowLayer::Opened)
            scheduleRestack(*layer, *layer == WindowLayer::Overlay);
        break;
    case QEvent::WindowActivate:
        // Window managers raise what they activate, some with every window of the application in tow.
        if (*layer != WindowLayer::Overlay)
            lastFocused_ = window;
        // Only a window opened during the session is above it; the latest activated goes on top.
        if (keptAbove_.contains(window))
            keepAbove(window, true);
        scheduleRestack(WindowLayer::Overlay, false);
        break;
    case QEvent::Show:
        // Sent before the window is mapped: it appears in its place at once.
        if (*layer == WindowLayer::Opened && sessionWindowsUp() &&
            !window->property(ScreenFreezer::puttingBackProperty).toBool())
            keepAbove(window, true);
        scheduleRestack(*layer == WindowLayer::Opened ? WindowLayer::Preview : *layer, false);
        break;
    default: // Hide
        if (!keptAbove_.isEmpty())
            scheduleRestack(WindowLayer::Opened, false);
        break;
    }
    return false;
}

void WindowStacking::scheduleRestack(WindowLayer above, bool returnFocus)
{
    raiseAbove_ = raiseAbove_ ? std::min(*raiseAbove_, above) : above;
    returnFocus_ |= returnFocus;
    restackTimer_.start();
}

bool WindowStacking::sessionWindowsUp() const
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget *window) {
        const std::optional<WindowLayer> layer = layerOf(window);
        return window->isVisible() && (layer == WindowLayer::Overlay || layer == WindowLayer::Panel);
    });
}

void WindowStacking::keepAbove(QWidget *window, bool above)
{
    keptAbove_.removeAll(window);
    if (above)
        keptAbove_.append(window); // the latest goes on top
    // On the native window only: changing the widget's flags would hide and re-create it.
    if (QWindow *handle = window->windowHandle())
        handle->setFlags(above ? window->windowFlags() | Qt::WindowStaysOnTopHint : window->windowFlags());
}

void WindowStacking::restack()
{
    const std::optional<WindowLayer> above = std::exchange(raiseAbove_, std::nullopt);
    const bool returnFocus = std::exchange(returnFocus_, false);
    keptAbove_.removeAll(nullptr);
    if (!sessionWindowsUp()) {
        for (const QPointer<QWidget> &window : std::exchange(keptAbove_, {}))
            keepAbove(window, false);
        return;
    }
    if (!above)
        return;

    // Bottom to top. Windows opened before the session stay below it.
    QWidgetList order;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        const std::optional<WindowLayer> layer = layerOf(window);
        if (window->isVisible() && layer && *layer > *above && *layer != WindowLayer::Opened)
            order.append(window);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const QWidget *a, const QWidget *b) { return layerOf(a) < layerOf(b); });
    for (const QPointer<QWidget> &window : std::as_const(keptAbove_)) {
        if (window->isVisible())
            order.append(window);
    }
    // The keyboard first: the window manager may raise the window it activates, and the order is set after.
    const QWidget *active = QApplication::activeWindow();
    if (returnFocus && active && layerOf(active) == WindowLayer::Overlay && !order.isEmpty())
        (order.contains(lastFocused_) ? lastFocused_.data() : order.last())->activateWindow();
    for (QWidget *window : std::as_const(order))
        window->raise();
}

#include "input/GestureClassifier.h"

#include "input/GestureListener.h"
#include "input/ModifierFlags.h"

namespace {
constexpr int middleButton = 2;

double squaredDistance(QPointF a, QPointF b)
{
    const QPointF d = a - b;
    return d.x() * d.x() + d.y() * d.y();
}
} // namespace

GestureClassifier::GestureClassifier(const HotkeyTriggers &triggers, GestureListener &listener)
    : triggers_(triggers)
    , listener_(listener)
{
}

GestureClassifier::Fate GestureClassifier::handle(const InputEvent &event)
{
    using Type = InputEvent::Type;
    switch (event.type) {
    case Type::LeftMouseDown:
        return leftMouseDown(event);
    case Type::LeftMouseDragged:
        if (!isQuickDrawing_)
            return Fate::Pass;
        listener_.quickDrawDrag(event.location);
        return Fate::Swallow;
    case Type::LeftMouseUp:
        if (!isQuickDrawing_)
            return Fate::Pass;
        isQuickDrawing_ = false;
        listener_.quickDrawUp();
        return Fate::Swallow;
    case Type::KeyDown:
        return keyDown(event);
    case Type::FlagsChanged:
        return flagsChanged(event);
    case Type::OtherMouseDown:
        return otherMouseDown(event);
    case Type::OtherMouseDragged:
        return otherMouseDragged(event);
    case Type::OtherMouseUp:
        return otherMouseUp(event);
    }
    return Fate::Pass;
}

bool GestureClassifier::quickDrawModifiersActive(quint64 flags) const
{
    return triggers_.quickDrawModifiers != 0 && (flags & ModifierFlags::quickDrawMask) == triggers_.quickDrawModifiers;
}

void GestureClassifier::reportReadiness(bool ready)
{
    if (ready == wereQuickDrawModifiersActive_)
        return;
    wereQuickDrawModifiersActive_ = ready;
    listener_.quickDrawReadinessChanged(ready);
}

void GestureClassifier::clearPendingMiddleDown()
{
    pendingMiddleDown_ = false;
    pendingMiddleDownEvent_ = InputEvent();
}

GestureClassifier::Fate GestureClassifier::leftMouseDown(const InputEvent &event)
{
    if (triggers_.quickDrawModifiers == 0)
        return Fate::Pass;
    if (!quickDrawModifiersActive(event.flags) || isQuickDrawSuppressed_)
        return Fate::Pass;
    isQuickDrawing_ = true;
    listener_.activateWithDraw(event.location);
    reportReadiness(false);
    return Fate::Swallow;
}

GestureClassifier::Fate GestureClassifier::keyDown(const InputEvent &event)
{
    if (event.keyCode == triggers_.keyCode && (event.flags & ModifierFlags::hotkeyMask) == triggers_.keyModifiers) {
        listener_.trace(QStringLiteral("hotkey matched — consuming event"));
        listener_.activate();
        return Fate::Swallow;
    }
    // Typing a shortcut that shares the quick-draw modifiers must not turn the next click into a stroke.
    if (quickDrawModifiersActive(event.flags)) {
        isQuickDrawSuppressed_ = true;
        reportReadiness(false);
        listener_.trace(u"suppressing quick draw because keyCode=" + QString::number(event.keyCode) +
                        u" used quick-draw modifiers");
    }
    return Fate::Pass;
}

GestureClassifier::Fate GestureClassifier::flagsChanged(const InputEvent &event)
{
    const bool active = quickDrawModifiersActive(event.flags);
    if (isQuickDrawSuppressed_) {
        if (!active) {
            isQuickDrawSuppressed_ = false;
            listener_.trace(QStringLiteral("quick draw re-armed after modifier release"));
        }
        reportReadiness(false);
    } else {
        reportReadiness(active && !isQuickDrawing_);
    }
    return Fate::Pass;
}

GestureClassifier::Fate GestureClassifier::otherMouseDown(const InputEvent &event)
{
    if (!triggers_.quickDrawMiddleMouseEnabled || event.button != middleButton || event.replayed)
        return Fate::Pass;
    pendingMiddleDown_ = true;
    pendingMiddleDownEvent_ = event;
    return Fate::Swallow;
}

GestureClassifier::Fate GestureClassifier::otherMouseDragged(const InputEvent &event)
{
    if (pendingMiddleDown_ && event.button == middleButton) {
        if (squaredDistance(pendingMiddleDownEvent_.location, event.location) <= dragSlopSquared)
            return Fate::Swallow;
        const QPointF origin = pendingMiddleDownEvent_.location;
        clearPendingMiddleDown();
        isQuickDrawing_ = true;
        reportReadiness(false);
        listener_.activateWithDraw(origin);
        return Fate::Swallow;
    }
    if (isQuickDrawing_ && event.button == middleButton) {
        listener_.quickDrawDrag(event.location);
        return Fate::Swallow;
    }
    return Fate::Pass;
}

GestureClassifier::Fate GestureClassifier::otherMouseUp(const InputEvent &event)
{
    if (pendingMiddleDown_ && event.button == middleButton) {
        const bool click = event.time - pendingMiddleDownEvent_.time < longPressSeconds;
        pendingMiddleDown_ = false;
        if (click) {
            pendingMiddleDownEvent_.replayed = true; // kept until the source has replayed it
            return Fate::ReplayPressThenPass;
        }
        pendingMiddleDownEvent_ = InputEvent();
        listener_.activate();
        return Fate::Swallow;
    }
    if (isQuickDrawing_ && event.button == middleButton) {
        isQuickDrawing_ = false;
        listener_.quickDrawUp();
        return Fate::Swallow;
    }
    return Fate::Pass;
}

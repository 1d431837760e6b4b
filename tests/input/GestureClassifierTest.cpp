#include "input/GestureClassifier.h"
#include "input/GestureListener.h"
#include "input/ModifierFlags.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {
using Fate = GestureClassifier::Fate;
using Type = InputEvent::Type;
namespace Flag = ModifierFlags;

constexpr quint64 optionCommand = Flag::option | Flag::command;

struct Recorder : GestureListener {
    QStringList calls;
    void activate() override { calls << QStringLiteral("activate"); }
    void activateWithDraw(QPointF p) override { calls << QStringLiteral("draw %1,%2").arg(p.x()).arg(p.y()); }
    void quickDrawDrag(QPointF p) override { calls << QStringLiteral("drag %1,%2").arg(p.x()).arg(p.y()); }
    void quickDrawUp() override { calls << QStringLiteral("up"); }
    void quickDrawReadinessChanged(bool ready) override
    {
        calls << (ready ? QStringLiteral("ready") : QStringLiteral("not ready"));
    }
    void trace(const QString &line) override { traces << line; }
    void monitorStarted() override {}
    void monitorFailed(const QString &) override {}
    QStringList traces;
};

InputEvent event(Type type, quint64 flags)
{
    InputEvent event;
    event.type = type;
    event.flags = flags;
    return event;
}
InputEvent key(quint16 code, quint64 flags)
{
    InputEvent down = event(Type::KeyDown, flags);
    down.keyCode = code;
    return down;
}
InputEvent modifiers(quint64 flags)
{
    return event(Type::FlagsChanged, flags);
}
InputEvent mouse(Type type, QPointF at, quint64 flags = 0, int button = 1, double time = 0)
{
    InputEvent event = ::event(type, flags);
    event.button = button;
    event.location = at;
    event.time = time;
    return event;
}
InputEvent middle(Type type, QPointF at, double time)
{
    return mouse(type, at, 0, 2, time);
}

class GestureClassifierTest : public ::testing::Test {
protected:
    Recorder listener;
    HotkeyTriggers triggers;
    std::unique_ptr<GestureClassifier> classifier = std::make_unique<GestureClassifier>(triggers, listener);

    void reconfigure(const HotkeyTriggers &t) { classifier = std::make_unique<GestureClassifier>(t, listener); }
    Fate feed(const InputEvent &event) { return classifier->handle(event); }
};

TEST_F(GestureClassifierTest, HotkeyMatchesItsExactModifiersOnly)
{
    EXPECT_EQ(feed(key(49, Flag::control | Flag::option)), Fate::Swallow);
    EXPECT_EQ(listener.calls, QStringList{"activate"});
    EXPECT_EQ(listener.traces, QStringList{"hotkey matched — consuming event"});

    // Shift is compared, Fn is not part of the comparison.
    EXPECT_EQ(feed(key(49, Flag::control | Flag::option | Flag::shift)), Fate::Pass);
    EXPECT_EQ(feed(key(49, Flag::control)), Fate::Pass);
    EXPECT_EQ(feed(key(48, Flag::control | Flag::option)), Fate::Pass);
    EXPECT_EQ(feed(key(49, Flag::control | Flag::option | Flag::function)), Fate::Swallow);
    EXPECT_EQ(listener.calls, (QStringList{"activate", "activate"}));
}

TEST_F(GestureClassifierTest, QuickDrawStrokeWithModifiersIgnoresShiftButNotFn)
{
    EXPECT_EQ(feed(mouse(Type::LeftMouseDown, {10, 20}, optionCommand | Flag::shift)), Fate::Swallow);
    EXPECT_EQ(feed(mouse(Type::LeftMouseDragged, {15, 25}, optionCommand)), Fate::Swallow);
    EXPECT_EQ(feed(mouse(Type::LeftMouseUp, {15, 25}, optionCommand)), Fate::Swallow);
    EXPECT_EQ(listener.calls, (QStringList{"draw 10,20", "drag 15,25", "up"}));
    EXPECT_FALSE(classifier->isQuickDrawing());

    listener.calls.clear();
    EXPECT_EQ(feed(mouse(Type::LeftMouseDown, {1, 1}, optionCommand | Flag::function)), Fate::Pass);
    EXPECT_EQ(feed(mouse(Type::LeftMouseDown, {1, 1}, Flag::option)), Fate::Pass);
    EXPECT_EQ(feed(mouse(Type::LeftMouseDragged, {2, 2}, optionCommand)), Fate::Pass);
    EXPECT_EQ(feed(mouse(Type::LeftMouseUp, {2, 2}, optionCommand)), Fate::Pass);
    EXPECT_TRUE(listener.calls.isEmpty());
}

TEST_F(GestureClassifierTest, ReadinessIsReportedOnlyWhenItChanges)
{
    feed(modifiers(Flag::option));
    feed(modifiers(optionCommand));
    feed(modifiers(optionCommand | Flag::shift)); // still ready: Shift is ignored
    feed(modifiers(optionCommand));
    feed(modifiers(optionCommand | Flag::control)); // extra modifier: not ready
    feed(modifiers(optionCommand));
    feed(modifiers(0));
    EXPECT_EQ(listener.calls, (QStringList{"ready", "not ready", "ready", "not ready"}));

    // Starting a stroke ends readiness; modifier changes during the stroke do not bring it back.
    listener.calls.clear();
    feed(modifiers(optionCommand));
    feed(mouse(Type::LeftMouseDown, {0, 0}, optionCommand));
    feed(modifiers(optionCommand | Flag::shift));
    EXPECT_EQ(listener.calls, (QStringList{"ready", "draw 0,0", "not ready"}));
}

TEST_F(GestureClassifierTest, TypingWithQuickDrawModifiersSuppressesUntilTheyAreReleased)
{
    feed(modifiers(optionCommand));
    EXPECT_EQ(feed(key(8, optionCommand)), Fate::Pass);
    EXPECT_TRUE(classifier->isQuickDrawSuppressed());
    EXPECT_EQ(listener.traces.last(), "suppressing quick draw because keyCode=8 used quick-draw modifiers");

    // Still held: a left press is an ordinary click and readiness stays off.
    feed(modifiers(optionCommand | Flag::shift));
    EXPECT_EQ(feed(mouse(Type::LeftMouseDown, {5, 5}, optionCommand)), Fate::Pass);
    EXPECT_EQ(feed(mouse(Type::LeftMouseUp, {5, 5}, optionCommand)), Fate::Pass);

    feed(modifiers(Flag::command)); // partly released is released: re-armed
    EXPECT_FALSE(classifier->isQuickDrawSuppressed());
    EXPECT_EQ(listener.traces.last(), "quick draw re-armed after modifier release");
    feed(modifiers(optionCommand));
    EXPECT_EQ(feed(mouse(Type::LeftMouseDown, {6, 6}, optionCommand)), Fate::Swallow);
    EXPECT_EQ(listener.calls, (QStringList{"ready", "not ready", "ready", "draw 6,6", "not ready"}));
}

TEST_F(GestureClassifierTest, ShortMiddleClickIsGivenBackAndTheReplayPasses)
{
    EXPECT_EQ(feed(middle(Type::OtherMouseDown, {100, 100}, 1.0)), Fate::Swallow);
    EXPECT_EQ(feed(middle(Type::OtherMouseDragged, {103, 104}, 1.1)), Fate::Swallow); // within 5 points
    EXPECT_EQ(feed(middle(Type::OtherMouseUp, {103, 104}, 1.29)), Fate::ReplayPressThenPass);
    EXPECT_TRUE(classifier->pendingMiddleDownEvent().replayed);
    EXPECT_EQ(classifier->pendingMiddleDownEvent().location, QPointF(100, 100));
    EXPECT_FALSE(classifier->isMiddleDownPending());

    InputEvent replay = middle(Type::OtherMouseDown, {100, 100}, 1.3);
    replay.replayed = true;
    EXPECT_EQ(feed(replay), Fate::Pass);
    EXPECT_EQ(feed(middle(Type::OtherMouseUp, {100, 100}, 1.3)), Fate::Pass);
    EXPECT_TRUE(listener.calls.isEmpty());
}

TEST_F(GestureClassifierTest, LongMiddlePressInPlaceActivates)
{
    feed(middle(Type::OtherMouseDown, {100, 100}, 1.0));
    EXPECT_EQ(feed(middle(Type::OtherMouseUp, {100, 100}, 1.3)), Fate::Swallow);
    EXPECT_EQ(listener.calls, QStringList{"activate"});
    EXPECT_FALSE(classifier->isMiddleDownPending());
}

TEST_F(GestureClassifierTest, MiddleDragBeyondFivePointsDrawsFromThePressPoint)
{
    feed(middle(Type::OtherMouseDown, {100, 100}, 1.0));
    EXPECT_EQ(feed(middle(Type::OtherMouseDragged, {103, 104}, 1.1)), Fate::Swallow); // exactly 5
    EXPECT_EQ(feed(middle(Type::OtherMouseDragged, {104, 104}, 1.2)), Fate::Swallow);
    EXPECT_EQ(feed(middle(Type::OtherMouseDragged, {140, 120}, 1.3)), Fate::Swallow);
    // A long stroke is still a stroke, not a long press.
    EXPECT_EQ(feed(middle(Type::OtherMouseUp, {140, 120}, 9.0)), Fate::Swallow);
    EXPECT_EQ(listener.calls, (QStringList{"draw 100,100", "drag 140,120", "up"}));
}

TEST_F(GestureClassifierTest, OtherButtonsAndDisabledTriggersPass)
{
    EXPECT_EQ(feed(mouse(Type::OtherMouseDown, {1, 1}, 0, 3)), Fate::Pass);
    EXPECT_EQ(feed(mouse(Type::OtherMouseUp, {1, 1}, 0, 3)), Fate::Pass);

    HotkeyTriggers off;
    off.quickDrawModifiers = 0;
    off.quickDrawMiddleMouseEnabled = false;
    reconfigure(off);
    for (const InputEvent &event :
         {modifiers(optionCommand), mouse(Type::LeftMouseDown, {1, 1}, optionCommand),
          mouse(Type::LeftMouseDragged, {9, 9}, optionCommand), mouse(Type::LeftMouseUp, {9, 9}, optionCommand),
          middle(Type::OtherMouseDown, {1, 1}, 0), middle(Type::OtherMouseDragged, {90, 90}, 0.1),
          middle(Type::OtherMouseUp, {90, 90}, 1.0)})
        EXPECT_EQ(feed(event), Fate::Pass);
    EXPECT_EQ(feed(key(49, Flag::control | Flag::option)), Fate::Swallow);
    EXPECT_EQ(listener.calls, QStringList{"activate"});
}

TEST_F(GestureClassifierTest, StoredTriggersAreHonoured)
{
    HotkeyTriggers custom;
    custom.keyCode = 40;
    custom.keyModifiers = Flag::command | Flag::shift;
    custom.quickDrawModifiers = Flag::function;
    reconfigure(custom);
    EXPECT_EQ(feed(key(40, Flag::command | Flag::shift)), Fate::Swallow);
    EXPECT_EQ(feed(key(49, Flag::control | Flag::option)), Fate::Pass);
    EXPECT_EQ(feed(mouse(Type::LeftMouseDown, {3, 4}, Flag::function | Flag::shift)), Fate::Swallow);
    EXPECT_EQ(listener.calls, (QStringList{"activate", "draw 3,4"}));
}
} // namespace

#include "drawing/HintCapsuleController.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {
TEST(HintCapsuleControllerTest, FrameSitsAboveTheBottomOfTheAvailableArea)
{
    EXPECT_EQ(HintCapsuleController::frameFor(QRect(1920, 0, 1920, 1080)), QRect(2700, 1024, 360, 40));
    EXPECT_EQ(HintCapsuleController::frameFor(QRect(0, 30, 1920, 1000)), QRect(780, 974, 360, 40));
}

TEST(HintCapsuleControllerTest, ShowsOnThePointersScreenAndFadesOnce)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    ASSERT_GE(screens.size(), 2) << "the test display has two monitors";
    QScreen *second = screens.at(1);
    QCursor::setPos(second->geometry().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::screenAt(QCursor::pos()) == second; }));

    HintCapsuleController capsule;
    capsule.hide(); // hidden already: nothing happens
    EXPECT_FALSE(capsule.window()->isVisible());

    capsule.show();
    capsule.show();
    EXPECT_TRUE(capsule.isShown());
    EXPECT_EQ(capsule.window()->geometry(), HintCapsuleController::frameFor(second->availableGeometry()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return capsule.window()->windowOpacity() == 1.0; }));
    EXPECT_FALSE(capsule.window()->isActiveWindow());

    capsule.hide();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !capsule.window()->isVisible(); }));
}

TEST(HintCapsuleControllerTest, ShowingDuringTheFadeOutKeepsTheCapsule)
{
    HintCapsuleController capsule;
    capsule.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capsule.window()->windowOpacity() == 1.0; }));
    capsule.hide();
    QTest::qWait(40);
    capsule.show();
    QTest::qWait(400);
    EXPECT_TRUE(capsule.window()->isVisible());
    EXPECT_EQ(capsule.window()->windowOpacity(), 1.0);
}

// A window underneath the capsule, recording the clicks it gets.
class ClickTarget : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

TEST(HintCapsuleControllerTest, ClicksGoThroughToTheWindowBelow)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect frame = HintCapsuleController::frameFor(screen->availableGeometry());
    ClickTarget below;
    below.setGeometry(frame.adjusted(-50, -50, 50, 50));
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

    QCursor::setPos(frame.center());
    HintCapsuleController capsule;
    capsule.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(capsule.window()));
    QTest::qWait(250);
    ASSERT_EQ(QProcess::execute(u"xdotool"_qs, {u"click"_qs, u"1"_qs}), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return below.presses == 1; }));
}
} // namespace

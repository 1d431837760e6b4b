#include "PanelTestSupport.h"
#include "session/SessionDoubles.h"
#include "support/LogRecorder.h"

#include "panel/QueryInputTextView.h"
#include "panel/QueryPanelContentView.h"
#include "panel/QueryPanelController.h"
#include "panel/QueryTextView.h"
#include "providers/ModelCatalog.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct ControllerFixture : ::testing::Test {
    SessionRig rig;
    ModelCatalog models;

    void waitForAnimations() { QTest::qWait(450); }
};

} // namespace

TEST(QueryPanelPlacement, CentredOnTheVisibleAreaAbove16ptOfClearance)
{
    EXPECT_EQ(QueryPanelController::panelOrigin(QRect(0, 0, 1920, 1050)), QPoint(650, 904));
    EXPECT_EQ(QueryPanelController::panelOrigin(QRect(1920, 30, 2560, 1410)), QPoint(2890, 1294));
    EXPECT_EQ(QueryPanelController::clampedHeight(50), 130);
    EXPECT_EQ(QueryPanelController::clampedHeight(130), 130);
    EXPECT_EQ(QueryPanelController::clampedHeight(900), 720);
    EXPECT_EQ(QueryPanelController::screenFor(std::nullopt), QGuiApplication::primaryScreen());
    EXPECT_EQ(QueryPanelController::screenFor(ScreenInfo{QRect(-5000, -5000, 10, 10), 9u}),
              QGuiApplication::primaryScreen());
}

TEST_F(ControllerFixture, OpensAtTheBottomOfItsScreenAndLogsWhere)
{
    LogRecorder log;
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect frame = screen->geometry();
    const QRect visible = screen->availableGeometry();
    QueryPanelController controller(*rig.session, ScreenInfo{frame, 1u}, {models});

    const QPoint origin = QueryPanelController::panelOrigin(visible);
    const auto number = [](int value) -> QString { return QString::number(value); };
    const auto rect = [&](const QRect &r) -> QString {
        return u'(' + number(r.x()) + u".0, " + number(r.y()) + u".0, " + number(r.width()) + u".0, " +
               number(r.height()) + u".0)";
    };
    EXPECT_EQ(log.messages(u"QueryPanel"_qs),
              (QStringList{u"screen="_qs + rect(frame) + u" visibleFrame=" + rect(visible),
                           u"panel origin=("_qs + number(origin.x()) + u", " + number(origin.y()) + u") size=620x130",
                           u"dock clearance: panelBottom="_qs + number(origin.y() + 130) + u" dockTop=" +
                               number(visible.bottom() + 1) + u" gap=16pt"}));
    EXPECT_EQ(controller.window()->geometry(), QRect(origin, QSize(620, 130)));
}

TEST_F(ControllerFixture, SlidesInThenFollowsTheContentHeightWithItsBottomFixed)
{
    rig.openPanel();
    QueryPanelController controller(*rig.session, std::nullopt, {models});
    QWidget *panel = controller.window();
    const QRect rest = panel->geometry();
    controller.show();
    EXPECT_EQ(panel->pos(), rest.topLeft() + QPoint(0, 18));
    waitForAnimations();
    EXPECT_EQ(panel->geometry(), rest);
    EXPECT_DOUBLE_EQ(panel->windowOpacity(), 1.0);
    EXPECT_TRUE(controller.contentView()->queryField()->textView()->hasFocus());

    for (int i = 0; i < 3; ++i)
        rig.session->appendPendingUserMessage(u"Line"_qs);
    SessionRig::settle();
    controller.contentView()->flushPendingUpdates();
    waitForAnimations();
    const int wanted = controller.contentView()->reportedHeight();
    ASSERT_GT(wanted, 130);
    EXPECT_EQ(panel->geometry(), QRect(rest.x(), rest.bottom() + 1 - wanted, 620, wanted));

    // Dragged elsewhere, it grows upward from where it was left.
    panel->move(panel->pos() - QPoint(100, 50));
    const QRect dragged = panel->geometry();
    rig.session->appendPendingUserMessage(u"More"_qs);
    SessionRig::settle();
    controller.contentView()->flushPendingUpdates();
    waitForAnimations();
    EXPECT_EQ(panel->geometry().bottomLeft(), dragged.bottomLeft());
    EXPECT_GT(panel->height(), dragged.height());
    saveArtifact(panel, u"panel-grown"_qs);
}

TEST_F(ControllerFixture, EscapeCancelsTheSessionAndThePanelFadesAway)
{
    rig.openPanel();
    auto controller = std::make_unique<QueryPanelController>(*rig.session, std::nullopt, PanelServices{models});
    controller->show();
    waitForAnimations();
    QPointer<QWidget> panel = controller->window();

    // Escape reaching the panel itself (no focused view took it) cancels; the session then closes and
    // drops the panel's controller from inside the key handler, as the real session does.
    QObject::connect(rig.session.get(), &AnnotationSession::stateChanged, [&] {
        if (rig.session->state() == SessionState::Idle && controller) {
            controller->close();
            controller.reset();
        }
    });
    LogRecorder log;
    QTest::keyClick(panel, Qt::Key_Escape);
    EXPECT_EQ(rig.session->state(), SessionState::Idle);
    EXPECT_TRUE(log.contains(u"QueryPanel"_qs, u"Escape pressed — cancelling session"_qs));
    ASSERT_FALSE(panel.isNull()) << "still fading";
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.isNull(); }, 2000));
}

#include "platform/X11FocusTracker.h"
#include "session/SessionDoubles.h"
#include "support/LogRecorder.h"
#include "support/PrivateDisplay.h"

#include <QProcess>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// xdotool on `display` (empty: the test session's); its first line of output.
QString xdotool(const QStringList &arguments, const QString &display = {})
{
    QProcess process;
    if (!display.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DISPLAY"_qs, display);
        process.setProcessEnvironment(environment);
    }
    process.start(u"xdotool"_qs, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
}

// A small X client of another process, with its top-level window.
struct Xterm {
    QProcess process;
    quint64 window = 0;

    explicit Xterm(const QString &display = {})
    {
        QStringList arguments{u"-geometry"_qs, u"40x10+200+200"_qs};
        if (!display.isEmpty())
            arguments << u"-display"_qs << display;
        process.start(u"xterm"_qs, arguments);
        if (!process.waitForStarted(5000))
            return;
        const QString pid = QString::number(process.processId());
        for (int attempt = 0; attempt < 100 && !window; ++attempt) {
            window = xdotool({u"search"_qs, u"--onlyvisible"_qs, u"--pid"_qs, pid}, display).toULongLong();
            if (!window)
                QTest::qWait(50);
        }
    }
    ~Xterm()
    {
        process.kill();
        process.waitForFinished(3000);
    }
    qint32 pid() const { return qint32(process.processId()); }
    // Why no window was found, for a failure message.
    std::string failure()
    {
        return (process.state() == QProcess::Running ? "xterm runs without a window: " : "xterm ended: ") +
               process.readAllStandardError().toStdString();
    }
};

quint64 activeWindow()
{
    return xdotool({u"getactivewindow"_qs}).toULongLong();
}

void activate(quint64 window)
{
    xdotool({u"windowactivate"_qs, u"--sync"_qs, QString::number(window)});
}

// One of this application's windows taking the focus, as the overlay and the panel do.
struct OwnWindow {
    QWidget widget;
    OwnWindow()
    {
        widget.setGeometry(600, 300, 300, 200);
        widget.show();
    }
    void takeFocus()
    {
        activate(widget.winId());
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), quint64(widget.winId()), 5000);
    }
};

class X11FocusTrackerTest : public ::testing::Test {
protected:
    FakeWindows windows;
    X11FocusTracker tracker;
    AnnotationSession session{SessionNeighbours{&windows, nullptr, nullptr, &tracker, nullptr}};
    OwnWindow own;

    void SetUp() override { ASSERT_TRUE(QTest::qWaitForWindowExposed(&own.widget)); }
};

TEST_F(X11FocusTrackerTest, CancelHandsTheFocusBackToTheWindowThatHadIt)
{
    LogRecorder log;
    Xterm first;
    ASSERT_NE(first.window, 0u) << first.failure();
    activate(first.window);
    ASSERT_EQ(activeWindow(), first.window);

    session.begin(true);
    ASSERT_TRUE(session.focusRestorationTarget());
    EXPECT_EQ(session.focusRestorationTarget()->appPID, first.pid());
    EXPECT_EQ(session.focusRestorationTarget()->window, first.window);
    own.takeFocus();
    QTest::qWait(100);
    EXPECT_EQ(session.focusRestorationTarget()->window, first.window) << "our own windows are never a target";
    session.cancel();
    QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), first.window, 5000);

    // The user switches to a second client while the panel is open: that one gets the focus back.
    Xterm second;
    ASSERT_NE(second.window, 0u) << second.failure();
    activate(first.window);
    session.begin(true);
    own.takeFocus();
    activate(second.window);
    QTRY_COMPARE_WITH_TIMEOUT(session.focusRestorationTarget()->window, std::optional<quint64>(second.window), 5000);
    EXPECT_TRUE(log.contains(u"Session"_qs, u"Updated focus restoration target pid=" + QString::number(second.pid())));
    own.takeFocus();
    session.cancel();
    QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), second.window, 5000);
}

TEST_F(X11FocusTrackerTest, NoTargetWhileThisApplicationIsInFrontAndAVanishedOneIsDropped)
{
    own.takeFocus();
    session.begin(true);
    EXPECT_FALSE(session.focusRestorationTarget());
    session.cancel();

    auto client = std::make_unique<Xterm>();
    ASSERT_NE(client->window, 0u) << client->failure();
    activate(client->window);
    session.begin(true);
    ASSERT_TRUE(session.focusRestorationTarget());
    own.takeFocus();
    client.reset(); // quits while the session runs
    session.cancel();
    QTest::qWait(400);
    EXPECT_EQ(activeWindow(), quint64(own.widget.winId()));
}

// A display of its own, with no window manager: the X input focus itself is recorded and set back.
TEST(X11FocusTrackerNoWindowManagerTest, SetsTheInputFocusBack)
{
    PrivateDisplay server(false);
    const QString display = server.name();
    ASSERT_FALSE(display.isEmpty());
    Xterm first(display), second(display);
    ASSERT_NE(first.window, 0u) << first.failure();
    ASSERT_NE(second.window, 0u) << second.failure();
    const auto focus = [&](quint64 window) {
        xdotool({u"windowfocus"_qs, u"--sync"_qs, QString::number(window)}, display);
    };
    focus(first.window);

    X11FocusTracker tracker(display.toUtf8());
    const std::optional<FocusRestorationTarget> target = tracker.frontmostTarget();
    ASSERT_TRUE(target);
    EXPECT_EQ(target->appPID, first.pid());
    EXPECT_EQ(target->window, first.window);

    focus(second.window);
    ASSERT_EQ(tracker.frontmostTarget()->window, second.window);
    tracker.restore(*target);
    QTRY_COMPARE_WITH_TIMEOUT(tracker.frontmostTarget()->window, std::optional<quint64>(first.window), 5000);
}

} // namespace

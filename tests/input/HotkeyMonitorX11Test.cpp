#include "XTestDriver.h"
#include "app/AppDelegate.h"
#include "app/HotkeyCaptureDialog.h"
#include "app/PermissionRow.h"
#include "app/PermissionsView.h"
#include "app/SettingsRootView.h"
#include "app/SettingsView.h"
#include "app/TrayController.h"
#include "drawing/HintCapsuleController.h"
#include "input/HotkeyMonitor.h"
#include "input/ModifierFlags.h"
#include "session/SessionDoubles.h"
#include "support/LogRecorder.h"

#include <QDBusConnection>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {
// A focused window of "another application", recording what reaches it.
class TargetWindow : public QWidget {
public:
    QList<int> keys;
    QList<Qt::MouseButton> presses;
    QList<Qt::MouseButton> releases;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys << event->key(); }
    void mousePressEvent(QMouseEvent *event) override { presses << event->button(); }
    void mouseReleaseEvent(QMouseEvent *event) override { releases << event->button(); }
};

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 3000)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

class HotkeyMonitorX11Test : public ::testing::Test {
protected:
    LogRecorder log;
    QTemporaryDir dir;
    FakeWindows windows;
    std::unique_ptr<AppDelegate> delegate;
    TargetWindow target;

    void SetUp() override
    {
        auto settings = std::make_unique<SettingsManager>(dir.filePath(QStringLiteral("glint.conf")),
                                                          std::make_unique<MemorySecrets>());
        settings->setHasCompletedOnboarding(true);
        SessionNeighbours neighbours;
        neighbours.windows = &windows;
        delegate = std::make_unique<AppDelegate>(std::move(settings), neighbours);
        delegate->start();
        ASSERT_TRUE(waitForMonitor());

        target.setGeometry(100, 100, 800, 600);
        target.show();
        target.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&target));
        XTestDriver::moveTo({400, 400});
    }

    void TearDown() override
    {
        XTestDriver::keyUp(QStringLiteral("ctrl+alt+super+shift"));
        delegate.reset();
    }

    // The monitor in use right now has its grabs in place.
    bool waitForMonitor()
    {
        return waitFor([&] { return delegate->hotkeyMonitor() && delegate->hotkeyMonitor()->isWatching(); });
    }

    AnnotationSession &session() { return delegate->session(); }
    // Every event sent so far has been handled by everyone: the monitor, the session and the window.
    static void settle() { QTest::qWait(150); }
};

TEST_F(HotkeyMonitorX11Test, HotkeyStartsAnAnnotationAndIsSwallowed)
{
    ASSERT_TRUE(XTestDriver::key(QStringLiteral("ctrl+alt+space")));
    EXPECT_TRUE(waitFor([&] { return session().state() == SessionState::Drawing; }));
    ASSERT_EQ(windows.overlays.size(), 1u);
    EXPECT_TRUE(windows.overlays[0]->showToolbar);
    settle();
    EXPECT_FALSE(target.keys.contains(Qt::Key_Space));

    session().cancel();
    ASSERT_TRUE(XTestDriver::key(QStringLiteral("ctrl+alt+shift+space")));
    EXPECT_TRUE(waitFor([&] { return target.keys.contains(Qt::Key_Space); }));
    EXPECT_EQ(session().state(), SessionState::Idle);
}

// The stored modifiers include Fn, which X11 has not got: Alt+Super still draw.
TEST_F(HotkeyMonitorX11Test, ModifierQuickDrawDrawsFromThePressPoint)
{
    delegate->settings().setQuickDrawModifiers(
        int(ModifierFlags::option | ModifierFlags::command | ModifierFlags::function));
    ASSERT_TRUE(waitForMonitor());
    XTestDriver::moveTo({300, 300});
    XTestDriver::keyDown(QStringLiteral("alt+super"));
    XTestDriver::press(1);
    XTestDriver::moveTo({350, 320});
    XTestDriver::moveTo({380, 360});
    XTestDriver::release(1);
    XTestDriver::keyUp(QStringLiteral("alt+super"));

    ASSERT_TRUE(waitFor([&] { return session().state() == SessionState::Querying; }));
    ASSERT_EQ(windows.overlays.size(), 1u);
    const FakeCanvas &canvas = windows.overlays[0]->canvas;
    ASSERT_EQ(canvas.begun.size(), 1u);
    EXPECT_EQ(canvas.begun[0], QPointF(300, 300));
    EXPECT_TRUE(std::find(canvas.extended.begin(), canvas.extended.end(), QPointF(380, 360)) != canvas.extended.end());
    EXPECT_EQ(canvas.completedStrokes, 1);
    EXPECT_FALSE(windows.overlays[0]->showToolbar);
    settle();
    EXPECT_TRUE(target.presses.isEmpty());
    EXPECT_TRUE(target.releases.isEmpty());
}

TEST_F(HotkeyMonitorX11Test, MiddleButtonDragsClicksAndLongPresses)
{
    // A drag draws from where the button went down.
    XTestDriver::moveTo({500, 500});
    XTestDriver::press(2);
    XTestDriver::moveTo({502, 502}); // inside the 5-point slop
    XTestDriver::moveTo({560, 540});
    XTestDriver::release(2);
    ASSERT_TRUE(waitFor([&] { return session().state() == SessionState::Querying; }));
    ASSERT_EQ(windows.overlays.size(), 1u);
    ASSERT_EQ(windows.overlays[0]->canvas.begun.size(), 1u);
    EXPECT_EQ(windows.overlays[0]->canvas.begun[0], QPointF(500, 500));
    EXPECT_EQ(windows.overlays[0]->canvas.completedStrokes, 1);
    session().cancel();

    // A short click is given back to the window under the pointer.
    XTestDriver::press(2);
    XTestDriver::release(2);
    EXPECT_TRUE(waitFor([&] { return target.releases.contains(Qt::MiddleButton); }));
    EXPECT_EQ(target.presses, QList{Qt::MiddleButton});
    EXPECT_EQ(session().state(), SessionState::Idle);

    // A long press in place opens the overlay; nothing reaches the window.
    XTestDriver::press(2);
    QTest::qWait(450);
    XTestDriver::release(2);
    EXPECT_TRUE(waitFor([&] { return session().state() == SessionState::Drawing; }));
    settle();
    EXPECT_EQ(target.presses.size(), 1);
    EXPECT_TRUE(windows.overlays.back()->showToolbar);
}

TEST_F(HotkeyMonitorX11Test, HoldingTheQuickDrawModifiersShowsTheHintOnce)
{
    QSignalSpy hints(delegate->hotkeyMonitor(), &HotkeyMonitor::quickDrawHint);
    XTestDriver::keyDown(QStringLiteral("alt"));
    XTestDriver::keyDown(QStringLiteral("super"));
    XTestDriver::keyDown(QStringLiteral("shift")); // Shift does not count
    ASSERT_TRUE(waitFor([&] { return delegate->hintCapsuleController()->isShown(); }));
    settle();
    EXPECT_EQ(hints.count(), 1);
    EXPECT_TRUE(delegate->hintCapsuleController()->window()->isVisible());

    XTestDriver::keyUp(QStringLiteral("shift+super+alt"));
    EXPECT_TRUE(waitFor([&] { return !delegate->hintCapsuleController()->isShown(); }));
    EXPECT_EQ(hints.count(), 2);
    EXPECT_EQ(hints.last().first().toBool(), false);
}

TEST_F(HotkeyMonitorX11Test, TypingAShortcutWithTheModifiersTurnsTheNextClickOrdinary)
{
    XTestDriver::keyDown(QStringLiteral("alt+super"));
    XTestDriver::key(QStringLiteral("c"));
    XTestDriver::press(1);
    XTestDriver::release(1);
    EXPECT_TRUE(waitFor([&] { return target.presses.contains(Qt::LeftButton); }));
    EXPECT_EQ(session().state(), SessionState::Idle);
}

// The desktop's notification service, as far as Glint uses it (each test runs in a process of its own).
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList bodies;

    bool registerOnSessionBus()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                  QDBusConnection::ExportAllSlots) &&
               bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &, const QString &body, const QStringList &,
                const QVariantMap &, int)
    {
        bodies << body;
        return uint(bodies.size());
    }
};

// A second Glint finds the hotkey held by the first: its monitor stays inert, and the user is told once,
// by a notification and in the settings.
TEST_F(HotkeyMonitorX11Test, AHotkeyTakenByAnotherProgramIsToldOnceWithTheWayOut)
{
    FakeNotifications notifications;
    if (!notifications.registerOnSessionBus())
        GTEST_SKIP() << "no session bus, or a notification service runs already";
    QTemporaryDir otherDir;
    auto otherSettings = std::make_unique<SettingsManager>(otherDir.filePath(QStringLiteral("glint.conf")),
                                                           std::make_unique<MemorySecrets>());
    otherSettings->setHasCompletedOnboarding(true);
    AppDelegate other(std::move(otherSettings), SessionNeighbours{&windows, nullptr, nullptr, nullptr, nullptr});
    other.start();
    const QString problem = u"Ctrl+Alt+Space is already taken by another program. Choose another hotkey, or bind "
                            u"\"glint annotate\" to a shortcut in your desktop's keyboard settings."_qs;
    ASSERT_TRUE(waitFor([&] { return !notifications.bodies.isEmpty(); }));
    EXPECT_EQ(notifications.bodies, QStringList{problem});

    other.restartHotkeyMonitor();
    ASSERT_TRUE(waitFor([&] {
        return log.messages(QStringLiteral("App"))
                   .count(u"Hotkey monitor inert reason=hotkey-taken keyCode=49 modifiers=786432"_qs) >= 2;
    }));
    settle();
    EXPECT_EQ(notifications.bodies.size(), 1) << "told once";
    other.trayController()->openSettingsWindow();
    EXPECT_EQ(other.trayController()->settingsWindow()->generalTab()->hotkeyProblemLabel()->text(), problem);
    EXPECT_FALSE(other.trayController()->settingsWindow()->generalTab()->hotkeyProblemLabel()->isHidden());

    // Its permissions row says the same, never stops annotation, and offers another hotkey.
    PermissionsView *permissions = other.trayController()->settingsWindow()->permissionsTab();
    permissions->refresh();
    PermissionRow *hotkey = permissions->row(MissingPermission::GlobalHotkey);
    EXPECT_FALSE(hotkey->isGranted());
    EXPECT_EQ(hotkey->detailLabel()->text(), problem);
    EXPECT_FALSE(permissions->isWarningShown());
    ASSERT_EQ(hotkey->grantButton()->text(), u"Change Hotkey...");
    hotkey->grantButton()->click();
    ASSERT_TRUE(other.trayController()->hotkeyDialog());
    EXPECT_TRUE(other.trayController()->hotkeyDialog()->window()->isVisible());
}

TEST_F(HotkeyMonitorX11Test, RecordedHotkeyWorksWithoutARestart)
{
    delegate->trayController()->openHotkeyDialog();
    QWidget *recorder = delegate->trayController()->hotkeyDialog()->window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(recorder));
    HotkeyMonitor *old = delegate->hotkeyMonitor();
    QSignalSpy replaced(old, &QObject::destroyed);

    ASSERT_TRUE(XTestDriver::key(QStringLiteral("ctrl+alt+k")));
    EXPECT_TRUE(waitFor([&] { return delegate->settings().hotkeyKeyCode() == 40; }));
    EXPECT_EQ(delegate->settings().hotkeyModifiers(), 786432);
    ASSERT_TRUE(replaced.wait(3000));
    ASSERT_TRUE(waitForMonitor());

    target.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&target));
    ASSERT_TRUE(XTestDriver::key(QStringLiteral("ctrl+alt+space")));
    EXPECT_TRUE(waitFor([&] { return target.keys.contains(Qt::Key_Space); }));
    EXPECT_EQ(session().state(), SessionState::Idle);
    ASSERT_TRUE(XTestDriver::key(QStringLiteral("ctrl+alt+k")));
    EXPECT_TRUE(waitFor([&] { return session().state() == SessionState::Drawing; }));
}
} // namespace

#include "HotkeyMonitorX11Test.moc"

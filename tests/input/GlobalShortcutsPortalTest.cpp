#include "input/GlobalShortcutsPortalSource.h"
#include "input/HotkeyMonitor.h"
#include "input/ModifierFlags.h"
#include "support/FakeDesktopPortal.h"
#include "support/LogRecorder.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

HotkeyTriggers triggers(quint16 keyCode, quint64 modifiers)
{
    HotkeyTriggers result;
    result.keyCode = keyCode;
    result.keyModifiers = modifiers;
    return result;
}

std::unique_ptr<HotkeyMonitor> portalMonitor(const HotkeyTriggers &t)
{
    return std::make_unique<HotkeyMonitor>(t, std::make_unique<GlobalShortcutsPortalSource>(t));
}

TEST(GlobalShortcutsPortalTest, PreferredTriggerNamesTheStoredCombination)
{
    using namespace ModifierFlags;
    const struct {
        quint16 keyCode;
        quint64 modifiers;
        QString trigger;
    } cases[] = {
        {49, control | option, u"CTRL+ALT+space"_qs},
        {0, command | shift, u"SHIFT+LOGO+a"_qs},
        {36, control | option | shift | command, u"CTRL+ALT+SHIFT+LOGO+Return"_qs},
        {122, 0, u"F1"_qs},
        {65535, control, QString()}, // no key of that code: the desktop chooses
    };
    for (const auto &c : cases)
        EXPECT_EQ(GlobalShortcutsPortalSource::preferredTrigger(triggers(c.keyCode, c.modifiers)), c.trigger)
            << c.keyCode;
}

// Plasma 5.27 binds only what CreateSession brings; other desktops what BindShortcuts brings. Either way the
// desktop's answer names the shortcut, and each press of it begins an annotation.
TEST(GlobalShortcutsPortalTest, BindsTheHotkeyAndEachActivationBeginsAnAnnotation)
{
    using From = FakeDesktopPortal::ShortcutsFrom;
    QStringList sessions;
    for (const From from : {From::CreateSession, From::BindShortcuts}) {
        SCOPED_TRACE(from == From::CreateSession ? "from CreateSession" : "from BindShortcuts");
        LogRecorder log;
        FakeDesktopPortal portal;
        portal.shortcutsFrom = from;
        ASSERT_TRUE(portal.publish());
        auto monitor = portalMonitor(triggers(49, ModifierFlags::control | ModifierFlags::option));
        QSignalSpy started(monitor.get(), &HotkeyMonitor::started);
        QSignalSpy activated(monitor.get(), &HotkeyMonitor::activated);
        monitor->start();
        ASSERT_TRUE(started.wait(5000));
        ASSERT_EQ(portal.bound.size(), 1);
        EXPECT_EQ(portal.bound.first().id, u"annotate");
        EXPECT_EQ(portal.bound.first().properties.value(u"preferred_trigger"_qs).toString(), u"CTRL+ALT+space");
        EXPECT_FALSE(portal.bound.first().properties.value(u"description"_qs).toString().isEmpty());
        EXPECT_TRUE(log.contains(u"App"_qs, u"Global shortcut bound trigger=CTRL+ALT+space"_qs));

        // Another session's shortcut, or another shortcut, is not ours.
        portal.activate(portal.sessionPath + u"x", QStringLiteral("annotate"));
        portal.activate(portal.sessionPath, QStringLiteral("other"));
        portal.press(QStringLiteral("annotate"));
        ASSERT_TRUE(activated.wait(5000));
        QTest::qWait(100);
        EXPECT_EQ(activated.size(), 1);

        const QString session = portal.sessionPath;
        sessions << session;
        monitor->stop();
        EXPECT_TRUE(QTest::qWaitFor([&] { return portal.closed == QStringList{session}; }, 5000));
        portal.activate(session, QStringLiteral("annotate"));
        QTest::qWait(100);
        EXPECT_EQ(activated.size(), 1);
    }
    // Plasma files the shortcut under the session's name: a new name at each start would find the
    // combination still held by the last one's.
    EXPECT_EQ(sessions.first(), sessions.last());
}

// Newer portals know an unsandboxed program only by what it registered before its first request.
TEST(GlobalShortcutsPortalTest, TheRegistryHearsWhoWeAreBeforeTheFirstRequest)
{
    LogRecorder log;
    FakeDesktopPortal portal;
    portal.offersRegistry = true;
    ASSERT_TRUE(portal.publish());
    auto monitor = portalMonitor(HotkeyTriggers());
    QSignalSpy started(monitor.get(), &HotkeyMonitor::started);
    monitor->start();
    ASSERT_TRUE(started.wait(5000));
    monitor->stop();
    monitor = portalMonitor(HotkeyTriggers());
    monitor->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.calls.count(u"BindShortcuts"_qs) == 2; }, 5000));
    EXPECT_EQ(portal.calls.mid(0, 3), (QStringList{u"Register"_qs, u"CreateSession"_qs, u"BindShortcuts"_qs}));
    EXPECT_EQ(portal.calls.count(u"Register"_qs), 1);
    EXPECT_EQ(portal.registeredAppId, u"org.glint.Glint");
    EXPECT_EQ(log.messages(u"App"_qs).filter(u"Portal registry"_qs),
              QStringList{u"Portal registry registered appId=org.glint.Glint"_qs});
}

// The desktop says no, binds nothing, or has no such portal: the monitor is inert and says why. A portal
// without the registry is asked all the same, and its absence is logged once.
TEST(GlobalShortcutsPortalTest, ARefusalOrAMissingPortalIsReported)
{
    const struct {
        bool published;
        uint createResponse, bindResponse;
        bool bindsNothing;
        QString reason;
    } cases[] = {
        {true, 1, 0, false, u"global-shortcuts-refused"_qs},
        {true, 0, 2, false, u"global-shortcuts-refused"_qs},
        {true, 0, 0, true, u"global-shortcuts-none-bound"_qs},
        {false, 0, 0, false, u"no-global-shortcuts"_qs},
    };
    LogRecorder log;
    for (const auto &c : cases) {
        FakeDesktopPortal portal;
        portal.createResponse = c.createResponse;
        portal.bindResponse = c.bindResponse;
        portal.bindsNothing = c.bindsNothing;
        if (c.published) {
            ASSERT_TRUE(portal.publish());
        }
        auto monitor = portalMonitor(HotkeyTriggers());
        QSignalSpy started(monitor.get(), &HotkeyMonitor::started);
        QSignalSpy failed(monitor.get(), &HotkeyMonitor::failed);
        monitor->start();
        ASSERT_TRUE(failed.wait(5000)) << c.reason.toStdString();
        EXPECT_EQ(failed.first().first().toString(), c.reason);
        EXPECT_TRUE(started.isEmpty());
        EXPECT_TRUE(
            log.contains(u"App"_qs, u"Hotkey monitor inert reason=" + c.reason + u" keyCode=49 modifiers=786432"));
    }
    EXPECT_EQ(log.messages(u"App"_qs).filter(u"Portal registry"_qs),
              QStringList{u"Portal registry absent error=org.freedesktop.DBus.Error.UnknownInterface"_qs});
}

} // namespace

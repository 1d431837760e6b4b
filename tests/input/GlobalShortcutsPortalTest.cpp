#include "input/GlobalShortcutsPortalSource.h"
#include "input/HotkeyMonitor.h"
#include "input/ModifierFlags.h"
#include "support/FakeDesktopPortal.h"

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

TEST(GlobalShortcutsPortalTest, BindsTheHotkeyAndEachActivationBeginsAnAnnotation)
{
    FakeDesktopPortal portal;
    ASSERT_TRUE(portal.publish());
    auto monitor = portalMonitor(triggers(49, ModifierFlags::control | ModifierFlags::option));
    QSignalSpy started(monitor.get(), &HotkeyMonitor::started);
    QSignalSpy activated(monitor.get(), &HotkeyMonitor::activated);
    monitor->start();
    ASSERT_TRUE(started.wait(5000));
    EXPECT_EQ(portal.boundId, u"annotate");
    EXPECT_EQ(portal.boundProperties.value(QStringLiteral("preferred_trigger")).toString(), u"CTRL+ALT+space");
    EXPECT_FALSE(portal.boundProperties.value(QStringLiteral("description")).toString().isEmpty());

    // Another session's shortcut, or another shortcut, is not ours.
    portal.activate(portal.sessionPath + u"x", QStringLiteral("annotate"));
    portal.activate(portal.sessionPath, QStringLiteral("other"));
    portal.activate(portal.sessionPath, QStringLiteral("annotate"));
    ASSERT_TRUE(activated.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(activated.size(), 1);

    const QString session = portal.sessionPath;
    monitor->stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return portal.closed == QStringList{session}; }, 5000));
    portal.activate(session, QStringLiteral("annotate"));
    QTest::qWait(100);
    EXPECT_EQ(activated.size(), 1);
}

// The desktop says no, or has no such portal: the monitor is inert and says why.
TEST(GlobalShortcutsPortalTest, ARefusalOrAMissingPortalIsReported)
{
    const struct {
        bool published;
        uint createResponse, bindResponse;
        QString reason;
    } cases[] = {
        {true, 1, 0, u"global-shortcuts-refused"_qs},
        {true, 0, 2, u"global-shortcuts-refused"_qs},
        {false, 0, 0, u"no-global-shortcuts"_qs},
    };
    for (const auto &c : cases) {
        FakeDesktopPortal portal;
        portal.createResponse = c.createResponse;
        portal.bindResponse = c.bindResponse;
        if (c.published)
            ASSERT_TRUE(portal.publish());
        auto monitor = portalMonitor(HotkeyTriggers());
        QSignalSpy started(monitor.get(), &HotkeyMonitor::started);
        QSignalSpy failed(monitor.get(), &HotkeyMonitor::failed);
        monitor->start();
        ASSERT_TRUE(failed.wait(5000)) << c.reason.toStdString();
        EXPECT_EQ(failed.first().first().toString(), c.reason);
        EXPECT_TRUE(started.isEmpty());
    }
}

} // namespace

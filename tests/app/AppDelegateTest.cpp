#include "app/AppDelegate.h"
#include "FakePermissionChecks.h"
#include "app/AutostartEntry.h"
#include "app/OnboardingPresenter.h"
#include "app/SettingsRootView.h"
#include "app/TrayController.h"
#include "session/SessionDoubles.h"
#include "support/LogRecorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {
struct OnboardingRecord {
    QList<MissingPermission> steps;
    std::function<void()> complete;
    int shown = 0;
    bool visible = false;
    bool closed = false;
    QList<MissingPermission> updated;
};

struct RecordingOnboarding : OnboardingPresenter {
    std::shared_ptr<OnboardingRecord> record;
    void show() override
    {
        ++record->shown;
        record->visible = true;
    }
    bool isVisible() const override { return record->visible; }
    void updatePermissions(const QList<MissingPermission> &missing) override { record->updated = missing; }
    void close() override { record->closed = true; }
};

// The delegate with its permissions missing, so no global input is ever watched here.
class AppDelegateTest : public ::testing::Test {
protected:
    LogRecorder log;
    QTemporaryDir dir;
    FakeWindows windows;
    QHash<MissingPermission, FakePermissionCheck *> checks;
    std::unique_ptr<PermissionChecker> permissions = fakePermissionChecker(checks);
    std::unique_ptr<AppDelegate> delegate;
    std::shared_ptr<OnboardingRecord> onboarding = std::make_shared<OnboardingRecord>();
    QByteArray configHome = qgetenv("XDG_CONFIG_HOME");

    void SetUp() override { qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit()); } // where autostart goes
    void TearDown() override
    {
        if (configHome.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", configHome);
    }

    void launch(bool onboarded)
    {
        checks[MissingPermission::GlobalHotkey]->current = {false, true, u"no input"_qs, {}};
        checks[MissingPermission::Microphone]->current = {false, false, u"no microphone"_qs, {}};
        auto settings =
            std::make_unique<SettingsManager>(dir.filePath(u"glint.conf"_qs), std::make_unique<MemorySecrets>());
        settings->setHasCompletedOnboarding(onboarded);
        SessionNeighbours neighbours;
        neighbours.windows = &windows;
        delegate = std::make_unique<AppDelegate>(std::move(settings), neighbours, std::move(permissions));
        delegate->setOnboardingFactory([this](const QList<MissingPermission> &missing, std::function<void()> done) {
            onboarding->steps = missing;
            onboarding->complete = std::move(done);
            auto presenter = std::make_unique<RecordingOnboarding>();
            presenter->record = onboarding;
            return presenter;
        });
        delegate->start();
    }

    bool settingsWindowOpen() const
    {
        SettingsRootView *window = delegate->trayController()->settingsWindow();
        return window && window->isVisible();
    }
};

TEST_F(AppDelegateTest, FirstLaunchWithoutPermissionsShowsOnboardingAndAgainWhenHidden)
{
    launch(false);
    EXPECT_EQ(log.lines().first(), u"[App] Application did finish launching");
    EXPECT_EQ(onboarding->steps, (QList{MissingPermission::GlobalHotkey, MissingPermission::Microphone}));
    EXPECT_EQ(onboarding->shown, 1);
    EXPECT_EQ(delegate->hotkeyMonitor(), nullptr);
    EXPECT_FALSE(settingsWindowOpen());

    onboarding->visible = false; // the user hid it
    EXPECT_FALSE(delegate->handlePermissionState(false));
    EXPECT_EQ(onboarding->shown, 2);
    EXPECT_EQ(onboarding->updated, (QList{MissingPermission::GlobalHotkey, MissingPermission::Microphone}));
    EXPECT_FALSE(delegate->handlePermissionState(false));
    EXPECT_EQ(onboarding->shown, 2); // still visible: left alone

    onboarding->complete();
    EXPECT_TRUE(delegate->settings().hasCompletedOnboarding());
    // Start at login comes on with the end of set-up, once: turned off, it stays off.
    const QString autostart = AutostartEntry::defaultFilePath();
    EXPECT_TRUE(autostart.startsWith(dir.path()));
    EXPECT_TRUE(QFile::exists(autostart));
    QFile::remove(autostart);
    onboarding->complete();
    EXPECT_FALSE(QFile::exists(autostart));
}

TEST_F(AppDelegateTest, AfterOnboardingAMissingPermissionBlocksRequestsAndOpensThePermissionsTab)
{
    launch(true);
    EXPECT_EQ(onboarding->shown, 0);
    EXPECT_TRUE(settingsWindowOpen());
    EXPECT_EQ(delegate->settings().settingsSelectedTab(), 1);
    delegate->trayController()->settingsWindow()->close();
    delegate->settings().setSettingsSelectedTab(0);

    // The timer's checks do not pop the window up again; a request does, and starts nothing.
    EXPECT_FALSE(delegate->handlePermissionState(false));
    EXPECT_FALSE(settingsWindowOpen());
    delegate->requestAnnotation();
    delegate->requestAnnotationWithDraw(QPointF(5, 5));
    EXPECT_EQ(delegate->session().state(), SessionState::Idle);
    EXPECT_TRUE(windows.overlays.empty());
    EXPECT_TRUE(settingsWindowOpen());
    EXPECT_EQ(delegate->settings().settingsSelectedTab(), 1);
}

TEST_F(AppDelegateTest, LosingAPermissionCancelsTheRunningSessionOnce)
{
    launch(true);
    delegate->session().begin(true); // as if started before the permission went away
    ASSERT_EQ(delegate->session().state(), SessionState::Drawing);
    log.clear();
    QTest::qWait(2300); // two ticks of the permission check
    EXPECT_EQ(delegate->session().state(), SessionState::Idle);
    EXPECT_EQ(log.messages(u"Session"_qs).count(u"Session cancelled and state reset"), 1);
}
} // namespace

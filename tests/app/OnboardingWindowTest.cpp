#include "SettingsTestFixture.h"
#include "app/OnboardingStepContentView.h"
#include "app/OnboardingWindowController.h"
#include "settings/SettingsManager.h"
#include "support/FakeModelServer.h"
#include "support/MemorySecrets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {
using P = MissingPermission;
using Step = OnboardingStep;

class OnboardingWindowTest : public SettingsTestFixture {
protected:
    int completions = 0;

    std::unique_ptr<OnboardingWindowController> make(const QList<Step> &steps)
    {
        return std::make_unique<OnboardingWindowController>(steps, *checker, *settings, [this] { ++completions; });
    }

    static OnboardingStepContentView &view(const OnboardingWindowController &c) { return *c.contentView(); }
};

TEST_F(OnboardingWindowTest, StepsAndDots)
{
    const struct {
        const char *name;
        QList<Step> steps;
        int dots; // 0: the row is hidden
    } cases[] = {
        {"nothing missing", OnboardingWindowController::stepsFor({}), 3},
        {"two missing", OnboardingWindowController::stepsFor({P::ScreenCapture, P::Microphone}), 5},
        {"a single step", {Step::complete()}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto controller = make(c.steps);
        EXPECT_EQ(view(*controller).dotContainer()->isHidden(), c.dots == 0);
        EXPECT_EQ(view(*controller).dotContainer()->findChildren<QWidget *>().size(), c.dots);
        if (c.dots)
            EXPECT_EQ(view(*controller).dotContainer()->findChildren<QWidget *>(QStringLiteral("currentDot")).size(),
                      1);
    }
    EXPECT_EQ(OnboardingWindowController::stepsFor({P::ScreenCapture}),
              (QList{Step::welcome(), Step::missing(P::ScreenCapture), Step::apiKey(), Step::complete()}));
}

TEST_F(OnboardingWindowTest, EachPageSaysWhatItNeedsAndMovesOn)
{
    checks[P::ScreenCapture]->current = {false, true, QStringLiteral("The display's pixels cannot be read."), {}};
    checks[P::KeyStorage]->current = {false, false, QStringLiteral("Your keyring is locked."),
                                      QStringLiteral("Unlock...")};
    auto controller = make(OnboardingWindowController::stepsFor({P::ScreenCapture, P::KeyStorage}));
    OnboardingStepContentView &page = view(*controller);
    const struct {
        QString title;
        QString primary;
        bool skip;
        bool keyForm;
        bool polling;
    } pages[] = {
        {QStringLiteral("Welcome to Glint"), QStringLiteral("Get Started"), false, false, false},
        // Nothing here can give the display's pixels: the user goes on.
        {QStringLiteral("Screen capture"), QStringLiteral("Continue"), false, false, true},
        {QStringLiteral("Key storage"), QStringLiteral("Unlock..."), true, false, true},
        {QStringLiteral("Your API Key"), QStringLiteral("Save Key"), true, true, false},
        {QStringLiteral("You're All Set!"), QStringLiteral("Start Using Glint"), false, false, false},
    };
    for (int i = 0; i < int(std::size(pages)); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(controller->currentIndex(), i);
        EXPECT_EQ(page.titleLabel()->text(), pages[i].title);
        EXPECT_EQ(page.primaryButton()->text(), pages[i].primary);
        EXPECT_EQ(page.secondaryButton()->isHidden(), !pages[i].skip);
        EXPECT_EQ(page.keyForm()->isHidden(), !pages[i].keyForm);
        EXPECT_EQ(controller->isPolling(), pages[i].polling);
        EXPECT_EQ(page.currentStepIndex(), i);
        if (pages[i].title == u"Key storage") {
            EXPECT_EQ(page.descriptionLabel()->text(), u"Your keyring is locked.");
            page.primaryButton()->click(); // asks the service to unlock; the page stays
            EXPECT_EQ(checks[P::KeyStorage]->acted, 1);
            EXPECT_EQ(controller->currentIndex(), i);
            page.secondaryButton()->click();
        } else if (pages[i].keyForm) {
            page.secondaryButton()->click();
        } else if (i + 1 < int(std::size(pages))) {
            page.primaryButton()->click();
        }
    }
    EXPECT_TRUE(page.descriptionLabel()->text().contains(u"Press Ctrl+Alt+Space"));
    EXPECT_EQ(completions, 0);
}

TEST_F(OnboardingWindowTest, APermissionMetMeanwhileAdvancesWithinASecond)
{
    checks[P::GlobalHotkey]->current = {false, false, QStringLiteral("taken"), QStringLiteral("Change Hotkey...")};
    auto controller = make(OnboardingWindowController::stepsFor({P::GlobalHotkey}));
    view(*controller).primaryButton()->click();
    ASSERT_EQ(controller->currentIndex(), 1);
    checks[P::GlobalHotkey]->current = {true, false, {}, {}};
    QTRY_COMPARE_WITH_TIMEOUT(controller->currentIndex(), 2, 2500);
    EXPECT_FALSE(controller->isPolling());
}

TEST_F(OnboardingWindowTest, UpdatePermissionsKeepsTheShownPageOrTheSamePlace)
{
    const QList<P> three{P::GlobalHotkey, P::ScreenCapture, P::Microphone};
    const struct {
        const char *name;
        int shownIndex;
        QList<P> missing;
        Step expected;
    } cases[] = {
        {"the shown page went: the next one takes its place",
         2,
         {P::GlobalHotkey, P::Microphone},
         Step::missing(P::Microphone)},
        {"another page went: the shown one stays", 3, {P::ScreenCapture, P::Microphone}, Step::missing(P::Microphone)},
        {"a new requirement before it",
         2,
         {P::GlobalHotkey, P::ScreenCapture, P::Microphone, P::KeyStorage},
         Step::missing(P::ScreenCapture)},
        {"all met, earlier pages too: the key page is not skipped", 2, {}, Step::apiKey()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto controller = make(OnboardingWindowController::stepsFor(three));
        for (int i = 0; i < c.shownIndex; ++i)
            view(*controller).primaryButton()->click(); // "Get Started", then "Continue"
        ASSERT_EQ(controller->currentIndex(), c.shownIndex);
        controller->updatePermissions(c.missing);
        EXPECT_EQ(controller->steps(), OnboardingWindowController::stepsFor(c.missing));
        EXPECT_EQ(controller->steps().value(controller->currentIndex()), c.expected);
        EXPECT_EQ(view(*controller).totalSteps(), controller->steps().size());
    }

    // The end page: a shorter list leaves the last page shown.
    auto controller = make({Step::missing(P::GlobalHotkey), Step::missing(P::Microphone)});
    view(*controller).primaryButton()->click();
    controller->updatePermissions({P::GlobalHotkey});
    EXPECT_EQ(controller->currentIndex(), 0);
    EXPECT_EQ(controller->steps(), QList{Step::missing(P::GlobalHotkey)});
}

TEST_F(OnboardingWindowTest, FinishingCompletesOnceAndClosesTheWindow)
{
    auto controller = make({Step::welcome(), Step::complete()});
    controller->show();
    ASSERT_TRUE(controller->isVisible());
    view(*controller).primaryButton()->click();
    view(*controller).primaryButton()->click();
    view(*controller).primaryButton()->click();
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(controller->isVisible());

    // Skipping the last page completes as well.
    auto skipping = make({Step::apiKey()});
    view(*skipping).secondaryButton()->click();
    EXPECT_EQ(completions, 2);
}

TEST_F(OnboardingWindowTest, TheKeyPageTestsAndStoresTheKey)
{
    FakeModelServer server;
    qputenv("GLINT_OPENAI_BASE_URL", server.baseUrl().toUtf8());
    auto controller = make({Step::apiKey(), Step::complete()});
    OnboardingStepContentView &page = view(*controller);
    page.providerBox()->setCurrentIndex(page.providerBox()->findData(QStringLiteral("openai")));

    page.primaryButton()->click(); // nothing pasted: nothing stored, the page stays
    EXPECT_EQ(controller->currentIndex(), 0);
    EXPECT_FALSE(page.testResult()->text().isEmpty());

    const struct {
        const char *name;
        FakeModelServer::Response response;
        QString result;
    } tests[] = {
        {"an answer begins",
         FakeModelServer::Response::events("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"OK\"}}]}\n"),
         QStringLiteral("✔ The key works.")},
        {"the service refuses the key",
         FakeModelServer::Response::error(401, R"({"error":{"message":"Incorrect API key provided"}})"),
         QStringLiteral("✘ HTTP error 401: {\"error\":{\"message\":\"Incorrect API key provided\"}}")},
    };
    page.keyField()->setText(QStringLiteral("  sk-test-123 "));
    for (const auto &t : tests) {
        SCOPED_TRACE(t.name);
        server.enqueue(t.response);
        page.testButton()->click();
        EXPECT_FALSE(page.testButton()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(page.testResult()->text(), t.result, 5000);
        EXPECT_TRUE(page.testButton()->isEnabled());
        EXPECT_EQ(server.requests().last().headers.value("authorization"), "Bearer sk-test-123");
    }
    EXPECT_EQ(server.requests().size(), 2);

    // A locked keyring keeps the page and the typed key and says why; once it is unlocked the key is stored.
    keys->setUnreadable(StoredSecret::Status::Locked);
    page.primaryButton()->click();
    QTRY_COMPARE(page.testResult()->text(), SecretStore::lockedOnWrite());
    EXPECT_EQ(controller->currentIndex(), 0);
    EXPECT_FALSE(page.keyField()->text().isEmpty());
    keys->setUnreadable(StoredSecret::Status::Found);
    page.primaryButton()->click();
    QTRY_COMPARE(controller->currentIndex(), 1);
    EXPECT_EQ(keys->value(SettingsManager::openAIKeyAccount), u"sk-test-123");
    EXPECT_EQ(settings->selectedProvider(), u"openai");
    EXPECT_TRUE(page.keyField()->text().isEmpty()) << "the key does not stay in the window";

    // With a key stored, the page says so, and going on with an empty field keeps that key.
    auto again = make({Step::apiKey(), Step::complete()});
    QTRY_VERIFY(view(*again).descriptionLabel()->text().startsWith(u"A key is stored already"));
    view(*again).primaryButton()->click();
    EXPECT_EQ(again->currentIndex(), 1);
    SettingsManager::waitForKeychain();
    EXPECT_EQ(keys->value(SettingsManager::openAIKeyAccount), u"sk-test-123");
    qunsetenv("GLINT_OPENAI_BASE_URL");
}
} // namespace

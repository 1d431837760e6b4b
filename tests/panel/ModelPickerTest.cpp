#include "ContentViewRig.h"

#include "panel/ModelPicker.h"
#include "panel/ModelPillButton.h"

#include <QMenu>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

struct PillFixture : ::testing::Test, ContentViewRig {
    void openWith(bool anthropic, bool openAI)
    {
        if (anthropic)
            rig.keys->insert(SettingsManager::anthropicKeyAccount, u"a"_qs);
        if (openAI)
            rig.keys->insert(SettingsManager::openAIKeyAccount, u"o"_qs);
        view = std::make_unique<QueryPanelContentView>(*rig.session, models);
        SessionRig::settle(); // the keychain's answer
    }
    ModelPillButton *pill() const { return view->modelPicker()->button(); }
    QStringList menuEntries()
    {
        std::unique_ptr<QMenu> menu(view->modelPicker()->createMenu());
        QStringList entries;
        for (QAction *item : menu->actions()) {
            if (item->isSeparator()) {
                entries << u"---"_qs;
                continue;
            }
            QString entry = item->text();
            if (!item->isEnabled())
                entry = u'[' + entry + u']';
            if (item->isChecked())
                entry += u" ✓"_qs;
            entries << entry;
        }
        return entries;
    }
    QAction *item(QMenu &menu, const QString &title)
    {
        for (QAction *action : menu.actions())
            if (action->text() == title)
                return action;
        return nullptr;
    }
};

} // namespace

TEST_F(PillFixture, WithoutKeysThePillAsksForSettings)
{
    openWith(false, false);
    EXPECT_EQ(pill()->text(), u"Configure API keys"_qs);
    QSignalSpy settingsRequested(view.get(), &QueryPanelContentView::settingsRequested);
    pill()->click();
    EXPECT_EQ(settingsRequested.count(), 1);
}

// Each provider that is set up gets a group, in a fixed order, with lines between groups.
TEST_F(PillFixture, TheMenuListsEachProviderThatIsSetUp)
{
    const QStringList claude{u"[Claude]"_qs, u"Sonnet 4.6 ✓"_qs, u"Opus 4.6"_qs, u"Haiku 4.5"_qs};
    const QStringList openAI{u"[OpenAI]"_qs, u"GPT-5.4"_qs, u"GPT-5.4 mini"_qs, u"GPT-5.4 nano"_qs};
    const QStringList server{u"[OpenAI-compatible server]"_qs, u"llava:13b"_qs}; // nobody answers at port 1
    rig.settings->setCompatibleModel(u"llava:13b"_qs);
    const struct {
        bool anthropic, openAI, server;
        QStringList entries;
    } cases[] = {{true, true, false, claude + QStringList{u"---"_qs} + openAI},
                 {false, true, false, openAI},
                 {true, false, false, claude},
                 {true, false, true, claude + QStringList{u"---"_qs} + server}};
    for (const auto &c : cases) {
        rig.keys->insert(SettingsManager::anthropicKeyAccount, c.anthropic ? u"a"_qs : QString());
        rig.keys->insert(SettingsManager::openAIKeyAccount, c.openAI ? u"o"_qs : QString());
        rig.settings->setCompatibleBaseURL(c.server ? u"http://127.0.0.1:1/v1"_qs : QString());
        openWith(false, false);
        EXPECT_EQ(pill()->text(), u"Sonnet 4.6"_qs) << "the selected provider's model, key or not";
        EXPECT_EQ(menuEntries(), c.entries);
    }
}

// Choosing one provider's model leaves the other's stored model as it was; a server of the user's own
// needs no key.
TEST_F(PillFixture, ChoosingAModelSelectsItsProvider)
{
    rig.settings->setCompatibleBaseURL(u"http://127.0.0.1:1/v1"_qs);
    rig.settings->setCompatibleModel(u"llava:13b"_qs);
    openWith(true, true);
    std::unique_ptr<QMenu> menu(view->modelPicker()->createMenu());
    const struct {
        QString item, provider, anthropicModel, openAIModel;
    } choices[] = {
        {u"GPT-5.4 nano"_qs, u"openai"_qs, u"claude-sonnet-4-6"_qs, u"gpt-5.4-nano"_qs},
        {u"Haiku 4.5"_qs, u"anthropic"_qs, u"claude-haiku-4-5-20251001"_qs, u"gpt-5.4-nano"_qs},
        {u"llava:13b"_qs, u"compatible"_qs, u"claude-haiku-4-5-20251001"_qs, u"gpt-5.4-nano"_qs},
    };
    for (const auto &c : choices) {
        SCOPED_TRACE(c.item.toStdString());
        item(*menu, c.item)->trigger();
        EXPECT_EQ(rig.settings->selectedProvider(), c.provider);
        EXPECT_EQ(rig.settings->anthropicModel(), c.anthropicModel);
        EXPECT_EQ(rig.settings->openAIModel(), c.openAIModel);
        EXPECT_EQ(pill()->text(), c.item);
    }
}

#include "ContentViewRig.h"
#include "support/LogRecorder.h"

#include "panel/AttachmentThumbnailButton.h"
#include "panel/AutoSizingTextView.h"
#include "panel/ImagePreviewWindowController.h"
#include "panel/MessageTextView.h"
#include "panel/ModelPillButton.h"
#include "panel/QueryChatMessageView.h"
#include "panel/QueryInputTextView.h"
#include "panel/QueryPanelTheme.h"
#include "panel/QueryTextView.h"
#include "panel/RoundIconButton.h"
#include "panel/RoundedBackgroundView.h"
#include "panel/SpinnerView.h"

#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

struct ContentFixture : ::testing::Test, ContentViewRig {
    void ask(const QString &question)
    {
        view->queryField()->textView()->setPlainText(question);
        view->submitQuery();
        settle();
    }
    void answer(const QString &text)
    {
        rig.providers.latest().yield(text);
        rig.providers.latest().finish();
        settle();
    }
    int inputRowHeight() const { return view->findChild<QWidget *>(u"inputRow"_qs)->sizeHint().height(); }
    QString rowText(int index) const { return view->rows().at(index)->textView()->textView()->styledText().text; }
};

} // namespace

TEST_F(ContentFixture, HeightsFollowInputAndTranscriptWithinTheirCaps)
{
    open(std::nullopt);
    EXPECT_TRUE(view->rows().isEmpty());
    EXPECT_TRUE(view->transcriptScrollView()->isHidden());
    EXPECT_EQ(inputRowHeight(), 88);
    EXPECT_EQ(view->reportedHeight(), 130);

    for (int i = 0; i < 30; ++i)
        rig.session->appendPendingUserMessage(u"message "_qs + QString::number(i));
    settle();
    EXPECT_EQ(view->transcriptScrollView()->height(), QueryPanelContentView::transcriptMaxHeight);
    EXPECT_EQ(view->reportedHeight(), 88 + 456 + 42);
    QScrollBar *bar = view->transcriptScrollView()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    view->queryField()->textView()->setPlainText(QString(u"line\n"_qs).repeated(12));
    EXPECT_EQ(inputRowHeight(), 152);
    EXPECT_EQ(view->reportedHeight(), 650);
    view->resize(620, view->reportedHeight());
    saveArtifact(view.get(), u"content-tallest"_qs);
}

TEST_F(ContentFixture, SendButtonNeedsTextAndAnIdleSession)
{
    open(std::nullopt);
    QToolButton *send = view->sendButton();
    EXPECT_FALSE(send->isEnabled());
    view->queryField()->textView()->setPlainText(u"What is this?"_qs);
    EXPECT_FALSE(send->isEnabled()) << "the screenshot is still being prepared";
    EXPECT_TRUE(view->preparingSpinner()->isSpinning());

    rig.capturer.succeed(pngOfSize(40, 30));
    settle();
    EXPECT_TRUE(send->isEnabled());
    EXPECT_FALSE(view->preparingSpinner()->isVisible());
    view->queryField()->textView()->setPlainText(u" \n\t"_qs);
    EXPECT_FALSE(send->isEnabled());
    view->submitQuery();
    EXPECT_EQ(rig.session->state(), SessionState::Querying);

    ask(u"Why?"_qs);
    EXPECT_EQ(rig.session->state(), SessionState::Streaming);
    view->queryField()->textView()->setPlainText(u"next"_qs);
    EXPECT_FALSE(send->isEnabled());
    EXPECT_TRUE(view->queryField()->textView()->isReadOnly());
    answer(u"Because."_qs);
    EXPECT_TRUE(send->isEnabled());
    EXPECT_FALSE(view->queryField()->textView()->isReadOnly());
}

TEST_F(ContentFixture, ReturnSubmitsTrimmedQuestionAndEscapeCancels)
{
    open();
    LogRecorder log;
    QueryTextView *text = view->queryField()->textView();
    QTest::keyClicks(text, u"  Hello  "_qs);
    QTest::keyClick(text, Qt::Key_Return);
    settle();
    EXPECT_EQ(view->queryField()->text(), QString());
    EXPECT_TRUE(log.contains(u"QueryPanel"_qs, u"Submit triggered queryLength=5"_qs));
    ASSERT_EQ(rig.providers.calls.size(), 1u);
    EXPECT_EQ(rig.providers.calls[0].messages.last().text, u"Hello"_qs);

    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_EQ(rig.session->state(), SessionState::Idle);
    EXPECT_TRUE(log.contains(u"QueryPanel"_qs, u"Escape pressed — cancelling session"_qs));
}

TEST_F(ContentFixture, RowsShowThumbnailsThinkingAndAnswers)
{
    open();
    ASSERT_EQ(view->rows().size(), 1);
    AttachmentThumbnailButton *thumbnail = view->rows().at(0)->thumbnail();
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(thumbnail->size(), QSize(186, 140));
    ASSERT_NE(thumbnail->removeButton(), nullptr);
    EXPECT_EQ(view->rows().at(0)->textView(), nullptr);

    ask(u"What?"_qs);
    ASSERT_EQ(view->rows().size(), 3);
    EXPECT_EQ(rowText(1), u"What?"_qs);
    EXPECT_EQ(rowText(2), u"Thinking…"_qs);
    EXPECT_EQ(view->rows().at(2)->textView()->textView()->foreground(), QueryPanelTheme::dimText());
    saveArtifact(view.get(), u"content-thinking"_qs);

    answer(u"It is **bold**."_qs);
    EXPECT_EQ(rowText(2), u"It is bold."_qs);
    EXPECT_EQ(view->rows().at(2)->textView()->textView()->foreground(), QueryPanelTheme::text());
    saveArtifact(view.get(), u"content-answered"_qs);

    // The screenshot sent with the first question stays in the transcript.
    EXPECT_NE(view->rows().at(0)->thumbnail(), nullptr);
}

TEST_F(ContentFixture, RemovingTheScreenshotRemovesItsRow)
{
    open();
    RoundIconButton *remove = view->rows().at(0)->thumbnail()->removeButton();
    QTest::mousePress(remove, Qt::LeftButton);
    settle();
    EXPECT_TRUE(view->rows().isEmpty());
    EXPECT_TRUE(rig.session->chatMessages().isEmpty());
    EXPECT_EQ(view->reportedHeight(), 130);
}

TEST_F(ContentFixture, UndecodableAttachmentShowsNoThumbnail)
{
    open(QByteArray("not an image"));
    ASSERT_EQ(view->rows().size(), 1);
    EXPECT_EQ(view->rows().at(0)->thumbnail(), nullptr);
    view->openImagePreview("not an image", u"Screenshot"_qs);
    EXPECT_EQ(view->imagePreviewController(), nullptr);
}

TEST_F(ContentFixture, StreamingUpdatesOnlyTheAnswerRow)
{
    open();
    ask(u"First"_qs);
    answer(u"One."_qs);
    ask(u"Second"_qs);
    const QList<QueryChatMessageView *> before = view->rows();
    QString answerSoFar;
    for (const QString &fragment : {u"# Title\n"_qs, u"Some **bo"_qs, u"ld** and `co"_qs, u"de`."_qs}) {
        rig.providers.latest().yield(fragment);
        answerSoFar += fragment;
        settle();
        EXPECT_EQ(view->rows(), before);
    }
    rig.providers.latest().finish();
    settle();
    EXPECT_EQ(view->rows(), before);
    MessageTextView whole(answerSoFar, ChatMessageRole::Assistant, false);
    EXPECT_EQ(shownRuns(*view->rows().last()->textView()->textView()->document()),
              shownRuns(*whole.textView()->document()));
}

TEST_F(ContentFixture, BannerReplacesInputWhileAnotherDrawingIsAwaited)
{
    open();
    rig.session->setAwaitingAdditionalDraw(true);
    settle();
    EXPECT_TRUE(view->inputContainer()->isHidden());
    EXPECT_FALSE(view->drawingHintContainer()->isHidden());
    EXPECT_EQ(view->reportedHeight(), view->transcriptScrollView()->height() + 88 + 42);
    saveArtifact(view.get(), u"content-banner"_qs);
    rig.session->setAwaitingAdditionalDraw(false);
    settle();
    EXPECT_FALSE(view->inputContainer()->isHidden());
}

TEST(AttachmentThumbnailButton, ScalesToTouchTheBoxThenRaisesToTheMinimum)
{
    EXPECT_EQ(AttachmentThumbnailButton::thumbnailSize(QSize(10, 10)), QSize(140, 140));
    EXPECT_EQ(AttachmentThumbnailButton::thumbnailSize(QSize(440, 10)), QSize(220, 50));
    EXPECT_EQ(AttachmentThumbnailButton::thumbnailSize(QSize(10, 440)), QSize(80, 140));
    EXPECT_EQ(AttachmentThumbnailButton::thumbnailSize(QSize(0, 0)), QSize(80, 50));
}

// --- the model pill -----------------------------------------------------------------------------------

namespace {

struct PillFixture : ContentFixture {
    void openWith(bool anthropic, bool openAI)
    {
        if (anthropic)
            rig.keys->insert(SettingsManager::anthropicKeyAccount, u"a"_qs);
        if (openAI)
            rig.keys->insert(SettingsManager::openAIKeyAccount, u"o"_qs);
        view = std::make_unique<QueryPanelContentView>(*rig.session);
        SessionRig::settle(); // the keychain's answer
    }
    QStringList menuEntries()
    {
        std::unique_ptr<QMenu> menu(view->createModelMenu());
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
    EXPECT_EQ(view->modelButton()->text(), u"Configure API keys"_qs);
    QSignalSpy settingsRequested(view.get(), &QueryPanelContentView::settingsRequested);
    view->modelButton()->click();
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
        EXPECT_EQ(view->modelButton()->text(), u"Sonnet 4.6"_qs) << "the selected provider's model, key or not";
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
    std::unique_ptr<QMenu> menu(view->createModelMenu());
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
        EXPECT_EQ(view->modelButton()->text(), c.item);
    }
}

TEST_F(PillFixture, MalformedChoiceChangesNothing)
{
    openWith(true, true);
    for (const QVariant &data : {QVariant(u"anthropic"_qs), QVariant(u":claude-opus-4-6"_qs), QVariant(u"openai:"_qs),
                                 QVariant(42), QVariant()}) {
        QAction action;
        action.setData(data);
        view->selectModel(&action);
    }
    EXPECT_EQ(rig.settings->selectedProvider(), u"anthropic"_qs);
    EXPECT_EQ(rig.settings->anthropicModel(), u"claude-sonnet-4-6"_qs);
    EXPECT_EQ(rig.settings->openAIModel(), u"gpt-5.4-mini"_qs);
}

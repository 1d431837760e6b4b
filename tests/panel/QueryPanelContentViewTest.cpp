#include "ContentViewRig.h"
#include "support/LogRecorder.h"

#include "panel/AttachmentThumbnailButton.h"
#include "panel/AutoSizingTextView.h"
#include "panel/ImagePreviewWindowController.h"
#include "panel/MessageTextView.h"
#include "panel/QueryChatMessageView.h"
#include "panel/QueryInputRow.h"
#include "panel/QueryInputTextView.h"
#include "panel/QueryPanelFooter.h"
#include "panel/QueryPanelTheme.h"
#include "panel/QueryTextView.h"
#include "panel/RoundIconButton.h"
#include "panel/RoundedBackgroundView.h"
#include "panel/SpinnerView.h"
#include "panel/TranscriptListView.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <QTextBlock>

#include <gtest/gtest.h>

namespace {

struct ContentFixture : ::testing::Test, ContentViewRig {
    void ask(const QString &question)
    {
        view->queryField()->textView()->setPlainText(question);
        view->inputRow()->submitQuery();
        settle();
    }
    void answer(const QString &text)
    {
        rig.providers.latest().yield(text);
        rig.providers.latest().finish();
        settle();
    }
    int inputRowHeight() const { return view->findChild<QWidget *>(u"inputRow"_qs)->sizeHint().height(); }
    QString rowText(int index) const
    {
        return view->transcript()->rows().at(index)->textView()->textView()->toPlainText();
    }
    QColor rowColour(int index) const
    {
        const QTextDocument *text = view->transcript()->rows().at(index)->textView()->textView()->document();
        return text->begin().begin().fragment().charFormat().foreground().color();
    }
};

} // namespace

TEST_F(ContentFixture, HeightsFollowInputAndTranscriptWithinTheirCaps)
{
    open(std::nullopt);
    EXPECT_TRUE(view->transcript()->rows().isEmpty());
    EXPECT_TRUE(view->transcript()->isHidden());
    EXPECT_EQ(inputRowHeight(), 88);
    EXPECT_EQ(view->reportedHeight(), 130);

    for (int i = 0; i < 30; ++i)
        rig.session->appendPendingUserMessage(u"message "_qs + QString::number(i));
    settle();
    EXPECT_EQ(view->transcript()->height(), QueryPanelContentView::transcriptMaxHeight);
    EXPECT_EQ(view->reportedHeight(), 88 + 456 + 42);
    QScrollBar *bar = view->transcript()->verticalScrollBar();
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
    QToolButton *send = view->inputRow()->sendButton();
    EXPECT_FALSE(send->isEnabled());
    // The next panel shows the same icons: new ones would leave keys in Qt's pixmap cache for good.
    EXPECT_EQ(QueryPanelContentView(*rig.session, models, nullptr).inputRow()->sendButton()->icon().cacheKey(),
              send->icon().cacheKey());
    view->queryField()->textView()->setPlainText(u"What is this?"_qs);
    EXPECT_FALSE(send->isEnabled()) << "the screenshot is still being prepared";
    EXPECT_TRUE(view->footer()->preparingSpinner()->isSpinning());

    rig.capturer.succeed(pngOfSize(40, 30));
    settle();
    EXPECT_TRUE(send->isEnabled());
    EXPECT_FALSE(view->footer()->preparingSpinner()->isVisible());
    view->queryField()->textView()->setPlainText(u" \n\t"_qs);
    EXPECT_FALSE(send->isEnabled());
    view->inputRow()->submitQuery();
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
    ASSERT_EQ(view->transcript()->rows().size(), 1);
    AttachmentThumbnailButton *thumbnail = view->transcript()->rows().at(0)->thumbnail();
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(thumbnail->size(), QSize(186, 140));
    ASSERT_NE(thumbnail->removeButton(), nullptr);
    EXPECT_EQ(view->transcript()->rows().at(0)->textView(), nullptr);

    ask(u"What?"_qs);
    ASSERT_EQ(view->transcript()->rows().size(), 3);
    EXPECT_EQ(rowText(1), u"What?"_qs);
    EXPECT_EQ(rowText(2), u"Thinking…"_qs);
    EXPECT_EQ(rowColour(2), QueryPanelTheme::dimText());
    saveArtifact(view.get(), u"content-thinking"_qs);

    answer(u"It is **bold**."_qs);
    EXPECT_EQ(rowText(2), u"It is bold."_qs);
    EXPECT_EQ(rowColour(2), QueryPanelTheme::text());
    saveArtifact(view.get(), u"content-answered"_qs);

    // The screenshot sent with the first question stays in the transcript.
    EXPECT_NE(view->transcript()->rows().at(0)->thumbnail(), nullptr);
}

TEST_F(ContentFixture, RemovingTheScreenshotRemovesItsRow)
{
    open();
    RoundIconButton *remove = view->transcript()->rows().at(0)->thumbnail()->removeButton();
    QTest::mousePress(remove, Qt::LeftButton);
    settle();
    EXPECT_TRUE(view->transcript()->rows().isEmpty());
    EXPECT_TRUE(rig.session->chatMessages().isEmpty());
    EXPECT_EQ(view->reportedHeight(), 130);
}

TEST_F(ContentFixture, UndecodableAttachmentShowsNoThumbnail)
{
    open(QByteArray("not an image"));
    ASSERT_EQ(view->transcript()->rows().size(), 1);
    EXPECT_EQ(view->transcript()->rows().at(0)->thumbnail(), nullptr);
    view->transcript()->openImagePreview("not an image", u"Screenshot"_qs);
    EXPECT_EQ(view->transcript()->imagePreviewController(), nullptr);
}

TEST_F(ContentFixture, StreamingUpdatesOnlyTheAnswerRow)
{
    open();
    ask(u"First"_qs);
    answer(u"One."_qs);
    ask(u"Second"_qs);
    const QList<QueryChatMessageView *> before = view->transcript()->rows();
    QString answerSoFar;
    for (const QString &fragment : {u"# Title\n"_qs, u"Some **bo"_qs, u"ld** and `co"_qs, u"de`."_qs}) {
        rig.providers.latest().yield(fragment);
        answerSoFar += fragment;
        settle();
        EXPECT_EQ(view->transcript()->rows(), before);
    }
    rig.providers.latest().finish();
    settle();
    EXPECT_EQ(view->transcript()->rows(), before);
    MessageTextView whole(answerSoFar, ChatMessageRole::Assistant, false);
    EXPECT_EQ(shownRuns(*view->transcript()->rows().last()->textView()->textView()->document()),
              shownRuns(*whole.textView()->document()));
}

TEST_F(ContentFixture, BannerReplacesInputWhileAnotherDrawingIsAwaited)
{
    open();
    rig.session->setAwaitingAdditionalDraw(true);
    settle();
    EXPECT_TRUE(view->inputRow()->inputContainer()->isHidden());
    EXPECT_FALSE(view->inputRow()->drawingHintContainer()->isHidden());
    EXPECT_EQ(view->reportedHeight(), view->transcript()->height() + 88 + 42);
    saveArtifact(view.get(), u"content-banner"_qs);
    rig.session->setAwaitingAdditionalDraw(false);
    settle();
    EXPECT_FALSE(view->inputRow()->inputContainer()->isHidden());
}

TEST(AttachmentThumbnailButton, ScalesToTouchTheBoxThenRaisesToTheMinimum)
{
    EXPECT_EQ(AttachmentThumbnailButton::thumbnailSize(QSize(10, 10)), QSize(140, 140));
    EXPECT_EQ(AttachmentThumbnailButton::thumbnailSize(QSize(440, 10)), QSize(220, 50));
    EXPECT_EQ(AttachmentThumbnailButton::thumbnailSize(QSize(10, 440)), QSize(80, 140));
    EXPECT_EQ(AttachmentThumbnailButton::thumbnailSize(QSize(0, 0)), QSize(80, 50));
}

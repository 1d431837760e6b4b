#include "ContentViewRig.h"
#include "support/FakeModelServer.h"
#include "support/LogRecorder.h"
#include "support/RecordedStream.h"

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
#include "providers/StandardProviderFactory.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
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
    void answer(const QString &text, const LLMAnswerEnding &ending = {})
    {
        rig.providers.latest().yield(text);
        rig.providers.latest().finish(ending);
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
    void activate()
    {
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    // The shown window of `T` named `name` that the panel opened.
    template <typename T> static T *openedWindow(const QString &name)
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window->objectName() == name && window->isVisible())
                return qobject_cast<T *>(window);
        return nullptr;
    }
};

// The action named `text` in the context menu of the answer at `row`, the menu open.
QAction *answerMenuAction(QueryChatMessageView *row, const QString &text)
{
    AutoSizingTextView *answer = row->textView()->textView();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(4, 4), answer->viewport()->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(answer->viewport(), &click);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu)
        return nullptr;
    const QList<QAction *> actions = menu->actions();
    const auto found = std::find_if(actions.begin(), actions.end(), [&](QAction *a) { return a->text() == text; });
    return found == actions.end() ? nullptr : *found;
}

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

// Recorded answers the model stopped short of, through the real providers: the row shows the refusal in the
// model's words, or says under the answer why it stopped.
TEST(AnswerNotes, ShowTheRefusalOrWhyTheAnswerStoppedShort)
{
    FakeModelServer server;
    qputenv("GLINT_ANTHROPIC_BASE_URL", server.baseUrl().toUtf8());
    qputenv("GLINT_OPENAI_BASE_URL", server.baseUrl().toUtf8());
    StandardProviderFactory providers;
    const QString lengthLimit = u"The answer reached the model's length limit."_qs;
    const struct {
        QString provider, recording, shown, note;
    } endings[] = {
        {u"anthropic"_qs, u"anthropic/sse-max-tokens-stream.sse"_qs, u"The dialog offers three choices:"_qs,
         lengthLimit},
        {u"openai"_qs, u"openai/sse-chat-finish-length.sse"_qs, u"{\""_qs, lengthLimit},
        {u"anthropic"_qs, u"anthropic/sse-refusal-no-text-stream.sse"_qs, {}, u"The model declined to answer."_qs},
        {u"openai"_qs,
         u"openai/sse-chat-refusal-content-null.sse"_qs,
         u"I'm sorry, I can't assist with that request."_qs,
         {}},
    };
    for (const auto &ending : endings) {
        SCOPED_TRACE(ending.recording.toStdString());
        ContentViewRig content(&providers);
        content.rig.keys->insert(SettingsManager::openAIKeyAccount, u"sk-openai"_qs);
        content.rig.settings->setSelectedProvider(ending.provider);
        content.open();
        server.enqueue(FakeModelServer::Response::events(recordedStream(ending.recording)));
        content.view->queryField()->textView()->setPlainText(u"What is this?"_qs);
        content.view->inputRow()->submitQuery();
        ASSERT_TRUE(QTest::qWaitFor([&] { return content.rig.session->state() == SessionState::Querying; }, 15000));
        content.settle();
        content.view->resize(620, content.view->reportedHeight());

        const QueryChatMessageView *row = content.view->transcript()->rows().last();
        const MessageTextView *text = row->textView();
        EXPECT_EQ(text ? text->textView()->toPlainText().left(ending.shown.size()) : QString(), ending.shown);
        const QLabel *note = row->note();
        EXPECT_EQ(note ? note->text() : QString(), ending.note);
        if (note) {
            EXPECT_TRUE(note->isVisible());
            EXPECT_GE(note->y(), text ? text->geometry().bottom() : 0);
            EXPECT_LE(note->geometry().bottom(), row->height());
        }
        saveArtifact(content.view.get(), u"content-stopped-"_qs + ending.recording.section(u'/', 1));
    }
    qunsetenv("GLINT_ANTHROPIC_BASE_URL");
    qunsetenv("GLINT_OPENAI_BASE_URL");
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

// Each way of copying puts the Markdown source of the right answer on the clipboard, and none copies an
// answer still coming in.
TEST_F(ContentFixture, CopyAnswerPutsTheMarkdownSourceOnTheClipboard)
{
    open();
    activate();
    ask(u"First?"_qs);
    answer(u"It is **bold** and `code`."_qs);
    ask(u"Second?"_qs);
    answer(u"# Heading\nThe *second* answer."_qs);
    QClipboard *clipboard = QGuiApplication::clipboard();
    QueryChatMessageView *first = view->transcript()->rows().at(2);
    QueryChatMessageView *second = view->transcript()->rows().at(4);

    // The button is seen under the pointer or with the keyboard, and is reached with Tab either way.
    EXPECT_TRUE(second->copyButton()->icon().isNull());
    second->copyButton()->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(second->copyButton()->icon().isNull());
    const struct {
        const char *how;
        std::function<void()> copy;
        QString copied;
    } cases[] = {
        {"the button", [&] { QTest::mouseClick(first->copyButton(), Qt::LeftButton); },
         u"It is **bold** and `code`."_qs},
        {"the answer's menu",
         [&] {
             QAction *copy = answerMenuAction(first, u"Copy Answer"_qs);
             ASSERT_NE(copy, nullptr);
             copy->trigger();
             QApplication::activePopupWidget()->close();
         },
         u"It is **bold** and `code`."_qs},
        {"Ctrl+Shift+C, the last answer",
         [&] { QTest::keyClick(view->queryField()->textView(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier); },
         u"# Heading\nThe *second* answer."_qs},
        {"Ctrl+Shift+C while the last answer streams",
         [&] {
             ask(u"Third?"_qs);
             rig.providers.latest().yield(u"Partial"_qs);
             settle();
             QTest::keyClick(view->queryField()->textView(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
         },
         QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.how);
        clipboard->clear();
        c.copy();
        EXPECT_EQ(clipboard->text(), c.copied);
    }
    EXPECT_FALSE(view->transcript()->rows().last()->copyButton()->isEnabled());
}

// Tab visits every control of the panel and comes back to the question.
TEST_F(ContentFixture, TabMovesThroughEveryControl)
{
    open();
    activate();
    ask(u"What?"_qs);
    answer(u"That."_qs);
    QWidget *field = view->queryField()->textView();
    view->queryField()->textView()->setPlainText(u"And?"_qs); // for the send button
    field->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < 12 && (visited.isEmpty() || QApplication::focusWidget() != field); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focused = QApplication::focusWidget();
        visited << (focused->objectName().isEmpty() ? QString::fromLatin1(focused->metaObject()->className())
                                                    : focused->objectName());
    }
    std::sort(visited.begin(), visited.end());
    EXPECT_EQ(visited, (QStringList{u"AttachmentThumbnailButton"_qs, u"RoundIconButton"_qs, u"cancelButton"_qs,
                                    u"copyAnswerButton"_qs, u"modelButton"_qs, u"queryText"_qs, u"saveButton"_qs,
                                    u"sendButton"_qs, u"transcript"_qs}))
        << visited.join(u", ").toStdString();
}

// Saved where the user chose: the questions, the answers with their model, and the captures as PNG files
// beside the file. A place that cannot be written says so and loses nothing: the next try saves it all.
TEST_F(ContentFixture, SaveConversationWritesMarkdownAndCaptures)
{
    QTemporaryDir home;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    ASSERT_TRUE(QDir().mkpath(documents));
    const QByteArray capture = pngOfSize(400, 300);
    open(capture);
    activate();
    EXPECT_FALSE(view->saveAction()->isEnabled()) << "nothing said yet";
    ask(u"What is marked?"_qs);
    answer(u"A **red** ring."_qs);
    rig.session->beginAdditionalCapture(false);
    rig.session->noteDrawingBegan(QPointF(100, 100));
    rig.session->advanceToQuery();
    rig.capturer.succeed(pngOfSize(64, 48));
    settle();
    ask(u"And here?"_qs);
    answer(u"A line."_qs, {LLMAnswerEnding::Reason::LengthLimit, {}});
    ASSERT_TRUE(view->saveAction()->isEnabled());
    const QString model = rig.providers.calls.front().model;

    QFile blocker(home.filePath(u"taken captures"_qs)); // where that file's captures would go
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const struct {
        const char *how;
        QString path;
        bool saved;
    } cases[] = {
        {"its captures' folder taken by a file", home.filePath(u"taken.md"_qs), false},
        {"under another name", home.filePath(u"talk.md"_qs), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.how);
        QTest::keyClick(view->queryField()->textView(), Qt::Key_S, Qt::ControlModifier);
        auto *dialog = openedWindow<QFileDialog>(u"saveConversationDialog"_qs);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(documents).canonicalPath());
        EXPECT_TRUE(dialog->selectedFiles().value(0).endsWith(u".md"_qs));
        dialog->selectFile(c.path);
        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
        auto *error = openedWindow<QMessageBox>(u"saveConversationError"_qs);
        EXPECT_EQ(error == nullptr, c.saved);
        if (error) {
            EXPECT_TRUE(error->text().contains(u"taken captures"_qs)) << error->text().toStdString();
            EXPECT_FALSE(QFile::exists(c.path));
            error->close();
        }
    }
    EXPECT_EQ(rig.session->chatMessages().size(), 6);

    QFile saved(home.filePath(u"talk.md"_qs));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString markdown = QString::fromUtf8(saved.readAll());
    const QStringList order{u"## Question"_qs,
                            u"![Capture 1](talk%20captures/capture-1.png)"_qs,
                            u"What is marked?"_qs,
                            u"## Answer ("_qs + model + u')',
                            u"A **red** ring."_qs,
                            u"## Question"_qs,
                            u"![Capture 2](talk%20captures/capture-2.png)"_qs,
                            u"And here?"_qs,
                            u"## Answer ("_qs + model + u')',
                            u"A line."_qs,
                            u"*The answer reached the model's length limit.*"_qs};
    qsizetype at = 0;
    for (const QString &part : order) {
        const qsizetype found = markdown.indexOf(part, at);
        EXPECT_GE(found, at) << part.toStdString() << " in\n" << markdown.toStdString();
        at = qMax(at, found + 1);
    }
    EXPECT_EQ(markdown.count(u"## Question"_qs), 2) << markdown.toStdString();
    const QDir captures(home.filePath(u"talk captures"_qs));
    EXPECT_EQ(captures.entryList(QDir::Files), (QStringList{u"capture-1.png"_qs, u"capture-2.png"_qs}));
    QFile first(captures.filePath(u"capture-1.png"_qs));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), capture);
    EXPECT_EQ(QImage(captures.filePath(u"capture-2.png"_qs)).size(), QSize(64, 48));
}

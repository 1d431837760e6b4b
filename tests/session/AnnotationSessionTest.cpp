#include "SessionDoubles.h"
#include "support/LogRecorder.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString anthropicKey = u"apiKey.anthropic"_qs;

bool hasMessage(const AnnotationSession &session, const QUuid &id)
{
    return std::any_of(session.chatMessages().begin(), session.chatMessages().end(),
                       [&](const ChatMessage &m) { return m.id == id; });
}

// Opens the panel, lets the first capture succeed, asks a question and lets the answer finish: the
// session is then in `querying` with the panel up and no overlay, ready for additional captures.
void answerFirstQuestion(SessionRig &rig)
{
    rig.keys->insert(anthropicKey, u"key"_qs);
    rig.openPanelWithCapture();
    rig.session->submit(u"What is this?"_qs);
    rig.settle();
    rig.providers.latest().yield(u"An answer."_qs);
    rig.providers.latest().finish();
    rig.settle();
    ASSERT_EQ(rig.session->state(), SessionState::Querying);
}

void drawAdditionalCapture(SessionRig &rig, QPointF point = QPointF(2000, 50))
{
    rig.session->beginAdditionalCapture(true);
    rig.session->noteDrawingBegan(point);
    rig.session->advanceToQuery();
}

} // namespace

TEST(AnnotationSession, BeginShowsOneOverlayAndIgnoresRepeats)
{
    SessionRig rig;
    LogRecorder log;
    QSignalSpy stateSpy(rig.session.get(), &AnnotationSession::stateChanged);
    const QUuid before = rig.session->sessionRevision();
    EXPECT_FALSE(before.isNull());
    EXPECT_NE(before, AnnotationSession().sessionRevision());

    rig.session->begin(true);
    rig.session->begin(false);
    rig.session->beginWithDraw(QPointF(10, 10));
    rig.settle();

    ASSERT_EQ(rig.windows.overlays.size(), 1u);
    EXPECT_TRUE(rig.windows.overlays[0]->shown);
    EXPECT_TRUE(rig.windows.overlays[0]->showToolbar);
    EXPECT_TRUE(rig.windows.overlays[0]->canvas.begun.empty()) << "a refused beginWithDraw must not draw";
    EXPECT_EQ(rig.session->state(), SessionState::Drawing);
    EXPECT_NE(rig.session->sessionRevision(), before);
    EXPECT_EQ(stateSpy.count(), 1);
    EXPECT_EQ(log.messages(u"Session"_qs), QStringList{u"Begin annotation session showToolbar=true"_qs});
}

TEST(AnnotationSession, QuickDrawLocksTheScreenAndStartsTheStrokeOnTheNextTurn)
{
    SessionRig rig;
    LogRecorder log;
    rig.windows.unionRect = QRect(-100, 0, 4580, 1440);
    rig.session->beginWithDraw(QPointF(2500.7, 300.9));
    ASSERT_EQ(rig.windows.overlays.size(), 1u);
    EXPECT_FALSE(rig.windows.overlays[0]->showToolbar);
    EXPECT_TRUE(rig.windows.overlays[0]->canvas.begun.empty()) << "the stroke waits for the overlay to be laid out";

    rig.settle();
    ASSERT_EQ(rig.windows.overlays[0]->canvas.begun.size(), 1u);
    EXPECT_EQ(rig.windows.overlays[0]->canvas.begun[0], QPointF(2600.7, 300.9));
    EXPECT_EQ(rig.session->activeScreen(), rig.screens.list[1]);
    EXPECT_TRUE(
        log.contains(u"Session"_qs, u"Locked active screen to id=2 frame=1920,0 2560x1440 for point=2500,300"_qs));

    rig.session->continueDraw(QPointF(2510, 310));
    EXPECT_EQ(rig.windows.overlays[0]->canvas.extended.back(), QPointF(2610, 310));
    rig.session->endMiddleDraw();
    EXPECT_EQ(rig.session->state(), SessionState::Querying) << "single-stroke mode advances after the stroke";
}

TEST(AnnotationSession, ScreenLockKeepsTheFirstScreenAndFallsBackToTheMainOne)
{
    SessionRig rig;
    rig.session->begin(true);
    rig.session->noteDrawingBegan(QPointF(1919.5, 1079.5));
    EXPECT_EQ(rig.session->activeScreen(), rig.screens.list[0]);
    rig.session->noteDrawingBegan(QPointF(3000, 10));
    EXPECT_EQ(rig.session->activeScreen(), rig.screens.list[0]) << "the lock holds for the whole drawing";

    rig.session->cancel();
    rig.session->begin(true);
    rig.session->noteDrawingBegan(QPointF(1920, 1200)); // below the left monitor, left edge of the right one
    EXPECT_EQ(rig.session->activeScreen(), rig.screens.list[1]);

    rig.session->cancel();
    rig.session->begin(true);
    rig.session->noteDrawingBegan(QPointF(-5, -5));
    EXPECT_EQ(rig.session->activeScreen(), rig.screens.list[0]);

    rig.session->cancel();
    rig.screens.list.clear();
    rig.session->begin(true);
    rig.session->noteDrawingBegan(QPointF(5, 5));
    EXPECT_FALSE(rig.session->activeScreen().has_value());
}

TEST(AnnotationSession, ManualModeKeepsDrawingAfterAQuickDrawStroke)
{
    SessionRig rig;
    rig.settings->setSubmitMode(SubmitMode::ManualSubmit);
    rig.session->beginWithDraw(QPointF(50, 50));
    rig.settle();
    rig.session->endMiddleDraw();
    EXPECT_EQ(rig.session->state(), SessionState::Drawing);
    rig.session->endMiddleDraw(); // no stroke open: nothing to complete
    EXPECT_EQ(rig.windows.overlays[0]->canvas.completedStrokes, 1);
}

TEST(AnnotationSession, AdvanceCapturesTheLockedScreenOnce)
{
    SessionRig rig;
    LogRecorder log;
    rig.session->begin(true);
    rig.session->noteDrawingBegan(QPointF(2000, 100));
    rig.session->advanceToQuery();
    rig.session->advanceToQuery();

    EXPECT_EQ(rig.session->state(), SessionState::Querying);
    ASSERT_EQ(rig.capturer.requests.size(), 1u);
    EXPECT_EQ(rig.capturer.requests[0].displayID, 2u);
    EXPECT_EQ(rig.windows.overlays[0]->canvas.lastCrop, std::optional<QRectF>(QRectF(1920, 0, 2560, 1440)));
    EXPECT_TRUE(rig.windows.overlays[0]->toolbarHidden);
    EXPECT_FALSE(rig.windows.overlays[0]->closed) << "the strokes stay on screen while the user asks";
    ASSERT_EQ(rig.windows.panels.size(), 1u);
    EXPECT_EQ(rig.windows.panels[0]->screen, rig.screens.list[1]);
    EXPECT_TRUE(rig.session->isPreparingCapture());

    rig.capturer.succeed("PNG");
    rig.settle();
    EXPECT_FALSE(rig.session->isPreparingCapture());
    EXPECT_EQ(rig.session->capturedImage(), QByteArray("PNG"));
    ASSERT_EQ(rig.session->chatMessages().size(), 1);
    const ChatMessage &capture = rig.session->chatMessages()[0];
    EXPECT_EQ(capture.role, ChatMessageRole::User);
    EXPECT_TRUE(capture.text.isEmpty());
    EXPECT_EQ(capture.attachment->title, u"Screenshot"_qs);
    EXPECT_EQ(rig.session->initialCaptureMessageID(), capture.id);
    // The provider may start preparing the picture while the question is typed.
    using Prepared = std::vector<std::pair<QString, QByteArray>>;
    EXPECT_EQ(rig.providers.prepared, (Prepared{{u"anthropic"_qs, QByteArray("PNG")}}));
    EXPECT_EQ(log.messages(u"Session"_qs).mid(1),
              (QStringList{u"Locked active screen to id=2 frame=1920,0 2560x1440 for point=2000,100"_qs,
                           u"Advancing from drawing to query panel screen=id=2 frame=1920,0 2560x1440"_qs,
                           u"Screenshot captured bytes=3"_qs}));

    rig.session->cancel();
    EXPECT_TRUE(rig.providers.prepared.empty()) << "what was prepared must not outlive the session";
}

TEST(AnnotationSession, AdvanceWithoutALockedScreenRendersTheWholeCanvas)
{
    SessionRig rig;
    rig.session->begin(true);
    rig.session->advanceToQuery();
    EXPECT_EQ(rig.windows.overlays[0]->canvas.lastCrop,
              std::optional<std::optional<QRectF>>(std::in_place, std::nullopt));
    EXPECT_FALSE(rig.capturer.requests[0].displayID.has_value());
}

TEST(AnnotationSession, AdvanceWithoutWindowsOpensNothing)
{
    AnnotationSession session;
    LogRecorder log;
    session.begin(true);
    session.advanceToQuery();
    EXPECT_EQ(session.state(), SessionState::Querying);
    EXPECT_FALSE(session.isPreparingCapture());
    EXPECT_TRUE(log.contains(u"Session"_qs, u"Advancing from drawing to query panel screen=nil"_qs));
}

TEST(AnnotationSession, FailedCaptureLeavesTheTranscriptAlone)
{
    SessionRig rig;
    LogRecorder log;
    rig.openPanel();
    rig.capturer.fail(u"The display went away"_qs);
    rig.settle();
    EXPECT_EQ(rig.session->state(), SessionState::Querying);
    EXPECT_FALSE(rig.session->isPreparingCapture());
    EXPECT_FALSE(rig.session->capturedImage().has_value());
    EXPECT_TRUE(rig.session->chatMessages().isEmpty());
    EXPECT_TRUE(log.contains(u"Session"_qs, u"Capture failed error=The display went away"_qs));
}

TEST(AnnotationSession, LateCaptureResultsChangeNothing)
{
    SessionRig rig;
    LogRecorder log;
    rig.openPanel();
    rig.session->cancel();
    EXPECT_TRUE(rig.capturer.isCancelled(0));
    rig.capturer.succeed("late");
    rig.settle();
    EXPECT_TRUE(rig.session->chatMessages().isEmpty());
    EXPECT_FALSE(rig.session->capturedImage().has_value());

    // A capture of the next session is not disturbed by the previous one ending.
    rig.openPanel();
    rig.capturer.finishCancelled(0);
    rig.settle();
    EXPECT_TRUE(rig.session->isPreparingCapture());
    EXPECT_TRUE(rig.session->hasCaptureTask());
    EXPECT_FALSE(log.contains(u"Session"_qs, u"Screenshot capture cancelled"_qs));
}

TEST(AnnotationSession, ANewerCaptureOwnsThePreparingState)
{
    SessionRig rig;
    LogRecorder log;
    answerFirstQuestion(rig);
    drawAdditionalCapture(rig);
    drawAdditionalCapture(rig);
    ASSERT_EQ(rig.capturer.requests.size(), 3u);
    EXPECT_TRUE(rig.capturer.isCancelled(1));

    rig.capturer.finishCancelled(1);
    rig.settle();
    EXPECT_TRUE(rig.session->isPreparingCapture()) << "the older capture's end must not clear the newer one";
    EXPECT_TRUE(rig.session->hasCaptureTask());
    EXPECT_TRUE(log.contains(u"Session"_qs, u"Additional capture cancelled"_qs));

    rig.capturer.succeed("second", 2);
    rig.settle();
    EXPECT_FALSE(rig.session->isPreparingCapture());
    EXPECT_EQ(rig.session->pendingAdditionalImageData(), QByteArray("second"));
}

TEST(AnnotationSession, RemovingTheInitialCaptureDropsTheScreenshot)
{
    SessionRig rig;
    LogRecorder log;
    rig.openPanelWithCapture("PNG");
    const QUuid id = *rig.session->initialCaptureMessageID();
    rig.session->removeAttachmentMessage(QUuid::createUuid()); // unknown: nothing happens
    EXPECT_EQ(rig.session->chatMessages().size(), 1);

    rig.session->removeAttachmentMessage(id);
    EXPECT_TRUE(rig.session->chatMessages().isEmpty());
    EXPECT_FALSE(rig.session->capturedImage().has_value());
    EXPECT_FALSE(rig.session->initialCaptureMessageID().has_value());
    EXPECT_TRUE(log.contains(u"Session"_qs, u"Initial capture attachment removed by user"_qs));
}

TEST(AnnotationSession, TwoAdditionalCapturesKeepOnlyTheLatestPending)
{
    SessionRig rig;
    LogRecorder log;
    answerFirstQuestion(rig);
    const QList<ChatMessage> before = rig.session->chatMessages();

    drawAdditionalCapture(rig);
    EXPECT_TRUE(rig.windows.overlays.back()->closed);
    EXPECT_GE(rig.windows.panels[0]->broughtToFront, 1);
    rig.capturer.succeed("first");
    rig.settle();
    const QUuid first = *rig.session->pendingAdditionalMessageID();

    drawAdditionalCapture(rig);
    rig.capturer.succeed("second");
    rig.settle();
    const QUuid second = *rig.session->pendingAdditionalMessageID();

    EXPECT_NE(first, second);
    EXPECT_TRUE(hasMessage(*rig.session, first) && hasMessage(*rig.session, second));
    EXPECT_EQ(rig.session->pendingAdditionalImageData(), QByteArray("second"));
    EXPECT_EQ(rig.providers.prepared.back(), std::make_pair(u"anthropic"_qs, QByteArray("second")));
    EXPECT_TRUE(log.contains(u"Session"_qs,
                             QStringLiteral("Additional capture overwrote a prior pending image — only the latest will "
                                            "be sent to the LLM")));

    // The superseded capture's bubble goes, the pending one stays.
    rig.session->removeAttachmentMessage(first);
    EXPECT_EQ(rig.session->pendingAdditionalMessageID(), second);
    EXPECT_EQ(rig.session->chatMessages().size(), before.size() + 1);

    rig.session->submit(u"And this?"_qs);
    rig.settle();
    const LLMConversation &sent = rig.providers.calls.back().messages;
    ASSERT_EQ(sent.size(), 3);
    EXPECT_EQ(sent[2].imageData, QByteArray("second"));
    EXPECT_FALSE(rig.session->pendingAdditionalImageData().has_value());
}

TEST(AnnotationSession, RemovingThePendingCaptureSendsTheFollowUpWithoutAnImage)
{
    SessionRig rig;
    LogRecorder log;
    answerFirstQuestion(rig);
    drawAdditionalCapture(rig);
    rig.capturer.succeed("extra");
    rig.settle();
    rig.session->removeAttachmentMessage(*rig.session->pendingAdditionalMessageID());
    EXPECT_FALSE(rig.session->pendingAdditionalImageData().has_value());
    EXPECT_TRUE(log.contains(u"Session"_qs, u"Additional capture attachment removed by user"_qs));

    // An already sent capture: only the transcript changes.
    const LLMConversation prefix = rig.session->llmConversationPrefix();
    rig.session->removeAttachmentMessage(rig.session->chatMessages()[0].id);
    EXPECT_EQ(rig.session->llmConversationPrefix(), prefix);

    rig.session->submit(u"Follow-up"_qs);
    rig.settle();
    EXPECT_FALSE(rig.providers.calls.back().messages.back().imageData.has_value());
}

TEST(AnnotationSession, AdditionalCapturesAreRefusedUnlessThePanelStandsAlone)
{
    SessionRig rig;
    LogRecorder log;
    rig.session->beginAdditionalCapture(true);
    rig.openPanel();
    rig.session->beginAdditionalCapture(true); // the first overlay is still up
    rig.session->beginAdditionalCaptureWithDraw(QPointF(5, 5));
    rig.settle();
    EXPECT_EQ(rig.windows.overlays.size(), 1u);
    EXPECT_TRUE(rig.windows.overlays[0]->canvas.begun.empty());
    EXPECT_EQ(log.messages(u"Session"_qs).filter(u"ignored"_qs),
              (QStringList{u"beginAdditionalCapture ignored state=idle hasPanel=false hasOverlay=false"_qs,
                           u"beginAdditionalCapture ignored state=querying hasPanel=true hasOverlay=true"_qs,
                           u"beginAdditionalCapture ignored state=querying hasPanel=true hasOverlay=true"_qs}));
}

TEST(AnnotationSession, AdditionalQuickDrawStartsAStrokeOnTheNewOverlay)
{
    SessionRig rig;
    answerFirstQuestion(rig);
    rig.session->setAwaitingAdditionalDraw(true);
    rig.session->beginAdditionalCaptureWithDraw(QPointF(3000, 700));
    EXPECT_TRUE(rig.session->isAdditionalCapture());
    EXPECT_FALSE(rig.session->isAwaitingAdditionalDraw());
    rig.settle();
    EXPECT_EQ(rig.windows.overlays.back()->canvas.begun.size(), 1u);
    EXPECT_EQ(rig.session->activeScreen(), rig.screens.list[1]);
}

TEST(AnnotationSession, CancelDuringAnAdditionalCaptureKeepsTheSession)
{
    SessionRig rig;
    LogRecorder log;
    answerFirstQuestion(rig);
    const QList<ChatMessage> transcript = rig.session->chatMessages();
    rig.session->beginAdditionalCapture(true);
    rig.session->noteDrawingBegan(QPointF(10, 10));

    rig.session->cancel();
    EXPECT_EQ(rig.session->state(), SessionState::Querying);
    EXPECT_FALSE(rig.session->isAdditionalCapture());
    EXPECT_FALSE(rig.session->activeScreen().has_value());
    EXPECT_TRUE(rig.windows.overlays.back()->closed);
    EXPECT_FALSE(rig.windows.panels[0]->closed);
    EXPECT_EQ(rig.session->chatMessages(), transcript);
    EXPECT_TRUE(log.contains(u"Session"_qs, u"Cancel additional capture"_qs));

    rig.session->cancel();
    EXPECT_EQ(rig.session->state(), SessionState::Idle);
    EXPECT_TRUE(rig.windows.panels[0]->closed);
}

TEST(AnnotationSession, CancelResetsEverythingAndHandsTheFocusBackLater)
{
    SessionRig rig;
    LogRecorder log;
    rig.focus.frontmost = FocusRestorationTarget{4242, 7, std::nullopt};
    answerFirstQuestion(rig);
    rig.session->setAwaitingAdditionalDraw(true);
    const QUuid revision = rig.session->sessionRevision();

    rig.session->cancel();
    const AnnotationSession &s = *rig.session;
    EXPECT_EQ(s.state(), SessionState::Idle);
    EXPECT_NE(s.sessionRevision(), revision);
    EXPECT_TRUE(s.chatMessages().isEmpty() && s.streamedResponse().isEmpty());
    EXPECT_TRUE(s.llmConversationPrefix().isEmpty() && s.llmConversationHistory().isEmpty());
    EXPECT_FALSE(s.capturedImage() || s.activeScreen() || s.pendingAdditionalImageData() ||
                 s.initialCaptureMessageID() || s.pendingAdditionalMessageID() || s.focusRestorationTarget());
    EXPECT_FALSE(s.overlayController() || s.queryPanelController() || s.hasCaptureTask() || s.hasStreamingTask());
    EXPECT_TRUE(s.isAwaitingAdditionalDraw()) << "cancel leaves the hint flag to the hotkey glue";
    EXPECT_TRUE(rig.windows.panels[0]->closed);
    EXPECT_TRUE(rig.windows.overlays[0]->closed);
    EXPECT_EQ(rig.focus.stops, 1);
    EXPECT_TRUE(log.contains(u"Session"_qs, u"Session cancelled and state reset"_qs));

    EXPECT_TRUE(rig.focus.restored.empty()) << "the windows close before the focus goes back";
    QTest::qWait(120);
    EXPECT_TRUE(rig.focus.restored.empty());
    QTRY_COMPARE_WITH_TIMEOUT(rig.focus.restored.size(), size_t(1), 1000);
    EXPECT_EQ(rig.focus.restored[0].appPID, 4242);

    rig.focus.frontmost.reset(); // this application in front: no target, nothing restored
    rig.session->begin(true);
    rig.session->cancel();
    rig.session->begin(true);
    rig.session->cancel();
    QTest::qWait(300);
    EXPECT_EQ(rig.focus.restored.size(), 1u);
}

TEST(AnnotationSession, FocusFollowsTheLastOtherApplicationWhileASessionRuns)
{
    SessionRig rig;
    LogRecorder log;
    rig.focus.frontmost = FocusRestorationTarget{100, std::nullopt, std::nullopt};
    rig.session->begin(true);
    ASSERT_TRUE(rig.focus.activated);
    rig.focus.activated(FocusRestorationTarget{200, std::nullopt, std::nullopt});
    EXPECT_EQ(rig.session->focusRestorationTarget()->appPID, 200);
    EXPECT_TRUE(log.contains(u"Session"_qs, u"Updated focus restoration target pid=200"_qs));

    rig.session->cancel();
    EXPECT_FALSE(rig.focus.activated) << "cancel ends the subscription";
    QTRY_COMPARE_WITH_TIMEOUT(rig.focus.restored.size(), size_t(1), 1000);
    EXPECT_EQ(rig.focus.restored[0].appPID, 200);
}

TEST(AnnotationSession, AwaitingDrawCanOnlyBeSwitchedOnWhileQuerying)
{
    SessionRig rig;
    QSignalSpy spy(rig.session.get(), &AnnotationSession::isAwaitingAdditionalDrawChanged);
    rig.session->setAwaitingAdditionalDraw(true);
    EXPECT_FALSE(rig.session->isAwaitingAdditionalDraw());
    rig.openPanel();
    rig.session->setAwaitingAdditionalDraw(true);
    rig.session->setAwaitingAdditionalDraw(true);
    EXPECT_EQ(spy.count(), 1) << "no notification when unchanged";
    rig.session->cancel();
    rig.session->setAwaitingAdditionalDraw(false); // off is always allowed while on
    EXPECT_FALSE(rig.session->isAwaitingAdditionalDraw());
    EXPECT_EQ(spy.count(), 2);
}

#include "ContentViewRig.h"
#include "support/LogRecorder.h"

#include "panel/HoldToRecordButton.h"
#include "panel/HoldToRecordController.h"
#include "panel/QueryInputRow.h"
#include "panel/QueryInputTextView.h"
#include "panel/QueryPanelFooter.h"
#include "panel/QueryTextView.h"
#include "panel/SpinnerView.h"
#include "voice/TranscriptionService.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

// Spoken questions in the panel: Return held on an empty field or the microphone button held, with a
// transcription service that the test answers by hand and a clock it moves by hand.

namespace {

struct FakeTranscription : TranscriptionService {
    int started = 0;
    int cancelled = 0;
    std::vector<Completion> pending;

    void startRecording() override { ++started; }
    void cancelRecording() override { ++cancelled; }
    void stopAndTranscribe(Completion done) override { pending.push_back(std::move(done)); }
};

enum class Trigger { Keyboard, Button, SpaceOnButton };

struct Hold {
    const char *name;
    Trigger trigger;
    qint64 heldMs;
    QString typed;
    std::optional<TranscriptionService::Result> result; // none: nothing is transcribed
    QString shown;        // the user's bubble after the transcription; empty when there is none
    bool submitted;       // the bubble's text went to the model
    bool hint;            // "Hold Enter to record" replaced the placeholder
    QString logged = {};  // a "QueryPanel" line
    QString partial = {}; // streamed before the result

    friend void PrintTo(const Hold &hold, std::ostream *out) { *out << hold.name; }
};

TranscriptionService::Result transcript(const QString &text)
{
    return {text, std::nullopt};
}

const Hold holds[] = {
    {"KeyTapIsDiscardedWithAHint",
     Trigger::Keyboard,
     200,
     {},
     std::nullopt,
     {},
     false,
     true,
     "Keyboard hold-to-record ended duration=0.20s"},
    {"ShortKeyHoldIsDiscardedSilently", Trigger::Keyboard, 1000, {}, std::nullopt, {}, false, false},
    {"KeyHoldIsTranscribedAndAsked",
     Trigger::Keyboard,
     1600,
     {},
     transcript(u"  What is this?\n"_qs),
     "What is this?",
     true,
     false,
     "Keyboard transcription submitted chars=13"},
    {"SilenceSaysSo",
     Trigger::Keyboard,
     1500,
     {},
     transcript(u" "_qs),
     "No speech detected.",
     false,
     false,
     "Keyboard transcription produced empty transcript"},
    {"FailureIsShownInTheBubble",
     Trigger::Keyboard,
     2000,
     {},
     TranscriptionService::Result{{}, TranscriptionError::httpError(401, u"Unauthenticated"_qs)},
     "[Transcription failed: HTTP 401 from Replicate API: Unauthenticated]",
     false,
     false,
     "Keyboard transcription failed error=HTTP 401 from Replicate API: Unauthenticated"},
    {"ButtonHoldReplacesTypedText", Trigger::Button, 2000, u"typed"_qs, transcript(u"Spoken"_qs), "Spoken", true, false,
     "Button hold-to-record ended duration=2.00s"},
    {"ShortButtonHoldIsDiscarded", Trigger::Button, 1400, {}, std::nullopt, {}, false, false},
    {"SpaceHeldOnTheButtonIsTranscribedAndAsked",
     Trigger::SpaceOnButton,
     2000,
     {},
     transcript(u"Spoken"_qs),
     "Spoken",
     true,
     false,
     "Button hold-to-record ended duration=2.00s"},
    {"StreamedTranscriptShowsWhileMade",
     Trigger::Keyboard,
     1600,
     {},
     transcript(u"What is this?"_qs),
     "What is this?",
     true,
     false,
     "Keyboard transcription submitted chars=13",
     u" What is"_qs},
};

class HoldFixture : public ::testing::Test, protected ContentViewRig {
protected:
    FakeTranscription service;
    qint64 now = 0;

    void SetUp() override
    {
        open(pngOfSize(400, 300), &service);
        view->inputRow()->holdToRecord()->setClock([this] { return now; });
    }
    void TearDown() override { view.reset(); } // before the service it uses
    QueryTextView *text() const { return view->queryField()->textView(); }
    void press(Trigger trigger)
    {
        if (trigger == Trigger::Keyboard)
            QTest::keyPress(text(), Qt::Key_Return);
        else if (trigger == Trigger::SpaceOnButton)
            QTest::keyPress(view->inputRow()->micButton(), Qt::Key_Space);
        else
            QTest::mousePress(view->inputRow()->micButton(), Qt::LeftButton);
    }
    void release(Trigger trigger)
    {
        if (trigger == Trigger::Keyboard) {
            QSignalSpy ended(view->queryField(), &QueryInputTextView::emptyEnterPressEnded);
            QTest::keyRelease(text(), Qt::Key_Return);
            ended.wait(); // a release is sure after a short wait for the key repeating
        } else if (trigger == Trigger::SpaceOnButton) {
            QTest::keyRelease(view->inputRow()->micButton(), Qt::Key_Space);
        } else {
            QTest::mouseRelease(view->inputRow()->micButton(), Qt::LeftButton);
        }
    }
    QString placeholder() const { return view->queryField()->placeholderField()->text(); }
    const ChatMessage &lastMessage() const { return rig.session->chatMessages().last(); }
};

class HoldToRecordTest : public HoldFixture, public ::testing::WithParamInterface<Hold> {};

TEST_P(HoldToRecordTest, ReleaseDecidesWhatHappensToTheRecording)
{
    const Hold &hold = GetParam();
    LogRecorder log;
    text()->setPlainText(hold.typed);
    const qsizetype messagesBefore = rig.session->chatMessages().size();

    press(hold.trigger);
    EXPECT_EQ(service.started, 1);
    EXPECT_TRUE(view->inputRow()->holdToRecord()->isRecording());
    EXPECT_TRUE(text()->isReadOnly());
    EXPECT_FALSE(view->inputRow()->sendButton()->isEnabled());
    if (hold.trigger == Trigger::Keyboard) {
        QTest::keyPress(text(), Qt::Key_Return, Qt::NoModifier, -1); // a key repeat: not a second press
        EXPECT_EQ(service.started, 1);
    }
    now += hold.heldMs;
    release(hold.trigger);
    settle();
    EXPECT_FALSE(view->inputRow()->holdToRecord()->isRecording());

    if (!hold.result) {
        EXPECT_EQ(service.cancelled, 1);
        EXPECT_TRUE(service.pending.empty());
        EXPECT_EQ(rig.session->chatMessages().size(), messagesBefore);
        EXPECT_EQ(placeholder() == u"Hold Enter to record", hold.hint);
        EXPECT_FALSE(text()->isReadOnly());
    } else {
        // While transcribing: an in-progress bubble, the footer spinner, the input closed, no new recording.
        ASSERT_EQ(service.pending.size(), 1u);
        EXPECT_EQ(lastMessage().text, u"Transcribing…");
        EXPECT_TRUE(lastMessage().isStreaming);
        const QUuid placeholderID = lastMessage().id;
        EXPECT_TRUE(view->footer()->transcribingSpinner()->isVisible());
        EXPECT_TRUE(text()->isReadOnly());
        press(Trigger::Button);
        press(Trigger::Keyboard);
        EXPECT_EQ(service.started, 1);

        if (!hold.partial.isEmpty()) {
            Q_EMIT service.partialTranscript(hold.partial);
            settle();
            EXPECT_EQ(lastMessage().text, hold.partial.trimmed());
            EXPECT_TRUE(lastMessage().isStreaming);
        }
        service.pending.front()(*hold.result);
        settle();
        EXPECT_FALSE(view->footer()->transcribingSpinner()->isVisible());
        const auto bubble = std::find_if(rig.session->chatMessages().begin(), rig.session->chatMessages().end(),
                                         [&](const ChatMessage &m) { return m.id == placeholderID; });
        ASSERT_NE(bubble, rig.session->chatMessages().end());
        EXPECT_EQ(bubble->text, hold.shown);
        EXPECT_FALSE(bubble->isStreaming);
        ASSERT_EQ(rig.providers.calls.size(), hold.submitted ? 1u : 0u);
        if (hold.submitted) {
            EXPECT_EQ(rig.providers.calls[0].messages.last().text, hold.shown);
            EXPECT_EQ(rig.session->state(), SessionState::Streaming);
            EXPECT_EQ(text()->toPlainText(), u"");
            // The bubble is the question: no second copy of it.
            EXPECT_EQ(std::count_if(rig.session->chatMessages().begin(), rig.session->chatMessages().end(),
                                    [&](const ChatMessage &m) { return m.text == hold.shown; }),
                      1);
        } else {
            EXPECT_EQ(rig.session->state(), SessionState::Querying);
            EXPECT_FALSE(text()->isReadOnly());
        }
    }
    if (!hold.logged.isEmpty()) {
        EXPECT_TRUE(log.messages(u"QueryPanel"_qs).contains(hold.logged)) << log.lines().join(u'\n').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Holds, HoldToRecordTest, ::testing::ValuesIn(holds),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(HoldFixture, MicrophoneFailureIsToldInTheFooterAndTypingStillWorks)
{
    press(Trigger::Keyboard);
    Q_EMIT service.recordingFailed(u"No microphone found"_qs);
    settle();
    EXPECT_FALSE(view->inputRow()->holdToRecord()->isRecording());
    EXPECT_TRUE(view->footer()->voiceMessageLabel()->isVisible());
    EXPECT_EQ(view->footer()->voiceMessageLabel()->text(), u"No microphone found");
    now += 2000;
    release(Trigger::Keyboard);
    EXPECT_TRUE(service.pending.empty());
    EXPECT_NE(placeholder(), u"Hold Enter to record"); // the failure is the answer to this press

    text()->setPlainText(u"Typed instead"_qs);
    QTest::keyClick(text(), Qt::Key_Return);
    settle();
    ASSERT_EQ(rig.providers.calls.size(), 1u);
    EXPECT_EQ(rig.providers.calls[0].messages.last().text, u"Typed instead");
}

TEST_F(HoldFixture, WithoutAServiceReturnOnlyExplainsAndTheMicrophoneIsHidden)
{
    view = std::make_unique<QueryPanelContentView>(*rig.session, models);
    view->show();
    EXPECT_TRUE(view->inputRow()->micButton()->isHidden());
    QSignalSpy ended(view->queryField(), &QueryInputTextView::emptyEnterPressEnded);
    QTest::keyClick(text(), Qt::Key_Return);
    ASSERT_TRUE(ended.wait());
    EXPECT_FALSE(view->inputRow()->holdToRecord()->isRecording());
    EXPECT_EQ(placeholder(), u"Hold Enter to record");
    EXPECT_TRUE(QTest::qWaitFor([&] { return placeholder() == u"Ask anything about the annotated area…"; }));

    // Once the panel knows what voice questions lack, Return says that instead.
    const QString missing = u"For voice, add an OpenAI key in Settings."_qs;
    view->setTranscriptionService(nullptr, missing);
    QTest::keyClick(text(), Qt::Key_Return);
    ASSERT_TRUE(ended.wait());
    EXPECT_EQ(placeholder(), missing);
    EXPECT_TRUE(view->inputRow()->micButton()->isHidden());
}

} // namespace

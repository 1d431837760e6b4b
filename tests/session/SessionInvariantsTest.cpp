#include "SessionDoubles.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Drives the session with random operations, including captures and answers that end late, and checks
// after every step what must hold between operations.
class RandomDriver {
public:
    explicit RandomDriver(unsigned seed)
        : random_(seed)
    {
        rig_.keys->insert(u"apiKey.anthropic"_qs, u"key"_qs);
        rig_.keys->insert(u"apiKey.openai"_qs, u"key"_qs);
    }

    void step()
    {
        AnnotationSession &s = *rig_.session;
        switch (pick(20)) {
        case 0:
            s.begin(pick(2));
            break;
        case 1:
            s.beginWithDraw(point());
            break;
        case 2:
            s.noteDrawingBegan(point());
            break;
        case 3:
            s.continueDraw(point());
            break;
        case 4:
            s.endMiddleDraw();
            break;
        case 5:
            s.advanceToQuery();
            break;
        case 6:
            s.setAwaitingAdditionalDraw(pick(2));
            break;
        case 7:
            s.beginAdditionalCapture(pick(2));
            break;
        case 8:
            s.beginAdditionalCaptureWithDraw(point());
            break;
        case 9:
            if (!s.chatMessages().isEmpty())
                s.removeAttachmentMessage(s.chatMessages()[pick(int(s.chatMessages().size()))].id);
            break;
        case 10:
            s.cancel();
            break;
        case 11:
            rig_.settings->setSelectedProvider(pick(2) ? u"openai"_qs : u"anthropic"_qs);
            s.submit(u"question"_qs);
            break;
        case 12:
            endSomeCapture();
            break;
        case 13:
            feedSomeStream();
            break;
        case 14:
            rig_.keys->insert(u"apiKey.anthropic"_qs, pick(3) ? u"key"_qs : QString());
            break;
        case 15:
            rig_.settings->setSubmitMode(pick(2) ? SubmitMode::ManualSubmit : SubmitMode::SingleStroke);
            break;
        default:
            SessionRig::settle();
            break;
        }
    }

    void checkInvariants(int stepNumber) const
    {
        const AnnotationSession &s = *rig_.session;
        SCOPED_TRACE(stepNumber);
        ASSERT_EQ(s.pendingAdditionalMessageID().has_value(), s.pendingAdditionalImageData().has_value());
        ASSERT_TRUE(s.llmConversationHistory().isEmpty() || !s.llmConversationPrefix().isEmpty());
        // A service refuses an empty turn.
        ASSERT_TRUE(std::none_of(s.llmConversationHistory().begin(), s.llmConversationHistory().end(),
                                 [](const LLMMessage &m) { return m.text.isEmpty(); }));
        ASSERT_EQ(s.hasCaptureTask(), s.isPreparingCapture());
        ASSERT_TRUE(!s.isAdditionalCapture() || s.state() == SessionState::Drawing);
        ASSERT_EQ(s.hasStreamingTask(), s.state() == SessionState::Streaming);
        switch (s.state()) {
        case SessionState::Idle:
            ASSERT_FALSE(s.overlayController() || s.queryPanelController() || s.hasCaptureTask());
            ASSERT_TRUE(s.chatMessages().isEmpty() && s.llmConversationPrefix().isEmpty());
            break;
        case SessionState::Drawing:
            ASSERT_TRUE(s.overlayController());
            ASSERT_EQ(bool(s.queryPanelController()), s.isAdditionalCapture());
            break;
        case SessionState::Querying:
        case SessionState::Streaming:
            ASSERT_TRUE(s.queryPanelController());
            break;
        }
        for (const std::optional<QUuid> &id : {s.initialCaptureMessageID(), s.pendingAdditionalMessageID()})
            ASSERT_TRUE(!id || std::any_of(s.chatMessages().begin(), s.chatMessages().end(),
                                           [&](const ChatMessage &m) { return m.id == *id && m.attachment; }));
        const auto streaming = std::count_if(s.chatMessages().begin(), s.chatMessages().end(),
                                             [](const ChatMessage &m) { return m.isStreaming; });
        ASSERT_LE(streaming, s.state() == SessionState::Streaming ? 1 : 0);
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    QPointF point() { return QPointF(pick(4600) - 60, pick(1500) - 30); }

    void endSomeCapture()
    {
        std::vector<FakeCapturer::Request *> open;
        for (FakeCapturer::Request &r : rig_.capturer.requests)
            if (!r.promise->future().isFinished())
                open.push_back(&r);
        if (open.empty())
            return;
        QPromise<CaptureResult> &promise = *open[pick(int(open.size()))]->promise;
        switch (pick(3)) {
        case 0:
            promise.addResult(CaptureResult{QByteArray::number(pick(1000)), std::nullopt});
            break;
        case 1:
            promise.addResult(CaptureResult{{}, u"failed"_qs});
            break;
        default:
            break; // ends without a result, as a cancelled capture does
        }
        promise.finish();
    }

    void feedSomeStream()
    {
        if (rig_.providers.calls.empty())
            return;
        LLMAnswerStream &stream = *rig_.providers.calls[pick(int(rig_.providers.calls.size()))].stream;
        switch (pick(4)) {
        case 0:
            stream.finish({LLMAnswerEnding::Reason(pick(3)), {}});
            break;
        case 1:
            stream.fail({u"HTTP error 500"_qs, pick(4) == 0});
            break;
        default:
            stream.yield(u"word "_qs);
            break;
        }
    }

    std::mt19937 random_;
    SessionRig rig_;
};

} // namespace

TEST(AnnotationSessionInvariants, HoldAfterEveryStepOfRandomSequences)
{
    for (unsigned seed = 1; seed <= 1000; ++seed) {
        RandomDriver driver(seed);
        for (int i = 0; i < 40; ++i) {
            driver.step();
            driver.checkInvariants(i);
            if (::testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << "seed " << seed;
                return;
            }
        }
    }
}

#pragma once

#include "providers/LLMProvider.h"
#include "session/ChatMessage.h"
#include "session/ChatTranscript.h"
#include "session/FocusTracker.h"
#include "session/Overlay.h"
#include "session/QueryPanel.h"
#include "session/ScreenCapturer.h"
#include "session/ScreenCatalog.h"
#include "session/SessionCaptures.h"
#include "session/SessionConversation.h"
#include "session/SessionState.h"
#include "session/SessionWindows.h"
#include "settings/SettingsManager.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <memory>
#include <optional>

// The session's neighbours. Any of them may be absent; the session then skips what it would have done
// with it (no overlay, no panel, no capture, no focus hand-back, no providers).
struct SessionNeighbours {
    SessionWindows *windows = nullptr;
    ScreenCapturer *capturer = nullptr;
    ScreenCatalog *screens = nullptr;
    FocusTracker *focus = nullptr;
    LLMProviderFactory *providers = nullptr;
};

// One annotate–capture–ask–answer cycle at a time: which window is up, when the screen is captured,
// what the transcript shows and what conversation goes to the model. Main thread only.
//
// Work that outlives the call that started it (captures, submissions) remembers `sessionRevision` and
// changes nothing once the revision has moved on; `begin` and `cancel` are the only places it moves.
// The pictures are kept by SessionCaptures, the questions and answers by SessionConversation; both write
// into the one transcript.
class AnnotationSession : public QObject {
    Q_OBJECT
public:
    explicit AnnotationSession(SessionNeighbours neighbours = {}, QObject *parent = nullptr);
    ~AnnotationSession() override;

    // Published properties; each has a <name>Changed signal.
    SessionState state() const { return state_; }
    const QString &streamedResponse() const { return conversation_.streamedResponse(); }
    const QList<ChatMessage> &chatMessages() const { return transcript_.messages(); }
    bool isPreparingCapture() const { return captures_.isPreparing(); }
    bool isAdditionalCapture() const { return isAdditionalCapture_; }
    bool isAwaitingAdditionalDraw() const { return isAwaitingAdditionalDraw_; }

    SettingsManager *settings() const { return settings_; }
    void setSettings(SettingsManager *settings) { settings_ = settings; }

    // Read-only views of the rest of the state.
    Overlay *overlayController() const { return overlay_.get(); }
    QueryPanel *queryPanelController() const { return queryPanel_.get(); }
    const std::optional<QByteArray> &capturedImage() const { return captures_.capturedImage(); }
    const std::optional<ScreenInfo> &activeScreen() const { return activeScreen_; }
    bool hasCaptureTask() const { return captures_.runningSerial().has_value(); }
    bool hasStreamingTask() const { return conversation_.isStreaming(); }
    QUuid sessionRevision() const { return sessionRevision_; }
    const std::optional<FocusRestorationTarget> &focusRestorationTarget() const { return focusRestorationTarget_; }
    bool isTrackingFocus() const { return isTrackingFocus_; }
    const LLMConversation &llmConversationPrefix() const { return conversation_.prefix(); }
    const LLMConversation &llmConversationHistory() const { return conversation_.history(); }
    const std::optional<QByteArray> &pendingAdditionalImageData() const
    {
        return captures_.pendingAdditionalImageData();
    }
    const std::optional<QUuid> &initialCaptureMessageID() const { return captures_.initialCaptureMessageID(); }
    const std::optional<QUuid> &pendingAdditionalMessageID() const { return captures_.pendingAdditionalMessageID(); }

    // Lifecycle and captures. Points are in global screen coordinates.
    void begin(bool showToolbar);
    void beginWithDraw(QPointF point);
    void noteDrawingBegan(QPointF screenPoint);
    void continueDraw(QPointF point);
    void endMiddleDraw();
    void advanceToQuery();
    void setAwaitingAdditionalDraw(bool flag);
    void beginAdditionalCapture(bool showToolbar);
    void beginAdditionalCaptureWithDraw(QPointF point);
    void removeAttachmentMessage(QUuid id); // by value: callers often pass an id from chatMessages()
    void cancel();

    // Questions and answers.
    QUuid appendPendingUserMessage(const QString &text);
    void replaceChatMessage(QUuid id, const QString &text, bool isStreaming);
    void submit(const QString &query, const std::optional<QUuid> &existingUserMessageID = std::nullopt);

    static QString describe(const std::optional<ScreenInfo> &screen);

Q_SIGNALS:
    void stateChanged();
    void streamedResponseChanged();
    void chatMessagesChanged();               // messages added, removed or the list replaced
    void chatMessageUpdated(const QUuid &id); // one message's text or streaming flag changed in place
    void isPreparingCaptureChanged();
    void isAdditionalCaptureChanged();
    void isAwaitingAdditionalDrawChanged();

private:
    void setState(SessionState state);
    void setAdditionalCapture(bool flag);
    void setAwaitingDraw(bool flag);

    std::optional<ScreenInfo> screenContaining(QPointF point) const;
    std::optional<quint32> displayID(const std::optional<ScreenInfo> &screen) const;
    void startTrackingFocusChanges();
    void scheduleDeferredStroke(QPointF point);
    QImage strokesImage() const;
    void completeAdditionalCapture();
    void cancelAdditionalCapture();
    void bringPanelBack();
    void closeOverlay();
    void stopWork();      // the running capture and answer
    void forgetSession(); // what the last session left
    void captureEnded(quint64 serial, const std::optional<QByteArray> &image);

    SessionNeighbours neighbours_;

    SessionState state_ = SessionState::Idle;
    QPointer<SettingsManager> settings_;
    std::unique_ptr<Overlay> overlay_;
    std::unique_ptr<QueryPanel> queryPanel_;
    std::optional<ScreenInfo> activeScreen_;
    QUuid sessionRevision_ = QUuid::createUuid();
    std::optional<FocusRestorationTarget> focusRestorationTarget_;
    bool isTrackingFocus_ = false;
    bool isAdditionalCapture_ = false;
    bool isAwaitingAdditionalDraw_ = false;

    // After sessionRevision_, which they read.
    ChatTranscript transcript_;
    SessionCaptures captures_;
    SessionConversation conversation_;
};

#include "session/AnnotationSession.h"

#include "log/DebugLog.h"
#include "session/ProviderChoice.h"
#include "settings/SettingsManager.h"

#include <QMetaObject>
#include <QTimer>

namespace {

constexpr int focusRestoreDelayMs = 200;
const QString screenshotTitle = QStringLiteral("Screenshot");

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("Session"), message);
}

QString flag(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString canonical(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

ChatMessage captureMessage(const QByteArray &bytes)
{
    ChatMessage message;
    message.role = ChatMessageRole::User;
    message.attachment = ChatAttachment{QUuid::createUuid(), bytes, screenshotTitle};
    return message;
}

} // namespace

// One question on its way: everything it needs was read when it was submitted.
struct AnnotationSession::Submission {
    QUuid revision;
    bool cancelled = false;
    QString query;
    std::optional<QUuid> existingUserMessageID;
    QString provider; // as stored
    ProviderChoice choice;
    QString systemPrompt;
    StoredSecret key; // of the chosen provider

    std::optional<quint64> awaitedCapture; // serial of the capture this question waits for

    std::unique_ptr<LLMProvider> llm;
    std::shared_ptr<LLMAnswerStream> stream;
    QUuid answerID;
    bool isFirstTurn = false;
    LLMMessage turn;
};

AnnotationSession::AnnotationSession(SessionNeighbours neighbours, QObject *parent)
    : QObject(parent)
    , neighbours_(neighbours)
{
}

AnnotationSession::~AnnotationSession()
{
    cancelCaptureTask();
    cancelStreamingTask();
    if (isTrackingFocus_ && neighbours_.focus)
        neighbours_.focus->stopTracking();
}

// --- published properties ---------------------------------------------------------------------------

void AnnotationSession::setState(SessionState state)
{
    if (state_ == state)
        return;
    state_ = state;
    Q_EMIT stateChanged();
}

void AnnotationSession::setStreamedResponse(const QString &text)
{
    streamedResponse_ = text;
    Q_EMIT streamedResponseChanged();
}

void AnnotationSession::setChatMessages(QList<ChatMessage> messages)
{
    chatMessages_ = std::move(messages);
    Q_EMIT chatMessagesChanged();
}

void AnnotationSession::appendChatMessage(ChatMessage message)
{
    chatMessages_.append(std::move(message));
    Q_EMIT chatMessagesChanged();
}

void AnnotationSession::setPreparingCapture(bool flag)
{
    if (isPreparingCapture_ == flag)
        return;
    isPreparingCapture_ = flag;
    Q_EMIT isPreparingCaptureChanged();
}

void AnnotationSession::setAdditionalCapture(bool flag)
{
    if (isAdditionalCapture_ == flag)
        return;
    isAdditionalCapture_ = flag;
    Q_EMIT isAdditionalCaptureChanged();
}

void AnnotationSession::setAwaitingDraw(bool flag)
{
    if (isAwaitingAdditionalDraw_ == flag)
        return;
    isAwaitingAdditionalDraw_ = flag;
    Q_EMIT isAwaitingAdditionalDrawChanged();
}

// --- screens ----------------------------------------------------------------------------------------

std::optional<ScreenInfo> AnnotationSession::screenContaining(QPointF point) const
{
    if (!neighbours_.screens)
        return std::nullopt;
    for (const ScreenInfo &screen : neighbours_.screens->screens()) {
        const QRectF frame(screen.frame);
        if (point.x() >= frame.left() && point.x() < frame.right() && point.y() >= frame.top() &&
            point.y() < frame.bottom())
            return screen;
    }
    return std::nullopt;
}

std::optional<quint32> AnnotationSession::displayID(const std::optional<ScreenInfo> &screen) const
{
    return screen ? screen->displayID : std::nullopt;
}

QString AnnotationSession::describe(const std::optional<ScreenInfo> &screen)
{
    if (!screen)
        return QStringLiteral("nil");
    const QRect &f = screen->frame;
    return u"id=" + QString::number(screen->displayID.value_or(0)) + u" frame=" + QString::number(f.x()) + u',' +
           QString::number(f.y()) + u' ' + QString::number(f.width()) + u'x' + QString::number(f.height());
}

// --- lifecycle --------------------------------------------------------------------------------------

void AnnotationSession::begin(bool showToolbar)
{
    if (state_ != SessionState::Idle)
        return;
    focusRestorationTarget_ = neighbours_.focus ? neighbours_.focus->frontmostTarget() : std::nullopt;
    startTrackingFocusChanges();
    sessionRevision_ = QUuid::createUuid();

    setState(SessionState::Drawing);
    setStreamedResponse(QString());
    setChatMessages({});
    capturedImage_.reset();
    activeScreen_.reset();
    llmConversationPrefix_.clear();
    llmConversationHistory_.clear();
    setPreparingCapture(false);

    log(u"Begin annotation session showToolbar=" + flag(showToolbar));
    if (neighbours_.windows) {
        overlay_ = neighbours_.windows->createOverlay(*this, showToolbar);
        if (overlay_)
            overlay_->show();
    }
}

void AnnotationSession::startTrackingFocusChanges()
{
    if (!neighbours_.focus)
        return;
    isTrackingFocus_ = true;
    neighbours_.focus->startTracking([this](const FocusRestorationTarget &target) {
        if (state_ == SessionState::Idle)
            return;
        focusRestorationTarget_ = target;
        log(u"Updated focus restoration target pid=" + QString::number(target.appPID));
    });
}

void AnnotationSession::beginWithDraw(QPointF point)
{
    if (state_ != SessionState::Idle)
        return;
    begin(false);
    scheduleDeferredStroke(point);
}

// Runs once the event loop has shown the overlay, so its window has its final geometry.
void AnnotationSession::scheduleDeferredStroke(QPointF point)
{
    QTimer::singleShot(0, this, [this, point] {
        noteDrawingBegan(point);
        if (overlay_ && overlay_->canvas())
            overlay_->canvas()->beginStroke(overlay_->mapFromGlobal(point));
    });
}

void AnnotationSession::noteDrawingBegan(QPointF screenPoint)
{
    if (activeScreen_)
        return;
    std::optional<ScreenInfo> screen = screenContaining(screenPoint);
    if (!screen && neighbours_.screens) {
        screen = neighbours_.screens->mainScreen();
        if (!screen && !neighbours_.screens->screens().isEmpty())
            screen = neighbours_.screens->screens().first();
    }
    activeScreen_ = screen;
    log(u"Locked active screen to " + describe(activeScreen_) + u" for point=" +
        QString::number(qint64(screenPoint.x())) + u',' + QString::number(qint64(screenPoint.y())));
}

void AnnotationSession::continueDraw(QPointF point)
{
    if (state_ != SessionState::Drawing || !overlay_ || !overlay_->canvas())
        return;
    overlay_->canvas()->extendStroke(overlay_->mapFromGlobal(point));
}

void AnnotationSession::endMiddleDraw()
{
    if (state_ != SessionState::Drawing || !overlay_ || !overlay_->canvas())
        return;
    if (overlay_->canvas()->endStroke() && (!settings_ || settings_->submitMode() == SubmitMode::SingleStroke))
        advanceToQuery();
}

QImage AnnotationSession::strokesImage() const
{
    OverlayCanvas *canvas = overlay_ ? overlay_->canvas() : nullptr;
    if (!canvas)
        return QImage();
    if (!activeScreen_)
        return canvas->renderToImage(std::nullopt);
    // The canvas's origin is the union's origin.
    const QRect unionRect = overlay_->unionRect();
    const QRect &frame = activeScreen_->frame;
    return canvas->renderToImage(
        QRectF(frame.x() - unionRect.x(), frame.y() - unionRect.y(), frame.width(), frame.height()));
}

void AnnotationSession::advanceToQuery()
{
    if (state_ != SessionState::Drawing)
        return;
    if (isAdditionalCapture_) {
        completeAdditionalCapture();
        return;
    }
    setState(SessionState::Querying);
    log(u"Advancing from drawing to query panel screen=" + describe(activeScreen_));
    if (!overlay_)
        return;

    const std::optional<quint32> display = displayID(activeScreen_);
    const QImage strokes = strokesImage();
    overlay_->hideToolbar();
    if (neighbours_.windows) {
        queryPanel_ = neighbours_.windows->createQueryPanel(*this, activeScreen_);
        if (queryPanel_)
            queryPanel_->show();
    }
    startCapture(CaptureKind::Initial, display, strokes);
}

void AnnotationSession::setAwaitingAdditionalDraw(bool flag)
{
    if (state_ != SessionState::Querying && !isAwaitingAdditionalDraw_)
        return;
    if (flag && state_ != SessionState::Querying)
        return;
    setAwaitingDraw(flag);
}

void AnnotationSession::beginAdditionalCapture(bool showToolbar)
{
    if (state_ != SessionState::Querying || !queryPanel_ || overlay_) {
        log(u"beginAdditionalCapture ignored state=" + caseName(state_) + u" hasPanel=" + flag(bool(queryPanel_)) +
            u" hasOverlay=" + flag(bool(overlay_)));
        return;
    }
    log(QStringLiteral("Begin additional capture"));
    setAdditionalCapture(true);
    setAwaitingDraw(false);
    activeScreen_.reset();
    setState(SessionState::Drawing);
    if (neighbours_.windows) {
        overlay_ = neighbours_.windows->createOverlay(*this, showToolbar);
        if (overlay_)
            overlay_->show();
    }
}

void AnnotationSession::beginAdditionalCaptureWithDraw(QPointF point)
{
    const bool refused = state_ != SessionState::Querying || !queryPanel_ || overlay_;
    beginAdditionalCapture(false);
    // A refused capture gets no stroke: it would land on whatever overlay is up and never be ended.
    if (!refused)
        scheduleDeferredStroke(point);
}

void AnnotationSession::completeAdditionalCapture()
{
    if (!overlay_) {
        setAdditionalCapture(false);
        setState(SessionState::Querying);
        return;
    }
    const std::optional<quint32> display = displayID(activeScreen_);
    const QImage strokes = strokesImage();
    closeOverlay();
    setAdditionalCapture(false);
    setState(SessionState::Querying);
    bringPanelBack();
    startCapture(CaptureKind::Additional, display, strokes);
}

void AnnotationSession::cancelAdditionalCapture()
{
    log(QStringLiteral("Cancel additional capture"));
    closeOverlay();
    setAdditionalCapture(false);
    activeScreen_.reset();
    setState(SessionState::Querying);
    bringPanelBack();
}

void AnnotationSession::bringPanelBack()
{
    if (!queryPanel_)
        return;
    queryPanel_->bringToFront();
    queryPanel_->focusInput();
}

void AnnotationSession::closeOverlay()
{
    std::unique_ptr<Overlay> overlay = std::move(overlay_);
    if (overlay)
        overlay->close();
}

void AnnotationSession::removeAttachmentMessage(QUuid id)
{
    QList<ChatMessage> remaining = chatMessages_;
    if (remaining.removeIf([&](const ChatMessage &m) { return m.id == id; }) == 0)
        return;
    setChatMessages(std::move(remaining));

    if (initialCaptureMessageID_ == id) {
        initialCaptureMessageID_.reset();
        capturedImage_.reset();
        cancelCaptureTask();
        setPreparingCapture(false);
        log(QStringLiteral("Initial capture attachment removed by user"));
    } else if (pendingAdditionalMessageID_ == id) {
        pendingAdditionalMessageID_.reset();
        pendingAdditionalImageData_.reset();
        log(QStringLiteral("Additional capture attachment removed by user"));
    }
}

void AnnotationSession::cancel()
{
    if (isAdditionalCapture_) {
        cancelAdditionalCapture();
        return;
    }
    const std::optional<FocusRestorationTarget> target = std::exchange(focusRestorationTarget_, std::nullopt);
    if (isTrackingFocus_ && neighbours_.focus)
        neighbours_.focus->stopTracking();
    isTrackingFocus_ = false;
    sessionRevision_ = QUuid::createUuid();

    cancelCaptureTask();
    cancelStreamingTask();
    closeOverlay();
    if (std::unique_ptr<QueryPanel> panel = std::move(queryPanel_))
        panel->close();

    capturedImage_.reset();
    activeScreen_.reset();
    llmConversationPrefix_.clear();
    llmConversationHistory_.clear();
    setStreamedResponse(QString());
    setChatMessages({});
    pendingAdditionalImageData_.reset();
    initialCaptureMessageID_.reset();
    pendingAdditionalMessageID_.reset();
    if (neighbours_.providers)
        neighbours_.providers->forgetPreparedImages();
    setPreparingCapture(false);
    setState(SessionState::Idle);
    log(QStringLiteral("Session cancelled and state reset"));

    if (target && neighbours_.focus) {
        FocusTracker *focus = neighbours_.focus;
        QTimer::singleShot(focusRestoreDelayMs, this, [focus, target = *target] { focus->restore(target); });
    }
}

// --- captures ---------------------------------------------------------------------------------------

void AnnotationSession::startCapture(CaptureKind kind, std::optional<quint32> display, const QImage &strokes)
{
    setPreparingCapture(true);
    cancelCaptureTask();
    const quint64 serial = nextCaptureSerial_++;
    const QUuid revision = sessionRevision_;
    QFuture<CaptureResult> future =
        neighbours_.capturer
            ? neighbours_.capturer->captureWithAnnotations(display, strokes)
            : QtFuture::makeReadyFuture(CaptureResult{{}, QStringLiteral("No screen capture service is available")});
    captureTask_ = CaptureTask{serial, future};
    auto *watcher = new QFutureWatcher<CaptureResult>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, serial, kind, revision] {
        watcher->deleteLater();
        captureEnded(serial, kind, revision, watcher->future());
    });
    watcher->setFuture(future);
}

void AnnotationSession::cancelCaptureTask()
{
    if (std::optional<CaptureTask> task = std::exchange(captureTask_, std::nullopt))
        task->future.cancel();
}

void AnnotationSession::captureEnded(quint64 serial, CaptureKind kind, const QUuid &revision,
                                     const QFuture<CaptureResult> &future)
{
    const bool live = revision == sessionRevision_;
    // A capture that was cancelled or replaced leaves the state to whoever replaced it.
    const bool current = live && captureTask_ && captureTask_->serial == serial;
    const bool initial = kind == CaptureKind::Initial;
    std::optional<QByteArray> value;

    if (future.isCanceled()) {
        if (current) {
            captureTask_.reset();
            setPreparingCapture(false);
        }
        if (live)
            log(initial ? QStringLiteral("Screenshot capture cancelled")
                        : QStringLiteral("Additional capture cancelled"));
    } else {
        const CaptureResult result = future.resultCount() > 0
                                         ? future.result()
                                         : CaptureResult{{}, QStringLiteral("The capture produced no image")};
        if (current) {
            captureTask_.reset();
            setPreparingCapture(false);
            if (result.errorDescription) {
                if (initial) {
                    log(u"Capture failed error=" + *result.errorDescription);
                    capturedImage_.reset();
                } else {
                    log(u"Additional capture failed error=" + *result.errorDescription);
                }
            } else if (initial) {
                value = result.imageData;
                capturedImage_ = result.imageData;
                ChatMessage message = captureMessage(result.imageData);
                initialCaptureMessageID_ = message.id;
                appendChatMessage(std::move(message));
                log(u"Screenshot captured bytes=" + QString::number(result.imageData.size()));
            } else {
                value = result.imageData;
                if (pendingAdditionalImageData_)
                    log(QStringLiteral("Additional capture overwrote a prior pending image — only the latest will be "
                                       "sent to the LLM"));
                pendingAdditionalImageData_ = result.imageData;
                ChatMessage message = captureMessage(result.imageData);
                pendingAdditionalMessageID_ = message.id;
                appendChatMessage(std::move(message));
                log(u"Additional capture complete bytes=" + QString::number(result.imageData.size()));
            }
        }
    }

    // While the question is typed, the picture can be made ready for the provider.
    if (value && settings_ && neighbours_.providers)
        neighbours_.providers->prepareImage(settings_->selectedProvider(), *value);

    if (streamingTask_ && streamingTask_->awaitedCapture == serial) {
        std::shared_ptr<Submission> submission = streamingTask_;
        submission->awaitedCapture.reset();
        performSubmit(submission, value);
    }
}

// --- questions and answers --------------------------------------------------------------------------

QUuid AnnotationSession::appendPendingUserMessage(const QString &text)
{
    ChatMessage message;
    message.role = ChatMessageRole::User;
    message.text = text;
    message.isStreaming = true;
    const QUuid id = message.id;
    appendChatMessage(std::move(message));
    return id;
}

void AnnotationSession::replaceChatMessage(QUuid id, const QString &text, bool isStreaming)
{
    for (ChatMessage &message : chatMessages_) {
        if (message.id == id) {
            message.text = text;
            message.isStreaming = isStreaming;
            Q_EMIT chatMessageUpdated(id);
            return;
        }
    }
}

void AnnotationSession::appendToAssistantMessage(const QUuid &id, const QString &token)
{
    for (ChatMessage &message : chatMessages_) {
        if (message.id == id) {
            message.text += token;
            Q_EMIT chatMessageUpdated(id);
            return;
        }
    }
}

void AnnotationSession::submit(const QString &query, const std::optional<QUuid> &existingUserMessageID)
{
    if (state_ != SessionState::Querying || !settings_)
        return;
    setState(SessionState::Streaming);
    closeOverlay();

    auto submission = std::make_shared<Submission>();
    submission->query = query;
    submission->existingUserMessageID = existingUserMessageID;
    submission->provider = settings_->selectedProvider();
    submission->choice = ProviderChoice::fromSettings(*settings_, submission->provider);
    submission->systemPrompt = settings_->effectiveSystemPrompt();
    submission->revision = sessionRevision_;

    cancelStreamingTask();
    streamingTask_ = submission;
    // The key is read off the main thread (a locked keyring may prompt for a while); then the question
    // waits for a running capture.
    settings_->keychainReadLater(submission->choice.keyAccount).then(this, [this, submission](const StoredSecret &key) {
        if (submission->cancelled)
            return;
        submission->key = key;
        if (captureTask_)
            submission->awaitedCapture = captureTask_->serial;
        else
            performSubmit(submission, capturedImage_);
    });
}

void AnnotationSession::cancelStreamingTask()
{
    std::shared_ptr<Submission> submission = std::exchange(streamingTask_, nullptr);
    if (!submission)
        return;
    submission->cancelled = true;
    if (submission->stream)
        submission->stream->disconnect(this);
}

void AnnotationSession::performSubmit(const std::shared_ptr<Submission> &s, std::optional<QByteArray> image)
{
    if (s->revision != sessionRevision_ || s->cancelled)
        return;

    const ProviderChoice &choice = s->choice;
    log(u"Submitting query provider=" + s->provider + u" model=" + choice.config.model + u" queryLength=" +
        QString::number(s->query.size()) + u" systemPromptLength=" + QString::number(s->systemPrompt.size()) +
        u" screenshotBytes=" + QString::number(image ? image->size() : 0));

    if (!s->key.isKnown() && choice.keyRequired) {
        // Not the same as no key: telling the user to add one would be wrong.
        finishSubmissionWithError(u"Error: " + s->key.problem() + u" Unlock it and ask again.", s->revision);
        log(u"API key unreadable error=" + s->key.problem());
        endSubmission(s);
        return;
    }
    if ((choice.keyRequired && !s->key.isSet()) || !neighbours_.providers) {
        finishSubmissionWithError(choice.missingKeyNotice(), s->revision);
        log(choice.missingKeyLog());
        endSubmission(s);
        return;
    }
    LLMProviderConfig config = choice.config;
    config.apiKey = s->key.isSet() ? s->key.value : QString();
    s->llm = neighbours_.providers->create(config);
    s->isFirstTurn = llmConversationPrefix_.isEmpty();

    QUuid questionID;
    if (s->existingUserMessageID) {
        questionID = *s->existingUserMessageID;
        replaceChatMessage(questionID, s->query, false);
    } else {
        ChatMessage question;
        question.role = ChatMessageRole::User;
        question.text = s->query;
        questionID = question.id;
        appendChatMessage(std::move(question));
    }
    ChatMessage answer;
    answer.role = ChatMessageRole::Assistant;
    answer.isStreaming = true;
    s->answerID = answer.id;
    appendChatMessage(std::move(answer));
    log(u"Created chat transcript userMessageID=" + canonical(questionID) + u" assistantMessageID=" +
        canonical(s->answerID));

    std::optional<QByteArray> pending = std::exchange(pendingAdditionalImageData_, std::nullopt);
    pendingAdditionalMessageID_.reset();

    LLMConversation messages;
    if (s->isFirstTurn) {
        initialCaptureMessageID_.reset();
        s->turn = LLMMessage{LLMMessage::Role::User, s->query, pending ? pending : image};
        llmConversationPrefix_ = {s->turn};
        messages = llmConversationPrefix_;
    } else {
        s->turn = LLMMessage{LLMMessage::Role::User, s->query, pending};
        messages = llmConversationPrefix_ + llmConversationHistory_;
        messages.append(s->turn);
    }

    setStreamedResponse(QString());
    log(u"Streaming task started provider=" + s->llm->id() + u" prefixMessages=" +
        QString::number(llmConversationPrefix_.size()) + u" historyMessages=" +
        QString::number(llmConversationHistory_.size()) + u" messages=" + QString::number(messages.size()) +
        u" isFirstTurn=" + flag(s->isFirstTurn));

    s->stream = s->llm->stream(messages, s->systemPrompt);
    LLMAnswerStream *stream = s->stream.get();
    connect(stream, &LLMAnswerStream::fragmentReceived, this, [this, s](const QString &fragment) {
        if (s->revision != sessionRevision_ || s->cancelled) {
            endSubmission(s);
            return;
        }
        setStreamedResponse(streamedResponse_ + fragment);
        appendToAssistantMessage(s->answerID, fragment);
    });
    connect(stream, &LLMAnswerStream::finished, this, [this, s] { streamFinished(s); });
    connect(stream, &LLMAnswerStream::failed, this,
            [this, s](const LLMStreamError &error) { streamFailed(s, error.description, error.cancelled); });
}

void AnnotationSession::streamFinished(const std::shared_ptr<Submission> &s)
{
    if (s->revision == sessionRevision_ && !s->cancelled) {
        replaceChatMessage(s->answerID, streamedResponse_, false);
        if (!s->isFirstTurn)
            llmConversationHistory_.append(s->turn);
        llmConversationHistory_.append(LLMMessage{LLMMessage::Role::Assistant, streamedResponse_, std::nullopt});
        setState(SessionState::Querying);
        log(u"Streaming task completed responseLength=" + QString::number(streamedResponse_.size()));
    }
    endSubmission(s);
}

void AnnotationSession::streamFailed(const std::shared_ptr<Submission> &s, const QString &description, bool cancelled)
{
    // A stream that reports cancellation while its submission is still current was not cancelled by us
    // (the network gave up); it is a failure like any other, or the panel would wait forever.
    const bool current = s->revision == sessionRevision_ && !s->cancelled;
    if (cancelled && !current) {
        log(QStringLiteral("Streaming task cancelled"));
    } else if (current) {
        QString text = streamedResponse_;
        if (!text.isEmpty())
            text += u"\n\n";
        text += u"[Error: " + description + u']';
        setStreamedResponse(text);
        replaceChatMessage(s->answerID, text, false);
        setState(SessionState::Querying);
        log(u"Streaming task failed error=" + description);
    }
    endSubmission(s);
}

void AnnotationSession::finishSubmissionWithError(const QString &text, const QUuid &revision)
{
    if (revision != sessionRevision_)
        return;
    setStreamedResponse(text);
    ChatMessage notice;
    notice.role = ChatMessageRole::Assistant;
    notice.text = text;
    appendChatMessage(std::move(notice));
    setState(SessionState::Querying);
}

// The submission is over: stop listening and, while it is still the current one, let it go.
void AnnotationSession::endSubmission(const std::shared_ptr<Submission> &s)
{
    if (s->stream)
        s->stream->disconnect(this);
    if (s->revision == sessionRevision_ && streamingTask_ == s)
        streamingTask_.reset();
}

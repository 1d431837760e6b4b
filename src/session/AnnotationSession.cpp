#include "session/AnnotationSession.h"

#include "log/DebugLog.h"
#include "settings/SettingsManager.h"

#include <QTimer>

namespace {

constexpr int focusRestoreDelayMs = 200;

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("Session"), message);
}

QString flag(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

AnnotationSession::AnnotationSession(SessionNeighbours neighbours, QObject *parent)
    : QObject(parent)
    , neighbours_(neighbours)
    , captures_(neighbours.capturer, transcript_, sessionRevision_)
    , conversation_(neighbours.providers, transcript_, captures_, sessionRevision_)
{
    connect(&transcript_, &ChatTranscript::changed, this, &AnnotationSession::chatMessagesChanged);
    connect(&transcript_, &ChatTranscript::messageUpdated, this, &AnnotationSession::chatMessageUpdated);
    connect(&captures_, &SessionCaptures::isPreparingChanged, this, &AnnotationSession::isPreparingCaptureChanged);
    connect(&captures_, &SessionCaptures::ended, this, &AnnotationSession::captureEnded);
    connect(&conversation_, &SessionConversation::streamedResponseChanged, this,
            &AnnotationSession::streamedResponseChanged);
    connect(&conversation_, &SessionConversation::answerEnded, this, [this] { setState(SessionState::Querying); });
}

AnnotationSession::~AnnotationSession()
{
    stopWork();
    if (isTrackingFocus_ && neighbours_.focus)
        neighbours_.focus->stopTracking();
}

void AnnotationSession::stopWork()
{
    captures_.cancelTask();
    conversation_.cancel();
}

// The screen, the transcript, the captures and the conversation of the session that ended.
void AnnotationSession::forgetSession()
{
    activeScreen_.reset();
    conversation_.reset();
    transcript_.clear();
    captures_.reset();
}

// --- published properties ---------------------------------------------------------------------------

void AnnotationSession::setState(SessionState state)
{
    if (state_ == state)
        return;
    state_ = state;
    Q_EMIT stateChanged();
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
    forgetSession();

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
    captures_.start(SessionCaptures::Kind::Initial, display, strokes);
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
    captures_.start(SessionCaptures::Kind::Additional, display, strokes);
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
    if (transcript_.remove(id))
        captures_.forgetAttachment(id);
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

    stopWork();
    closeOverlay();
    if (std::unique_ptr<QueryPanel> panel = std::move(queryPanel_))
        panel->close();

    if (neighbours_.providers)
        neighbours_.providers->forgetPreparedImages();
    forgetSession();
    setState(SessionState::Idle);
    log(QStringLiteral("Session cancelled and state reset"));

    if (target && neighbours_.focus) {
        FocusTracker *focus = neighbours_.focus;
        QTimer::singleShot(focusRestoreDelayMs, this, [focus, target = *target] { focus->restore(target); });
    }
}

// --- captures and questions ---------------------------------------------------------------------------

void AnnotationSession::captureEnded(quint64 serial, const std::optional<QByteArray> &image)
{
    // While the question is typed, the picture can be made ready for the provider.
    if (image && settings_ && neighbours_.providers)
        neighbours_.providers->prepareImage(settings_->selectedProvider(), *image);
    conversation_.captureEnded(serial, image);
}

QUuid AnnotationSession::appendPendingUserMessage(const QString &text)
{
    return transcript_.append(ChatMessageRole::User, text, true);
}

void AnnotationSession::replaceChatMessage(QUuid id, const QString &text, bool isStreaming)
{
    transcript_.replace(id, text, isStreaming);
}

void AnnotationSession::submit(const QString &query, const std::optional<QUuid> &existingUserMessageID)
{
    if (state_ != SessionState::Querying || !settings_)
        return;
    setState(SessionState::Streaming);
    closeOverlay();
    conversation_.submit(query, existingUserMessageID, *settings_);
}

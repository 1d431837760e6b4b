#include "panel/QueryPanelController.h"

#include "log/DebugLog.h"
#include "panel/QueryInputTextView.h"
#include "panel/QueryPanelContentView.h"
#include "panel/WindowPlacement.h"
#include "session/AnnotationSession.h"
#include "settings/SettingsManager.h"
#include "voice/TranscriptionServiceFactory.h"

#include <QApplication>
#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int showDurationMs = 260;
constexpr int closeDurationMs = 150;
constexpr int resizeDurationMs = 320;
constexpr int snapshotDelayMs = 60;
// The content shows by then, placed or not. Generous: under load a compositor may take a while, and content
// shown before the panel is in its place flashes where the compositor put the window first.
constexpr int placementTimeoutMs = 2000;

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("QueryPanel"), message);
}

// Coordinates as "0.0", "1920.0" or "12.5".
QString coordinate(qreal value)
{
    return value == std::trunc(value) ? QString::number(qint64(value)) + u".0" : QString::number(value);
}

QString describe(const QRect &rect)
{
    return u'(' + coordinate(rect.x()) + u", " + coordinate(rect.y()) + u", " + coordinate(rect.width()) + u", " +
           coordinate(rect.height()) + u')';
}

QEasingCurve cubicBezier(QPointF c1, QPointF c2)
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(c1, c2, QPointF(1, 1));
    return curve;
}

QEasingCurve easeOut()
{
    return cubicBezier(QPointF(0, 0), QPointF(0.58, 1));
}

// The panel window: frameless, on top of the overlay and its toolbar, draggable by any part that is
// not a control. Escape anywhere in it cancels the session.
class QueryInputPanel : public QWidget {
public:
    static constexpr qreal cornerRadius = 18; // the content's card

    std::function<void()> onEscape;
    bool cornersMasked = false;

    void updateMask()
    {
        if (!cornersMasked) {
            clearMask();
            return;
        }
        QPainterPath card;
        card.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        setMask(QRegion(card.toFillPolygon().toPolygon()));
    }

    QueryInputPanel()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("queryPanel"));
        setWindowTitle(QStringLiteral("Glint"));
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_DeleteOnClose, false);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape) {
            if (onEscape)
                onEscape();
            return;
        }
        QWidget::keyPressEvent(event);
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton)
            return QWidget::mousePressEvent(event);
        pressedAt_ = event->globalPosition().toPoint();
    }

    // A move starts once the pointer is dragged: a window manager's move begun by a mere click can outlast
    // it, and then takes the next key for itself, Escape included.
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!pressedAt_ || !(event->buttons() & Qt::LeftButton))
            return;
        const QPoint pointer = event->globalPosition().toPoint();
        if (!dragOffset_) {
            if ((pointer - *pressedAt_).manhattanLength() < QApplication::startDragDistance())
                return;
            // The window manager moves it when it can; otherwise follow the pointer ourselves.
            if (windowHandle() && windowHandle()->startSystemMove()) {
                pressedAt_.reset();
                return;
            }
            dragOffset_ = *pressedAt_ - pos();
        }
        move(pointer - *dragOffset_);
    }

    void mouseReleaseEvent(QMouseEvent *) override
    {
        pressedAt_.reset();
        dragOffset_.reset();
    }

    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        if (cornersMasked)
            updateMask();
    }

private:
    std::optional<QPoint> pressedAt_;
    std::optional<QPoint> dragOffset_;
};

} // namespace

QueryPanelController::QueryPanelController(AnnotationSession &session, const std::optional<ScreenInfo> &screen,
                                           PanelServices services, std::function<void()> openSettings)
    : session_(session)
{
    QScreen *target = screenFor(screen);
    const QRect visible = target ? target->availableGeometry() : QRect();
    const QPoint origin = panelOrigin(visible);
    logPlacement(target, origin);

    auto *panel = new QueryInputPanel;
    window_ = panel;
    if (target)
        panel->setScreen(target);
    panel->setGeometry(QRect(origin, QSize(panelWidth, initialHeight)));
    QPointer<AnnotationSession> weakSession(&session);
    panel->onEscape = [weakSession] {
        if (!weakSession)
            return;
        log(QStringLiteral("Escape pressed — cancelling session"));
        weakSession->cancel();
    };

    contentView_ = new QueryPanelContentView(session, services.models);
    if (SettingsManager *settings = session.settings(); settings && services.transcription) {
        // The microphone appears once the service is ready.
        services.transcription->create(*settings, this,
                                       [this](std::unique_ptr<TranscriptionService> service, const QString &missing) {
                                           if (!contentView_)
                                               return;
                                           transcriptionService_ = std::move(service);
                                           contentView_->setTranscriptionService(transcriptionService_.get(), missing);
                                       });
    }
    auto *layout = new QVBoxLayout(panel);
    // The panel's height is animated, never dictated by the content's minimum.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(contentView_);

    connect(contentView_, &QueryPanelContentView::heightChanged, this, &QueryPanelController::animatePanel);
    if (openSettings)
        connect(contentView_, &QueryPanelContentView::settingsRequested, this, std::move(openSettings));
    animatePanel(contentView_->reportedHeight());

    snapshots_ = std::make_unique<PanelSnapshots>(panel);
    if (snapshots_->isEnabled()) {
        connect(&session, &AnnotationSession::stateChanged, this, [this] {
            QTimer::singleShot(snapshotDelayMs, this, [this] {
                if (contentView_)
                    contentView_->flushPendingUpdates();
                snapshots_->save(caseName(session_.state()));
            });
        });
    }
}

QueryPanelController::~QueryPanelController()
{
    // A closing panel finishes its fade and deletes itself; any other goes with its controller.
    if (window_ && !closing_)
        window_->deleteLater();
}

QScreen *QueryPanelController::screenFor(const std::optional<ScreenInfo> &screen)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screen) {
        for (QScreen *candidate : screens)
            if (candidate->geometry() == screen->frame)
                return candidate;
        if (QScreen *containing = QGuiApplication::screenAt(screen->frame.center()))
            return containing;
    }
    if (QScreen *primary = QGuiApplication::primaryScreen())
        return primary;
    return screens.isEmpty() ? nullptr : screens.first();
}

QPoint QueryPanelController::panelOrigin(const QRect &visibleFrame)
{
    const int x = visibleFrame.x() + visibleFrame.width() / 2 - panelWidth / 2;
    const int bottom = visibleFrame.y() + visibleFrame.height() - bottomGap;
    return QPoint(x, bottom - initialHeight);
}

int QueryPanelController::clampedHeight(int requested)
{
    return qBound(minimumHeight, requested, maximumHeight);
}

void QueryPanelController::logPlacement(QScreen *screen, QPoint origin)
{
    const QRect frame = screen ? screen->geometry() : QRect();
    const QRect visible = screen ? screen->availableGeometry() : QRect();
    const int panelBottom = origin.y() + initialHeight;
    const int dockTop = visible.y() + visible.height();
    log(u"screen=" + describe(frame) + u" visibleFrame=" + describe(visible));
    log(u"panel origin=(" + QString::number(origin.x()) + u", " + QString::number(origin.y()) + u") size=" +
        QString::number(panelWidth) + u'x' + QString::number(initialHeight));
    log(u"dock clearance: panelBottom=" + QString::number(panelBottom) + u" dockTop=" + QString::number(dockTop) +
        u" gap=" + QString::number(dockTop - panelBottom) + u"pt");
}

// --- showing and closing ------------------------------------------------------------------------------

void QueryPanelController::show()
{
    if (!window_ || closing_)
        return;
    const QRect rest = restingFrame();
    window_->move(rest.topLeft() + QPoint(0, slideDistance));
    window_->setWindowOpacity(0);
    window_->show();
    window_->raise();
    window_->activateWindow();

    slide_ = new QPropertyAnimation(window_, "pos", window_);
    slide_->setDuration(showDurationMs);
    slide_->setEasingCurve(easeOut());
    slide_->setStartValue(window_->pos());
    slide_->setEndValue(rest.topLeft());
    slide_->start(QAbstractAnimation::DeleteWhenStopped);

    if (!placement_ && window_->isWindow()) {
        fadeIn(window_, "windowOpacity");
        return;
    }
    // The compositor shows the panel where it likes first: its content stays clear until the panel is in
    // its place, then fades in (the compositor knows no window opacity). So does a panel that is part of
    // another window, which has an opacity of its own.
    auto *clear = new QGraphicsOpacityEffect(contentView_);
    clear->setOpacity(0);
    contentView_->setGraphicsEffect(clear);
    const auto reveal = [this, effect = QPointer<QGraphicsOpacityEffect>(clear)] {
        if (effect && !std::exchange(revealed_, true) && !closing_)
            fadeIn(effect, "opacity");
    };
    if (!placement_) {
        reveal();
        focusInput();
        return;
    }
    placement_->place(rest, reveal);
    placement_->activate();
    QTimer::singleShot(placementTimeoutMs, this, reveal);
}

void QueryPanelController::fadeIn(QObject *target, const QByteArray &property)
{
    auto *fade = new QPropertyAnimation(target, property, target);
    fade->setDuration(showDurationMs);
    fade->setEasingCurve(easeOut());
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    connect(fade, &QPropertyAnimation::finished, this, [this] {
        if (closing_)
            return;
        // An effect renders the whole content for every change: it goes once it is no longer needed.
        if (contentView_)
            contentView_->setGraphicsEffect(nullptr);
        bringToFront();
        focusInput();
        snapshots_->save(QStringLiteral("shown"));
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void QueryPanelController::close()
{
    if (!window_ || closing_)
        return;
    closing_ = true;
    QWidget *panel = window_;
    if (slide_)
        slide_->stop();
    if (resize_)
        resize_->stop();
    // Parented to the panel: the fade finishes even once this controller is gone.
    auto *fade = new QPropertyAnimation(panel, "windowOpacity", panel);
    fade->setDuration(closeDurationMs);
    fade->setStartValue(panel->windowOpacity());
    fade->setEndValue(0.0);
    connect(fade, &QPropertyAnimation::finished, panel, [panel] {
        panel->hide();
        panel->deleteLater();
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void QueryPanelController::bringToFront()
{
    if (!window_ || closing_)
        return;
    if (!window_->isVisible())
        window_->show();
    window_->raise();
    window_->activateWindow();
    if (placement_)
        placement_->activate();
}

void QueryPanelController::setPlacement(std::unique_ptr<WindowPlacement> placement)
{
    placement_ = std::move(placement);
}

void QueryPanelController::setCornersMasked(bool masked)
{
    if (auto *panel = static_cast<QueryInputPanel *>(window_.data())) {
        // Without a compositor an alpha channel buys nothing, and such windows show black where the
        // mask cuts them: an opaque window lets the overlay below show through its corners.
        if (!panel->testAttribute(Qt::WA_WState_Created))
            panel->setAttribute(Qt::WA_TranslucentBackground, !masked);
        panel->cornersMasked = masked;
        panel->updateMask();
    }
}

void QueryPanelController::focusInput()
{
    if (contentView_ && contentView_->window()->isVisible())
        contentView_->queryField()->setFocus(Qt::OtherFocusReason);
}

// --- height -------------------------------------------------------------------------------------------

// Where the panel comes to rest once running animations end.
QRect QueryPanelController::restingFrame() const
{
    if (resize_ && resize_->state() == QAbstractAnimation::Running)
        return resize_->endValue().toRect();
    if (slide_ && slide_->state() == QAbstractAnimation::Running)
        return QRect(slide_->endValue().toPoint(), window_->size());
    return window_->geometry();
}

// Keeps the bottom edge where it is (the user may have dragged the panel) and grows or shrinks the top.
void QueryPanelController::animatePanel(int height)
{
    if (!window_ || closing_)
        return;
    const int clamped = clampedHeight(height);
    const QRect rest = restingFrame();
    if (std::abs(clamped - rest.height()) <= 1)
        return;
    const QRect target(rest.x(), rest.y() + rest.height() - clamped, rest.width(), clamped);
    // A slide still running hands its remaining way over to the height animation.
    if (slide_)
        slide_->stop();
    if (resize_)
        resize_->stop();
    if (!window_->isVisible()) {
        window_->setGeometry(target);
        return;
    }
    resize_ = new QPropertyAnimation(window_, "geometry", window_);
    resize_->setDuration(resizeDurationMs);
    resize_->setEasingCurve(cubicBezier(QPointF(0.12, 0.9), QPointF(0.25, 1.0)));
    resize_->setStartValue(window_->geometry());
    resize_->setEndValue(target);
    resize_->start(QAbstractAnimation::DeleteWhenStopped);
}

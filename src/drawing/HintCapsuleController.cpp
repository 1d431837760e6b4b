#include "drawing/HintCapsuleController.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>

namespace {
constexpr int fadeInMs = 180;
constexpr int fadeOutMs = 120;

class HintCapsuleView : public QWidget {
public:
    HintCapsuleView()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                               Qt::X11BypassWindowManagerHint)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setFixedSize(HintCapsuleController::width, HintCapsuleController::height);
        // Without a compositor the translucent corners would paint black: cut them off instead.
        setMask(QRegion(rect(), QRegion::Ellipse).united(QRegion(rect().adjusted(height() / 2, 0, -height() / 2, 0))));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath capsule;
        capsule.addRoundedRect(rect(), height() / 2.0, height() / 2.0);
        painter.fillPath(capsule, QColor::fromRgbF(0.08f, 0.08f, 0.08f, 0.88f));
        QFont font = painter.font();
        font.setPixelSize(13);
        font.setWeight(QFont::Medium);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter, tr("Circle area you'd like to ask a question on"));
    }
};
} // namespace

HintCapsuleController::HintCapsuleController(QObject *parent)
    : QObject(parent)
    , window_(std::make_unique<HintCapsuleView>())
    , fade_(nullptr, "windowOpacity")
{
    fade_.setTargetObject(window_.get());
    window_->setWindowOpacity(0);
    connect(&fade_, &QPropertyAnimation::finished, this, [this] {
        if (!shown_)
            window_->hide();
    });
}

HintCapsuleController::~HintCapsuleController() = default;

QRect HintCapsuleController::frameFor(const QRect &availableGeometry)
{
    return QRect(availableGeometry.center().x() + 1 - width / 2,
                 availableGeometry.y() + availableGeometry.height() - bottomMargin - height, width, height);
}

void HintCapsuleController::show()
{
    const QPoint pointer = QCursor::pos();
    QScreen *screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen && !QGuiApplication::screens().isEmpty())
        screen = QGuiApplication::screens().first();
    if (screen)
        window_->setGeometry(frameFor(screen->availableGeometry()));
    if (shown_)
        return;
    shown_ = true;
    // A capsule still fading out turns round from where it is instead of vanishing at the end.
    const bool fadingOut = fade_.state() == QAbstractAnimation::Running;
    fade_.stop();
    if (!fadingOut)
        window_->setWindowOpacity(0);
    window_->show();
    fade_.setDuration(fadeInMs);
    fade_.setEasingCurve(QEasingCurve::OutCubic);
    fade_.setStartValue(window_->windowOpacity());
    fade_.setEndValue(1.0);
    fade_.start();
}

void HintCapsuleController::hide()
{
    if (!shown_)
        return;
    shown_ = false;
    fade_.stop();
    fade_.setDuration(fadeOutMs);
    fade_.setEasingCurve(QEasingCurve::Linear);
    fade_.setStartValue(window_->windowOpacity());
    fade_.setEndValue(0.0);
    fade_.start();
}

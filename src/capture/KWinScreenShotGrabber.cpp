#include "capture/KWinScreenShotGrabber.h"

#include "capture/SystemScreenCatalog.h"
#include "log/DebugLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

const QString KWinScreenShotGrabber::service = QStringLiteral("org.kde.KWin");
const QString KWinScreenShotGrabber::path = QStringLiteral("/org/kde/KWin/ScreenShot2");
const QString KWinScreenShotGrabber::interface = QStringLiteral("org.kde.KWin.ScreenShot2");

namespace {

const QString refusal = QStringLiteral("org.kde.KWin.ScreenShot2.Error.NoAuthorized");

struct ScreenResult {
    QImage picture;
    QString error; // the D-Bus error's name, or what was wrong with the answer
};

// One screen's picture: KWin answers the call with the picture's shape and writes its pixels into the
// pipe, which is read as they come, without blocking.
class ScreenRead : public QObject {
public:
    ScreenRead(const QScreen &screen, QObject *parent, std::function<void(ScreenResult)> done)
        : QObject(parent)
        , done_(std::move(done))
    {
        QTimer::singleShot(KWinScreenShotGrabber::timeoutMs, this, [this] {
            finish({{}, QStringLiteral("no picture in time")});
        });
        int fds[2];
        // Only this end is non-blocking: KWin writes the whole picture with blocking writes.
        if (pipe2(fds, O_CLOEXEC) != 0 || fcntl(fds[0], F_SETFL, O_NONBLOCK) != 0) {
            finish({{}, QStringLiteral("pipe failed")});
            return;
        }
        readFd_ = fds[0];
        const QDBusUnixFileDescriptor writeEnd(fds[1]); // a copy goes with the call
        ::close(fds[1]);
        notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &ScreenRead::readAvailable);

        QDBusMessage call =
            QDBusMessage::createMethodCall(KWinScreenShotGrabber::service, KWinScreenShotGrabber::path,
                                           KWinScreenShotGrabber::interface, QStringLiteral("CaptureScreen"));
        call << screen.name()
             << QVariantMap{{QStringLiteral("include-cursor"), false}, {QStringLiteral("native-resolution"), true}}
             << QVariant::fromValue(writeEnd);
        auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *answer) {
            answer->deleteLater();
            const QDBusPendingReply<QVariantMap> reply = *answer;
            if (reply.isError())
                error_ = reply.error().name();
            else
                shape_ = reply.value();
            answered_ = true;
            complete();
        });
    }

    ~ScreenRead() override
    {
        if (readFd_ >= 0)
            ::close(readFd_);
    }

private:
    void readAvailable()
    {
        char buffer[1 << 16];
        for (;;) {
            const ssize_t got = ::read(readFd_, buffer, sizeof buffer);
            if (got > 0 && pixels_.size() + got <= KWinScreenShotGrabber::maximumBytes) {
                pixels_.append(buffer, got);
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 && errno == EAGAIN)
                return;
            // The end, a broken pipe or far too much: nothing more is read.
            if (got != 0)
                error_ = QStringLiteral("the picture could not be read");
            notifier_->setEnabled(false);
            ended_ = true;
            complete();
            return;
        }
    }

    void complete()
    {
        // A refusal closes the pipe without writing into it.
        if (!answered_ || (!ended_ && error_.isEmpty()))
            return;
        finish(error_.isEmpty() ? picture() : ScreenResult{{}, error_});
    }

    ScreenResult picture() const
    {
        const int width = shape_.value(QStringLiteral("width")).toInt();
        const int height = shape_.value(QStringLiteral("height")).toInt();
        const qsizetype stride = shape_.value(QStringLiteral("stride")).toLongLong();
        const int format = shape_.value(QStringLiteral("format")).toInt();
        if (shape_.value(QStringLiteral("type")).toString() != u"raw" || width <= 0 || height <= 0 ||
            format <= QImage::Format_Invalid || format >= QImage::NImageFormats)
            return {{}, QStringLiteral("an unknown picture shape")};
        const QImage::Format pixelFormat = QImage::Format(format);
        if (stride < qsizetype(width) * QImage::toPixelFormat(pixelFormat).bitsPerPixel() / 8 ||
            pixels_.size() < stride * height)
            return {{}, QStringLiteral("a picture shorter than its shape")};
        const QImage view(reinterpret_cast<const uchar *>(pixels_.constData()), width, height, stride, pixelFormat);
        return {view.convertToFormat(QImage::Format_RGB32), {}};
    }

    void finish(ScreenResult result)
    {
        if (done_)
            std::exchange(done_, {})(std::move(result));
    }

    std::function<void(ScreenResult)> done_;
    int readFd_ = -1;
    QSocketNotifier *notifier_ = nullptr;
    QByteArray pixels_;
    QVariantMap shape_;
    QString error_;
    bool answered_ = false;
    bool ended_ = false;
};

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("Capture"), message);
}

} // namespace

bool KWinScreenShotGrabber::isOffered()
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << interface << QStringLiteral("Version");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get);
    return reply.type() == QDBusMessage::ReplyMessage &&
           reply.arguments().value(0).value<QDBusVariant>().variant().toUInt() > 0;
}

KWinScreenShotGrabber::KWinScreenShotGrabber(std::unique_ptr<ScreenGrabber> fallback)
    : fallback_(std::move(fallback))
{
}

KWinScreenShotGrabber::~KWinScreenShotGrabber() = default;

QString KWinScreenShotGrabber::method() const
{
    return refused_ ? fallback_->method() : QStringLiteral("kwin-screenshot2");
}

void KWinScreenShotGrabber::refuse(const QString &reason)
{
    refused_ = true;
    log(u"Screen capture refused by KWin error=" + reason + u"; using method=" + fallback_->method());
}

void KWinScreenShotGrabber::take(QObject *context, std::function<void(FrozenFrame)> done)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (refused_ || screens.isEmpty()) {
        fallback_->take(context, std::move(done));
        return;
    }
    // The reads live as long as the frame is gathered, and no longer than the one who asked.
    auto *gathering = new QObject(context);
    auto shots = std::make_shared<QList<FrozenFrame::Shot>>(screens.size());
    auto errors = std::make_shared<QStringList>();
    auto remaining = std::make_shared<qsizetype>(screens.size());
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const ScreenInfo info = SystemScreenCatalog::info(*screens[i]);
        new ScreenRead(*screens[i], gathering, [=, this](ScreenResult result) {
            if (result.error.isEmpty()) {
                result.picture.setDevicePixelRatio(qreal(result.picture.width()) / info.frame.width());
                (*shots)[i] = FrozenFrame::Shot{info, std::move(result.picture), {}};
            } else {
                errors->append(result.error);
            }
            if (--*remaining > 0)
                return;
            gathering->deleteLater();
            if (errors->isEmpty()) {
                done(FrozenFrame(std::move(*shots)));
                return;
            }
            if (errors->contains(refusal))
                refuse(refusal);
            else
                log(u"Screen capture through KWin failed error=" + errors->first() + u"; this frame through method=" +
                    fallback_->method());
            fallback_->take(context, done);
        });
    }
}

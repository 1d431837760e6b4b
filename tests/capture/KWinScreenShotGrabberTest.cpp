#include "capture/KWinScreenShotGrabber.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QtConcurrent>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// KWin's side of its screenshot interface on the test session bus, as KWin 5.27 speaks it: the reply
// carries the picture's shape, the pixels follow through the caller's pipe, which is then closed.
class FakeKWin : public QDBusVirtualObject {
public:
    enum class Answer { Pixels, Refuse, ShortPixels };
    Answer answer = Answer::Pixels;
    qreal scale = 1;
    int calls = 0;

    FakeKWin()
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-kwin")))
    {
    }
    ~FakeKWin() override
    {
        for (QFuture<void> &writer : writers_)
            writer.waitForFinished();
        bus_.unregisterObject(KWinScreenShotGrabber::path);
        bus_.unregisterService(KWinScreenShotGrabber::service);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-kwin"));
    }

    bool publish()
    {
        return bus_.registerService(KWinScreenShotGrabber::service) &&
               bus_.registerVirtualObject(KWinScreenShotGrabber::path, this);
    }

    // Each screen in a colour of its own, by its place in Qt's list.
    static QColor colourOf(int index) { return QColor::fromHsv(40 * index, 255, 255); }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        if (message.member() == u"Get") {
            bus_.send(message.createReply(QVariant::fromValue(QDBusVariant(4u))));
            return true;
        }
        if (message.member() != u"CaptureScreen")
            return false;
        ++calls;
        const QList<QScreen *> screens = QGuiApplication::screens();
        const int index = int(std::find_if(screens.begin(), screens.end(),
                                           [&](QScreen *s) { return s->name() == message.arguments().at(0); }) -
                              screens.begin());
        const int fd = ::dup(message.arguments().at(2).value<QDBusUnixFileDescriptor>().fileDescriptor());
        if (answer == Answer::Refuse || index == screens.size()) {
            ::close(fd);
            bus_.send(message.createErrorReply(QStringLiteral("org.kde.KWin.ScreenShot2.Error.NoAuthorized"),
                                               QStringLiteral("The process is not authorized to take a screenshot")));
            return true;
        }
        QImage picture((QSizeF(screens[index]->geometry().size()) * scale).toSize(),
                       QImage::Format_ARGB32_Premultiplied);
        picture.fill(colourOf(index));
        bus_.send(message.createReply(QVariant(QVariantMap{
            {QStringLiteral("type"), QStringLiteral("raw")},
            {QStringLiteral("width"), uint(picture.width())},
            {QStringLiteral("height"), uint(picture.height())},
            {QStringLiteral("stride"), uint(picture.bytesPerLine())},
            {QStringLiteral("format"), uint(picture.format())},
            {QStringLiteral("scale"), scale},
        })));
        const qsizetype length = answer == Answer::ShortPixels ? picture.sizeInBytes() / 2 : picture.sizeInBytes();
        // On a thread of its own, with blocking writes, as KWin does; the pipe holds far less than a screen.
        writers_.append(QtConcurrent::run([fd, picture, length] {
            qsizetype written = 0;
            while (written < length) {
                const ssize_t n = ::write(fd, picture.constBits() + written, size_t(length - written));
                if (n > 0)
                    written += n;
                else if (errno != EINTR)
                    break;
            }
            ::close(fd);
        }));
        return true;
    }

private:
    QDBusConnection bus_;
    QList<QFuture<void>> writers_;
};

// Stands for the desktop's portal: a frame of one grey picture per screen.
class FallbackGrabber : public ScreenGrabber {
public:
    int takes = 0;
    QString method() const override { return QStringLiteral("fallback"); }
    FrozenFrame grab() override
    {
        ++takes;
        QImage grey(16, 16, QImage::Format_RGB32);
        grey.fill(Qt::gray);
        return FrozenFrame({FrozenFrame::Shot{ScreenInfo{QRect(0, 0, 16, 16), 1}, grey, {}}});
    }
};

class KWinScreenShotGrabberTest : public ::testing::Test {
protected:
    FakeKWin kwin;
    FallbackGrabber *fallback = new FallbackGrabber;
    KWinScreenShotGrabber grabber{std::unique_ptr<ScreenGrabber>(fallback)};
    QObject context;

    void SetUp() override { ASSERT_TRUE(kwin.publish()); }

    std::optional<FrozenFrame> take()
    {
        std::optional<FrozenFrame> result;
        grabber.take(&context, [&](FrozenFrame frame) { result = std::move(frame); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
        return result;
    }
};

TEST(KWinScreenShotGrabberOfferTest, IsOfferedOnlyWhereKWinAnswers)
{
    // Asked from another thread: the stand-in answers on this one.
    const auto offered = [] {
        QFuture<bool> asked = QtConcurrent::run(&KWinScreenShotGrabber::isOffered);
        EXPECT_TRUE(QTest::qWaitFor([&] { return asked.isFinished(); }, 10000));
        return asked.result();
    };
    EXPECT_FALSE(offered());
    FakeKWin kwin;
    ASSERT_TRUE(kwin.publish());
    EXPECT_TRUE(offered());
}

// Each screen's pixels come through its pipe at the scale KWin took them; a refusal hands this frame and
// every later one to the fallback without asking KWin again; a broken picture hands over only this frame.
TEST_F(KWinScreenShotGrabberTest, ReadsEachScreenAndFallsBackWhenRefused)
{
    const qsizetype screens = QGuiApplication::screens().size();
    const struct {
        const char *name;
        FakeKWin::Answer answer;
        qreal scale;
        bool fromKWin;
        QString methodAfter;
        int kwinCalls; // by this take
    } cases[] = {
        {"pixels", FakeKWin::Answer::Pixels, 1, true, QStringLiteral("kwin-screenshot2"), int(screens)},
        {"scaled", FakeKWin::Answer::Pixels, 2, true, QStringLiteral("kwin-screenshot2"), int(screens)},
        {"short", FakeKWin::Answer::ShortPixels, 1, false, QStringLiteral("kwin-screenshot2"), int(screens)},
        {"refused", FakeKWin::Answer::Refuse, 1, false, QStringLiteral("fallback"), int(screens)},
        {"after a refusal", FakeKWin::Answer::Pixels, 1, false, QStringLiteral("fallback"), 0},
    };
    for (const auto &c : cases) {
        kwin.answer = c.answer;
        kwin.scale = c.scale;
        kwin.calls = 0;
        const int takesBefore = fallback->takes;
        const std::optional<FrozenFrame> frame = take();
        ASSERT_TRUE(frame) << c.name;
        EXPECT_EQ(kwin.calls, c.kwinCalls) << c.name;
        EXPECT_EQ(fallback->takes - takesBefore, c.fromKWin ? 0 : 1) << c.name;
        EXPECT_EQ(grabber.method(), c.methodAfter) << c.name;
        if (!c.fromKWin)
            continue;
        ASSERT_EQ(frame->shots().size(), screens) << c.name;
        for (int i = 0; i < screens; ++i) {
            const FrozenFrame::Shot &shot = frame->shots()[i];
            EXPECT_EQ(shot.screen.frame, QGuiApplication::screens()[i]->geometry()) << c.name;
            EXPECT_EQ(shot.picture.deviceIndependentSize(), QSizeF(shot.screen.frame.size())) << c.name;
            EXPECT_EQ(shot.picture.devicePixelRatio(), c.scale) << c.name;
            EXPECT_EQ(shot.picture.pixel(shot.picture.width() - 1, shot.picture.height() - 1),
                      FakeKWin::colourOf(i).rgb())
                << c.name;
        }
    }
}

} // namespace

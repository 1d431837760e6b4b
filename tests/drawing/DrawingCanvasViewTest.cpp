#include "drawing/DrawingCanvasView.h"
#include "drawing/ColorPalette.h"
#include "drawing/DrawingCanvas.h"
#include "drawing/DrawingState.h"
#include "session/SessionDoubles.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor red = ColorPalette::colors()[0];
const QColor blue = ColorPalette::colors()[4];

// The real canvas inside an overlay the session can drive, one view spanning the two fake monitors.
struct CanvasOverlay : Overlay {
    CanvasOverlay(QRect unionRect, AnnotationSession &session)
        : unionRect_(unionRect)
        , drawing(unionRect, state, session)
        , view(drawing, QPointF(0, 0))
    {
        view.setGeometry(QRect(QPoint(), unionRect.size()));
    }
    QRect unionRect_;
    DrawingState state;
    DrawingCanvas drawing;
    DrawingCanvasView view;

    void show() override {}
    void close() override {}
    QRect unionRect() const override { return unionRect_; }
    OverlayCanvas *canvas() override { return &drawing; }
    QPointF mapFromGlobal(QPointF p) const override { return p - QPointF(unionRect_.topLeft()); }
    void hideToolbar() override {}
};

struct CanvasWindows : FakeWindows {
    CanvasOverlay *overlay = nullptr;
    std::unique_ptr<Overlay> createOverlay(AnnotationSession &session, bool) override
    {
        auto made = std::make_unique<CanvasOverlay>(unionRect, session);
        overlay = made.get();
        return made;
    }
};

struct CanvasRig {
    CanvasWindows windows;
    FakeCapturer capturer;
    FakeScreens screens;
    QTemporaryDir settingsDir;
    SettingsManager settings{settingsDir.filePath(QStringLiteral("glint.conf")), std::make_unique<MemorySecrets>()};
    AnnotationSession session{SessionNeighbours{&windows, &capturer, &screens, nullptr, nullptr}};

    explicit CanvasRig(SubmitMode mode = SubmitMode::SingleStroke)
    {
        settings.setSubmitMode(mode);
        session.setSettings(&settings);
        session.begin(true);
    }
    DrawingCanvasView &view() { return windows.overlay->view; }
    const DrawingCanvas &drawing() const { return windows.overlay->drawing; }

    // A left-button drag through `points` (canvas = global coordinates here, the union starts at 0,0).
    void drag(const QList<QPoint> &points)
    {
        QTest::mousePress(&view(), Qt::LeftButton, {}, points.first());
        for (const QPoint &point : points.mid(1))
            QTest::mouseMove(&view(), point);
        QTest::mouseRelease(&view(), Qt::LeftButton, {}, points.last());
        SessionRig::settle();
    }
};

// Mostly covered by `color`; thin strokes reduced to the capture's density are partly antialiased.
bool paintedNear(const QImage &image, QPoint point, const QColor &color)
{
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const QColor c = image.pixelColor(point + QPoint(dx, dy));
            if (c.alpha() > 160 &&
                qAbs(c.red() - color.red()) + qAbs(c.green() - color.green()) + qAbs(c.blue() - color.blue()) <= 12)
                return true;
        }
    }
    return false;
}

} // namespace

TEST(DrawingCanvas, RendersOnlyCompletedStrokesOnTransparency)
{
    AnnotationSession session;
    DrawingState state;
    DrawingCanvas view(QRect(0, 0, 400, 300), state, session);

    const QImage empty = view.renderToImage(QRectF(0, 0, 200, 100));
    EXPECT_EQ(empty.size(), QSize(200, 100));
    EXPECT_EQ(empty.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(empty.pixelColor(199, 99).alpha(), 0);
    EXPECT_EQ(view.renderToImage(std::nullopt).size(), QSize(400, 300));

    view.beginStroke(QPointF(10, 50));
    view.extendStroke(QPointF(190, 50));
    const QImage unfinished = view.renderToImage(std::nullopt);
    EXPECT_FALSE(paintedNear(unfinished, QPoint(100, 50), red));

    EXPECT_TRUE(view.endStroke());
    EXPECT_TRUE(paintedNear(view.renderToImage(std::nullopt), QPoint(100, 50), red));
    EXPECT_EQ(view.renderToImage(std::nullopt).pixelColor(100, 60).alpha(), 0);
}

TEST(DrawingCanvas, AStrokeKeepsTheColourItBeganWith)
{
    AnnotationSession session;
    DrawingState state;
    DrawingCanvas view(QRect(0, 0, 400, 300), state, session);

    view.beginStroke(QPointF(10, 50));
    state.setSelectedColor(blue);
    view.extendStroke(QPointF(190, 50));
    EXPECT_TRUE(view.endStroke());
    view.beginStroke(QPointF(10, 150));
    view.extendStroke(QPointF(190, 150));
    EXPECT_FALSE(view.endStroke()) << "only the first stroke counts as the first";
    EXPECT_FALSE(view.endStroke()) << "nothing left to end";

    const QImage image = view.renderToImage(std::nullopt);
    EXPECT_TRUE(paintedNear(image, QPoint(100, 50), red));
    EXPECT_TRUE(paintedNear(image, QPoint(100, 150), blue));
}

// Monitors larger than the capture limit get their strokes at the capture's density.
TEST(DrawingCanvasView, CropsTheStrokesToTheLockedMonitor)
{
    for (const auto &[point, crop] : {std::pair(QPoint(300, 200), QRectF(0, 0, 1920, 1080)),
                                      std::pair(QPoint(2300, 700), QRectF(1920, 0, 2560, 1440))}) {
        CanvasRig rig;
        rig.drag({point, point + QPoint(100, 0), point + QPoint(100, 100)});

        ASSERT_EQ(rig.capturer.requests.size(), 1u);
        const QImage &strokes = rig.capturer.at(-1).overlay;
        EXPECT_EQ(strokes.size(), QSize(1568, int(crop.height() * 1568 / crop.width())));
        EXPECT_EQ(strokes.deviceIndependentSize().toSize(), crop.size().toSize());
        const QPointF local = point - crop.topLeft();
        const auto at = [&](QPointF offset) { return ((local + offset) * strokes.devicePixelRatio()).toPoint(); };
        EXPECT_TRUE(paintedNear(strokes, at(QPointF(50, 0)), red));
        EXPECT_TRUE(paintedNear(strokes, at(QPointF(100, 50)), red));
        EXPECT_EQ(strokes.pixelColor(at(QPointF(50, 50))).alpha(), 0);
    }
}

TEST(DrawingCanvasView, EveryDragEventBecomesASegment)
{
    CanvasRig rig(SubmitMode::ManualSubmit);
    QList<QPoint> points;
    for (int i = 0; i < 40; ++i)
        points << QPoint(100 + i, 100 + (i % 2)); // one-pixel zigzag: nothing may be smoothed away
    rig.drag(points);

    ASSERT_EQ(rig.drawing().strokes().size(), 1);
    EXPECT_EQ(rig.drawing().strokes().first().path.elementCount(), 40);
    EXPECT_EQ(rig.session.state(), SessionState::Drawing) << "manual submit never advances by itself";
}

TEST(DrawingCanvasView, TheFirstClickAdvancesOnceInSingleStrokeMode)
{
    CanvasRig rig;
    rig.drag({QPoint(500, 500)});
    EXPECT_EQ(rig.session.state(), SessionState::Querying);
    ASSERT_EQ(rig.drawing().strokes().size(), 1);
    EXPECT_EQ(rig.drawing().strokes().first().path.elementCount(), 1);

    // While querying the canvas ignores the mouse.
    rig.drag({QPoint(600, 600), QPoint(700, 700)});
    EXPECT_EQ(rig.drawing().strokes().size(), 1);
    EXPECT_EQ(rig.capturer.requests.size(), 1u);
}

#include "drawing/DrawingToolbarContentView.h"
#include "drawing/ColorPalette.h"
#include "drawing/ColorSwatchButton.h"
#include "drawing/DrawingState.h"
#include "session/SessionDoubles.h"

#include <QAbstractButton>
#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct ToolbarRig {
    SessionRig session;
    DrawingState state;
    std::unique_ptr<DrawingToolbarContentView> toolbar;

    explicit ToolbarRig(SubmitMode mode)
    {
        session.settings->setSubmitMode(mode);
        session.session->begin(true);
        toolbar = std::make_unique<DrawingToolbarContentView>(state, *session.session);
        toolbar->show();
    }

    QImage picture() const { return toolbar->grab().toImage(); }
    QColor pixelOf(QWidget *child, QPoint offset) const
    {
        return picture().pixelColor(child->geometry().topLeft() + offset);
    }
};

} // namespace

TEST(DrawingToolbarContentView, OffersDoneOnlyInManualSubmitMode)
{
    ToolbarRig single(SubmitMode::SingleStroke);
    EXPECT_EQ(single.toolbar->toolButtons().size(), 2);
    EXPECT_EQ(single.toolbar->colorButtons().size(), 7);
    EXPECT_EQ(single.toolbar->doneButton(), nullptr);
    ASSERT_NE(single.toolbar->cancelButton(), nullptr);

    ToolbarRig manual(SubmitMode::ManualSubmit);
    // The next session's toolbar shows the same pixmaps: new ones would leave keys in Qt's pixmap cache
    // for good, so memory would grow with every session.
    for (auto [tool, button] : single.toolbar->toolButtons().asKeyValueRange()) {
        const QSize size = button->iconSize();
        EXPECT_EQ(button->icon().pixmap(size).cacheKey(),
                  manual.toolbar->toolButtons()[tool]->icon().pixmap(size).cacheKey());
    }
    ASSERT_NE(manual.toolbar->doneButton(), nullptr);
    // Every button fits inside the toolbar, the done button's extra width included.
    for (QAbstractButton *button : manual.toolbar->findChildren<QAbstractButton *>())
        EXPECT_TRUE(manual.toolbar->rect().contains(button->geometry())) << button->objectName().toStdString();
}

TEST(DrawingToolbarContentView, TheRingAndTheHighlightFollowTheState)
{
    ToolbarRig rig(SubmitMode::SingleStroke);
    const QList<ColorSwatchButton *> &swatches = rig.toolbar->colorButtons();
    const QPoint ringPoint(10, 1); // on the ring, just inside the top edge
    EXPECT_EQ(rig.pixelOf(swatches[0], ringPoint), QColor(Qt::white));
    EXPECT_NE(rig.pixelOf(swatches[4], ringPoint), QColor(Qt::white));

    QTest::mouseClick(swatches[4], Qt::LeftButton);
    EXPECT_EQ(rig.state.selectedColor(), ColorPalette::colors()[4]);
    EXPECT_NE(rig.pixelOf(swatches[0], ringPoint), QColor(Qt::white));
    EXPECT_EQ(rig.pixelOf(swatches[4], ringPoint), QColor(Qt::white));

    QAbstractButton *scribble = rig.toolbar->toolButtons().value(DrawingTool::Scribble);
    QAbstractButton *text = rig.toolbar->toolButtons().value(DrawingTool::Text);
    const QPoint corner(4, 16); // inside the rounded background, clear of the symbol
    const QColor highlightedBefore = rig.pixelOf(scribble, corner);
    const QColor plainBefore = rig.pixelOf(text, corner);
    EXPECT_NE(highlightedBefore, plainBefore);

    QTest::mouseClick(text, Qt::LeftButton);
    EXPECT_EQ(rig.state.selectedTool(), DrawingTool::Text);
    EXPECT_EQ(rig.pixelOf(text, corner), highlightedBefore);
    EXPECT_EQ(rig.pixelOf(scribble, corner), plainBefore);
}

TEST(DrawingToolbarContentView, DoneAdvancesAndCancelEndsTheSession)
{
    ToolbarRig rig(SubmitMode::ManualSubmit);
    QTest::mouseClick(rig.toolbar->doneButton(), Qt::LeftButton);
    EXPECT_EQ(rig.session.session->state(), SessionState::Querying);

    QTest::mouseClick(rig.toolbar->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(rig.session.session->state(), SessionState::Idle);
}

// On a light and on a dark theme the symbols and "Done →" stand out from the toolbar's background.
TEST(DrawingToolbarContentView, ReadableOnLightAndDarkThemes)
{
    const std::pair<const char *, QPalette> themes[] = {
        {"light", QPalette(QColor(0xf0, 0xf0, 0xf0))},
        {"dark", QPalette(QColor(0x20, 0x20, 0x20))},
    };
    for (const auto &[name, palette] : themes) {
        ToolbarRig rig(SubmitMode::ManualSubmit);
        rig.toolbar->setPalette(palette);
        const QColor background = palette.color(QPalette::Window);
        QImage picture(rig.toolbar->size(), QImage::Format_RGB32);
        picture.fill(background);
        rig.toolbar->render(&picture);
        if (const QString artifacts = qEnvironmentVariable("GLINT_ARTIFACTS_DIR"); !artifacts.isEmpty()) {
            QDir().mkpath(artifacts);
            picture.save(QDir(artifacts).filePath(u"toolbar-"_qs + QLatin1String(name) + u".png"));
        }
        // The strongest contrast with the background inside each button.
        const auto contrast = [&](const QWidget *button) {
            int strongest = 0;
            const QRect area = button->geometry();
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    strongest = qMax(strongest, qAbs(picture.pixelColor(x, y).lightness() - background.lightness()));
            return strongest;
        };
        EXPECT_GT(contrast(rig.toolbar->doneButton()), 120) << name;
        EXPECT_GT(contrast(rig.toolbar->cancelButton()), 120) << name;
        EXPECT_GT(contrast(rig.toolbar->toolButtons().value(DrawingTool::Text)), 120) << name;
    }
}

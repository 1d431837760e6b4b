#include "WaylandE2EFixture.h"
#include "support/FakeDesktopPortal.h"
#include "support/WaylandPointer.h"

namespace {

// Glint as a native client of the headless two-output Sway session that scripts/test starts.
class WaylandE2ETest : public WaylandE2EFixture {
protected:
    QByteArray waylandDisplay = qgetenv("GLINT_TEST_WAYLAND_DISPLAY");
    QProcess keyboard;

    void SetUp() override
    {
        WaylandE2EFixture::SetUp();
        if (waylandDisplay.isEmpty())
            GTEST_SKIP() << "no Wayland session (GLINT_TEST_WAYLAND_DISPLAY)";
        // The tools of this process (grim, wtype, the pointer) talk to the same session.
        enterSession(waylandDisplay);
    }

    // A keyboard on the seat for the whole test, plugged in before Glint starts. Each wtype call brings a
    // keyboard of its own, which would be gone before Glint could bind it.
    bool plugKeyboard()
    {
        keyboard.start(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("120000")});
        return keyboard.waitForStarted();
    }

    void TearDown() override
    {
        GlintE2EFixture::TearDown();
        keyboard.kill();
        keyboard.waitForFinished();
    }

    static QByteArray run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(10000);
        return process.readAllStandardOutput();
    }

    static QImage outputPicture(const QString &output)
    {
        return QImage::fromData(run(QStringLiteral("grim"), {QStringLiteral("-o"), output, QStringLiteral("-")}));
    }

    static QJsonArray tree()
    {
        return QJsonDocument::fromJson(run(QStringLiteral("swaymsg"),
                                           {QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")}))
            .object()[u"nodes"]
            .toArray();
    }

    // The first instance's window that the compositor floats (and, when asked, gives the keyboard), in layout
    // coordinates.
    std::optional<QRect> floatingWindow(bool focused = false) const
    {
        std::optional<QRect> found;
        const std::function<void(const QJsonObject &)> visit = [&](const QJsonObject &node) {
            for (const QJsonValue &child : node[u"floating_nodes"].toArray()) {
                const QJsonObject rect = child[u"rect"].toObject();
                if (child[u"pid"].toInteger() == first.processId() && (!focused || child[u"focused"].toBool()))
                    found =
                        QRect(rect[u"x"].toInt(), rect[u"y"].toInt(), rect[u"width"].toInt(), rect[u"height"].toInt());
            }
            for (const QJsonValue &child : node[u"nodes"].toArray())
                visit(child.toObject());
        };
        for (const QJsonValue &output : tree())
            visit(output.toObject());
        return found;
    }

    // The panel's place once it has stopped moving and growing.
    std::optional<QRect> settledPanel() const
    {
        std::optional<QRect> panel;
        (void)QTest::qWaitFor(
            [&] {
                panel = floatingWindow();
                QTest::qWait(400);
                return panel && panel == floatingWindow();
            },
            10000);
        return panel;
    }

    // The outputs on which the first instance shows a full-screen window, as the compositor lists them.
    QStringList fullScreenOutputs() const
    {
        const QJsonArray outputs = tree();
        QStringList found;
        const std::function<bool(const QJsonObject &)> holdsOurs = [&](const QJsonObject &node) {
            if (node[u"pid"].toInteger() == first.processId() && node[u"fullscreen_mode"].toInt() != 0)
                return true;
            for (const QJsonValue &child : node[u"nodes"].toArray())
                if (holdsOurs(child.toObject()))
                    return true;
            return false;
        };
        for (const QJsonValue &output : outputs)
            if (holdsOurs(output.toObject()))
                found << output[u"name"].toString();
        return found;
    }
};

TEST_F(WaylandE2ETest, AnnotateDrawOnTheSecondOutputAskAndEscape)
{
    prepareAnswer();

    // Before Glint starts: the seat has a pointer and a keyboard from then on, as with a mouse and a
    // keyboard plugged in.
    WaylandPointer pointer(QSize(3840, 1080));
    ASSERT_TRUE(pointer.isOpen());
    ASSERT_TRUE(plugKeyboard());
    start(first);
    ASSERT_TRUE(waitForLog(QStringLiteral("[App] Display platform=wayland chosenBy=GLINT_PLATFORM")));
    EXPECT_TRUE(waitForLog(QStringLiteral("[Capture] Screen capture method=wlr-screencopy")));
    EXPECT_TRUE(waitForLog(QStringLiteral("[App] Panel placement=sway-ipc")));

    ASSERT_EQ(invoke({QStringLiteral("annotate")}), 0);
    ASSERT_TRUE(waitForLog(QStringLiteral("[Session] Begin annotation session showToolbar=true")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fullScreenOutputs().size() == 2; }, 5000))
        << fullScreenOutputs().join(u' ').toStdString();
    EXPECT_EQ(fullScreenOutputs(), (QStringList{u"HEADLESS-1"_qs, u"HEADLESS-2"_qs}));
    // The toolbar sits at the bottom of the primary output, over the frozen desktop.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const QImage primary = outputPicture(QStringLiteral("HEADLESS-1"));
        return !primary.isNull() && primary.pixelColor(960, 1080 - 40 - 28) != primary.pixelColor(960, 500);
    }));

    pointer.drag(strokeOnTheSecondOutput());

    ASSERT_TRUE(waitForLog(QStringLiteral("[QueryPanel] screen=(1920.0, 0.0, 1920.0, 1080.0) "
                                          "visibleFrame=(1920.0, 0.0, 1920.0, 1080.0)")));
    EXPECT_FALSE(waitForLogStartingWith(QStringLiteral("[Session] Screenshot captured bytes=")).isEmpty());
    // The overlay of the second output shows the stroke.
    const QImage second = outputPicture(QStringLiteral("HEADLESS-2"));
    EXPECT_GT(redPixels(second, QRect(280, 290, 800, 20)), 400);

    // The panel floats at the bottom centre of that output, 16 above its edge, and has the keyboard.
    ASSERT_TRUE(settledPanel());
    EXPECT_EQ(settledPanel()->bottom() + 1, secondOutput.bottom() + 1 - 16);
    EXPECT_EQ(settledPanel()->center().x(), secondOutput.center().x());
    // A click on the overlay leaves the keyboard with the panel.
    pointer.drag({QPoint(500, 500)});
    EXPECT_TRUE(QTest::qWaitFor([&] { return floatingWindow(true).has_value(); }, 5000));
    run(QStringLiteral("wtype"), {QStringLiteral("What is this?")});
    run(QStringLiteral("wtype"), {QStringLiteral("-k"), QStringLiteral("Return")});
    expectQuestionAboutTheStroke(u"What is this?"_qs);
    // Grown with the answer, from its bottom edge.
    ASSERT_TRUE(waitForLog(QStringLiteral("[Session] Streaming task completed responseLength=11")));
    ASSERT_TRUE(settledPanel());
    EXPECT_GT(settledPanel()->height(), 130);
    EXPECT_EQ(settledPanel()->bottom() + 1, secondOutput.bottom() + 1 - 16);

    // Another capture, drawn on the first output: the panel comes back where it was, with the keyboard.
    server.enqueue(FakeModelServer::Response::events("data: [DONE]\n\n"));
    ASSERT_EQ(invoke({QStringLiteral("annotate")}), 0);
    ASSERT_TRUE(waitForLog(QStringLiteral("[Session] Begin additional capture")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fullScreenOutputs().size() == 2; }, 5000));
    pointer.drag({QPoint(400, 400), QPoint(600, 400), QPoint(600, 500)});
    ASSERT_FALSE(waitForLogStartingWith(QStringLiteral("[Session] Additional capture complete bytes=")).isEmpty());
    ASSERT_TRUE(settledPanel());
    EXPECT_EQ(settledPanel()->bottom() + 1, secondOutput.bottom() + 1 - 16);
    EXPECT_EQ(settledPanel()->center().x(), secondOutput.center().x());
    run(QStringLiteral("wtype"), {QStringLiteral("And this?")});
    run(QStringLiteral("wtype"), {QStringLiteral("-k"), QStringLiteral("Return")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == 2; }, 15000));
    EXPECT_TRUE(server.requests().last().body.contains("And this?"));

    run(QStringLiteral("wtype"), {QStringLiteral("-k"), QStringLiteral("Escape")});
    EXPECT_TRUE(waitForLog(QStringLiteral("[Session] Session cancelled and state reset")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fullScreenOutputs().isEmpty(); }, 5000));
}

// The desktop's global shortcut, through its portal (one that binds only what CreateSession brings, as
// Plasma 5.27's), begins a session as `glint annotate` does; Glint said who it is before asking.
TEST_F(WaylandE2ETest, ThePortalsShortcutBeginsAnAnnotation)
{
    FakeDesktopPortal portal;
    portal.shortcutsFrom = FakeDesktopPortal::ShortcutsFrom::CreateSession;
    portal.offersRegistry = true;
    ASSERT_TRUE(portal.publish());
    ASSERT_TRUE(plugKeyboard());
    start(first);
    ASSERT_TRUE(waitForLog(QStringLiteral("[App] Global input source=global-shortcuts-portal")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !portal.bound.isEmpty(); }, 5000));
    EXPECT_EQ(portal.bound.first().properties.value(QStringLiteral("preferred_trigger")).toString(), u"CTRL+ALT+space");
    EXPECT_EQ(portal.calls.value(0), u"Register");
    EXPECT_EQ(portal.registeredAppId, u"org.glint.Glint");

    portal.press(QStringLiteral("annotate"));
    ASSERT_TRUE(waitForLog(QStringLiteral("[Session] Begin annotation session showToolbar=true")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fullScreenOutputs().size() == 2; }, 5000));
    run(QStringLiteral("wtype"), {QStringLiteral("-k"), QStringLiteral("Escape")});
    EXPECT_TRUE(waitForLog(QStringLiteral("[Session] Session cancelled and state reset")));
}

} // namespace

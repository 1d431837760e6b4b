#include "WaylandE2EFixture.h"

#include "portal/PortalRequest.h"

#include <QUrl>

namespace {

// Glint as a native client of the headless GNOME Shell or KWin session that scripts/test starts (the
// desktop this program is built for), on that desktop's own bus with its own portals, driven through the
// input its compositor offers for remote control.
class DesktopE2ETest : public WaylandE2EFixture {
protected:
    const QByteArray desktop = GLINT_TEST_DESKTOP;
    const QString input = qEnvironmentVariable("GLINT_TEST_" GLINT_TEST_DESKTOP "_INPUT");

    void SetUp() override
    {
        WaylandE2EFixture::SetUp();
        const QByteArray display = qgetenv("GLINT_TEST_" GLINT_TEST_DESKTOP "_DISPLAY");
        if (display.isEmpty())
            GTEST_SKIP() << "no " GLINT_TEST_DESKTOP " session (GLINT_TEST_" GLINT_TEST_DESKTOP "_DISPLAY)";
        enterSession(display);
        // The key store, the input tool and Glint find the desktop's services on its bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", qgetenv("GLINT_TEST_" GLINT_TEST_DESKTOP "_BUS"));
        qunsetenv("SWAYSOCK");
        extraEnvironment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QString::fromLatin1(desktop));
        extraEnvironment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    }

    // Pointer and keyboard input in the commands of scripts/lib/gnome-input, in the layout of both outputs.
    bool send(const QStringList &commands) const
    {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::ForwardedChannels);
        tool.start(input, commands);
        return tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    }

    bool drag(const QList<QPoint> &points) const
    {
        QStringList commands;
        for (const QPoint &point : points)
            commands << u"move:%1,%2"_qs.arg(point.x()).arg(point.y());
        // The window under the pointer learns that it has it before the press.
        commands.insert(1, u"sleep:0.2"_qs);
        commands.insert(2, u"down"_qs);
        commands << u"up"_qs;
        return send(commands);
    }

    // What both outputs show, through the desktop's Screenshot portal.
    static QImage desktopPicture()
    {
        PortalRequest request;
        std::optional<QImage> picture;
        request.send(
            u"org.freedesktop.portal.Screenshot"_qs, u"Screenshot"_qs, {QString()}, {{u"interactive"_qs, false}},
            [&](uint, const QVariantMap &results) {
                const QString file = QUrl(results.value(u"uri"_qs).toString()).toLocalFile();
                picture = QImage(file);
                QFile::remove(file);
            },
            [&] { picture = QImage(); });
        (void)QTest::qWaitFor([&] { return picture.has_value(); }, 15000);
        return picture.value_or(QImage());
    }

    // The panel sits at the bottom centre of the second output, 16 above its edge, and leaves the stroke
    // in sight. The frozen desktop behind it is one plain colour.
    static void expectPanelBelowTheStroke()
    {
        QImage desktop;
        const QPoint inPanel(secondOutput.center().x(), secondOutput.bottom() - 16 - 40);
        const QPoint besidePanel(secondOutput.left() + 100, inPanel.y());
        // Until it has come to rest: it slides in from below the edge.
        const QPoint lastRow(secondOutput.center().x(), secondOutput.bottom() - 17);
        const QPoint belowPanel(lastRow.x(), secondOutput.bottom() - 14);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                desktop = desktopPicture();
                return !desktop.isNull() && desktop.pixel(inPanel) != desktop.pixel(besidePanel) &&
                       desktop.pixel(lastRow) != desktop.pixel(besidePanel) &&
                       desktop.pixel(belowPanel) == desktop.pixel(besidePanel);
            },
            10000));
        ASSERT_EQ(desktop.size(), QSize(3840, 1080));
        const QRgb behind = desktop.pixel(besidePanel);
        const auto panelAt = [&](int x, int y) { return desktop.pixel(x, y) != behind; };
        EXPECT_TRUE(panelAt(secondOutput.center().x() - 300, inPanel.y()));
        EXPECT_TRUE(panelAt(secondOutput.center().x() + 300, inPanel.y()));
        EXPECT_FALSE(panelAt(secondOutput.center().x() - 320, inPanel.y()));
        EXPECT_FALSE(panelAt(secondOutput.center().x() + 320, inPanel.y()));
        EXPECT_TRUE(panelAt(lastRow.x(), lastRow.y()));
        EXPECT_FALSE(panelAt(belowPanel.x(), belowPanel.y()));
        EXPECT_GT(redPixels(desktop, QRect(2200, 290, 800, 20)), 400);
    }

    // Until the overlays show the frozen frame, a stroke would land on the desktop beneath.
    bool waitForOverlays() { return !waitForLogStartingWith(u"[OverlayWindow] Frozen frame painted"_qs).isEmpty(); }

    // The desktop hands the keyboard over in its own time after the overlay shows; then, without a click,
    // Escape ends the session.
    void expectKeyboardOnTheOverlay()
    {
        ASSERT_FALSE(waitForLogStartingWith(u"[OverlayWindow] Keyboard focus screen="_qs).isEmpty());
        ASSERT_TRUE(send({u"key:Escape"_qs}));
        EXPECT_TRUE(waitForLog(u"[Session] Session cancelled and state reset"_qs));
    }
};

// Named after the desktop (GnomeE2ETest, KdeE2ETest), as ctest lists it.
using GLINT_TEST_SUITE = DesktopE2ETest;

TEST_F(GLINT_TEST_SUITE, AnnotateDrawOnTheSecondOutputAskAndEscape)
{
    prepareAnswer();
    start(first);
    ASSERT_TRUE(waitForLog(u"[App] Display platform=wayland chosenBy=GLINT_PLATFORM"_qs));
    // KWin shows the screen to the program its menu entry names (scripts/test writes one, as the installed
    // entry is); GNOME through its portal.
    EXPECT_TRUE(waitForLog(desktop == "KDE" ? u"[Capture] Screen capture method=kwin-screenshot2"_qs
                                            : u"[Capture] Screen capture method=xdg-portal"_qs));
    EXPECT_TRUE(waitForLog(desktop == "KDE" ? u"[App] Panel placement=kwin-script"_qs
                                            : u"[App] Panel placement=in-overlay"_qs));

    ASSERT_EQ(invoke({u"annotate"_qs}), 0);
    ASSERT_TRUE(waitForLog(u"[Session] Begin annotation session showToolbar=true"_qs));
    ASSERT_TRUE(waitForOverlays());
    ASSERT_TRUE(drag(strokeOnTheSecondOutput()));
    ASSERT_TRUE(waitForLog(u"[QueryPanel] screen=(1920.0, 0.0, 1920.0, 1080.0) "
                           "visibleFrame=(1920.0, 0.0, 1920.0, 1080.0)"_qs));
    EXPECT_FALSE(waitForLogStartingWith(u"[Session] Screenshot captured bytes="_qs).isEmpty());

    // Once it shows, the panel has the keyboard without a click.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(artifactsPath() + u"/panel-01-shown.png"); }, 10000));
    expectPanelBelowTheStroke();
    ASSERT_TRUE(send({u"type:What is this?"_qs, u"key:Return"_qs}));
    expectQuestionAboutTheStroke(u"What is this?"_qs);
    EXPECT_TRUE(logLines().filter(u"Screen capture refused by KWin"_qs).isEmpty());
    EXPECT_TRUE(waitForLog(u"[Session] Streaming task completed responseLength=11"_qs));

    ASSERT_TRUE(send({u"key:Escape"_qs}));
    EXPECT_TRUE(waitForLog(u"[Session] Session cancelled and state reset"_qs));
}

// A copy of the program, which no menu entry names, is refused KWin's screenshots: it takes them through the
// portal from then on.
TEST_F(GLINT_TEST_SUITE, RefusedByKWinTheFrameComesThroughThePortal)
{
    if (desktop != "KDE")
        GTEST_SKIP() << "KWin's screenshot interface is KDE's";
    program = dir.filePath(u"glint"_qs);
    ASSERT_TRUE(QFile::copy(QStringLiteral(GLINT_BINARY), program));
    ASSERT_TRUE(QFile::link(QFileInfo(QStringLiteral(GLINT_BINARY)).dir().filePath(u"glint-app.so"_qs),
                            dir.filePath(u"glint-app.so"_qs)));
    start(first);
    ASSERT_TRUE(waitForLog(u"[Capture] Screen capture method=kwin-screenshot2"_qs));
    const auto linesOf = [this](const QString &line) { return logLines().filter(line).size(); };
    for (int session = 1; session <= 2; ++session) {
        ASSERT_EQ(invoke({u"annotate"_qs}), 0);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return linesOf(u"[OverlayWindow] Frozen frame painted"_qs) >= 2 * session; }));
        ASSERT_TRUE(send({u"key:Escape"_qs}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return linesOf(u"[Session] Session cancelled"_qs) == session; }));
    }
    // Asked once; the second frame came through the portal without asking again.
    EXPECT_EQ(linesOf(u"[Capture] Screen capture refused by KWin error=org.kde.KWin.ScreenShot2.Error.NoAuthorized; "
                      "using method=xdg-portal"_qs),
              1);
}

// KDE's global shortcuts portal binds Ctrl+Alt+Space, which then begins a session as `glint annotate` does.
// Plasma 5.27 reads the shortcuts only from CreateSession's options.
TEST_F(GLINT_TEST_SUITE, TheDesktopsShortcutBeginsAnAnnotation)
{
    if (desktop != "KDE")
        GTEST_SKIP() << "GNOME 43 has no global shortcuts portal";
    start(first);
    ASSERT_TRUE(waitForLog(u"[App] Global input source=global-shortcuts-portal"_qs));
    ASSERT_FALSE(waitForLogStartingWith(u"[App] Global shortcut bound trigger="_qs).isEmpty());
    ASSERT_TRUE(send({u"key:Ctrl+Alt+space"_qs}));
    EXPECT_TRUE(waitForLog(u"[Session] Begin annotation session showToolbar=true"_qs));
    EXPECT_TRUE(waitForOverlays());
    expectKeyboardOnTheOverlay();
}

// GNOME 43 has no global shortcuts portal: the setup's Set Up Shortcut (its default button) adds a custom
// shortcut of GNOME's, which the desktop's settings daemon runs when the user presses Ctrl+Alt+Space.
TEST_F(GLINT_TEST_SUITE, SetUpShortcutLetsGnomeRunTheHotkey)
{
    if (desktop != "GNOME")
        GTEST_SKIP() << "KDE Plasma binds the hotkey through its portal";
    // Glint keeps its settings where GNOME does, and the command GNOME runs finds it: the session's own
    // configuration and runtime directories (the bus lives in the latter).
    const QDir runtime = QFileInfo(qEnvironmentVariable("GLINT_TEST_GNOME_BUS").section(u'=', 1)).dir();
    const QString sessionConfig = QDir::cleanPath(runtime.filePath(u"../home/.config"_qs));
    extraEnvironment.insert(u"XDG_RUNTIME_DIR"_qs, runtime.path());
    extraEnvironment.insert(u"XDG_CONFIG_HOME"_qs, sessionConfig);
    QFile::remove(QDir(sessionConfig).filePath(u"glint/glint.conf"_qs)); // a first start: the setup opens
    const auto gsettings = [&](const QStringList &arguments) {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start(u"gsettings"_qs, arguments);
        tool.waitForFinished(10000);
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    };
    const QString ours = u"org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:"
                         "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/glint/"_qs;
    QProcess mediaKeys; // the part of GNOME that runs custom shortcuts
    mediaKeys.setProcessEnvironment(environment());
    mediaKeys.start(u"/usr/libexec/gsd-media-keys"_qs, {});
    ASSERT_TRUE(mediaKeys.waitForStarted());

    start(first);
    ASSERT_FALSE(waitForLogStartingWith(u"[App] Hotkey monitor inert reason="_qs).isEmpty());
    ASSERT_TRUE(waitForLog(u"[App] Setup step shown step=welcome"_qs));
    ASSERT_TRUE(send({u"key:Return"_qs}));
    ASSERT_TRUE(waitForLog(u"[App] Setup step shown step=globalHotkey"_qs));
    ASSERT_TRUE(send({u"key:Return"_qs}));
    ASSERT_TRUE(
        waitForLog(u"[App] GNOME shortcut set binding=<Control><Alt>space command=" GLINT_BINARY " annotate"_qs));
    EXPECT_EQ(gsettings({u"get"_qs, u"org.gnome.settings-daemon.plugins.media-keys"_qs, u"custom-keybindings"_qs}),
              u"['/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/glint/']");
    EXPECT_EQ(gsettings({u"get"_qs, ours, u"name"_qs}), u"'Glint'");
    EXPECT_EQ(gsettings({u"get"_qs, ours, u"command"_qs}), u"'" GLINT_BINARY " annotate'");
    EXPECT_EQ(gsettings({u"get"_qs, ours, u"binding"_qs}), u"'<Control><Alt>space'");
    // Met, the page gives way to the next one by itself.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList shown = logLines().filter(u"[App] Setup step shown step="_qs);
            return shown.size() > 1 && !shown.last().endsWith(u"=globalHotkey") && !shown.last().endsWith(u"=welcome");
        },
        5000));

    // The setup, open before the session, comes back under the overlay and leaves it the keyboard.
    ASSERT_TRUE(send({u"key:Ctrl+Alt+space"_qs}));
    EXPECT_TRUE(waitForLog(u"[Session] Begin annotation session showToolbar=true"_qs));
    EXPECT_TRUE(waitForOverlays());
    expectKeyboardOnTheOverlay();
    gsettings({u"reset"_qs, u"org.gnome.settings-daemon.plugins.media-keys"_qs, u"custom-keybindings"_qs});
    mediaKeys.terminate();
    mediaKeys.waitForFinished(5000);
}

} // namespace

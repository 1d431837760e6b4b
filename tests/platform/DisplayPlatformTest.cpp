#include "platform/DisplayPlatform.h"

#include <gtest/gtest.h>

namespace {

// A Wayland session runs Glint on Wayland unless the user or the environment asked for something else.
// Xlib is readied for threads unless nothing but a Wayland client can start.
TEST(DisplayPlatformTest, ChoosesFromTheSessionUnlessForced)
{
    const struct {
        DisplayPlatform::Environment environment;
        QByteArray qtPlatform;
        QString reason;
        bool mayUseXlib;
    } cases[] = {
        {{"", "wayland-0", ""}, "wayland;xcb", u"WAYLAND_DISPLAY"_qs, true},
        {{"", "", ""}, "", u"default"_qs, true},
        {{"", "wayland-0", "xcb"}, "", u"QT_QPA_PLATFORM"_qs, true},
        {{"", "", "offscreen"}, "", u"QT_QPA_PLATFORM"_qs, true},
        {{"", "wayland-0", "wayland"}, "", u"QT_QPA_PLATFORM"_qs, false},
        {{"", "wayland-0", "wayland-egl;xcb"}, "", u"QT_QPA_PLATFORM"_qs, true},
        {{"x11", "wayland-0", ""}, "xcb", u"GLINT_PLATFORM"_qs, true},
        {{"wayland", "wayland-0", "xcb"}, "wayland", u"GLINT_PLATFORM"_qs, false},
        {{"mir", "wayland-0", ""}, "wayland;xcb", u"WAYLAND_DISPLAY"_qs, true}, // unknown names are ignored
    };
    for (const auto &c : cases) {
        const DisplayPlatform::Choice choice = DisplayPlatform::decide(c.environment);
        const std::string label =
            QByteArray(c.environment.forced + '|' + c.environment.waylandDisplay + '|' + c.environment.qtPlatform)
                .toStdString();
        EXPECT_EQ(choice.qtPlatform, c.qtPlatform) << label;
        EXPECT_EQ(choice.reason, c.reason) << label;
        EXPECT_EQ(choice.mayUseXlib, c.mayUseXlib) << label;
    }
}

} // namespace

#include "capture/DisplayPlatform.h"

#include <gtest/gtest.h>

namespace {

// A Wayland session runs Glint on Wayland unless the user or the environment asked for something else.
TEST(DisplayPlatformTest, ChoosesFromTheSessionUnlessForced)
{
    const struct {
        DisplayPlatform::Environment environment;
        QByteArray qtPlatform;
        QString reason;
    } cases[] = {
        {{"", "wayland-0", ""}, "wayland;xcb", u"WAYLAND_DISPLAY"_qs},
        {{"", "", ""}, "", u"default"_qs},
        {{"", "wayland-0", "xcb"}, "", u"QT_QPA_PLATFORM"_qs},
        {{"", "", "offscreen"}, "", u"QT_QPA_PLATFORM"_qs},
        {{"x11", "wayland-0", ""}, "xcb", u"GLINT_PLATFORM"_qs},
        {{"wayland", "wayland-0", "xcb"}, "wayland", u"GLINT_PLATFORM"_qs},
        {{"mir", "wayland-0", ""}, "wayland;xcb", u"WAYLAND_DISPLAY"_qs}, // unknown names are ignored
    };
    for (const auto &c : cases) {
        const DisplayPlatform::Choice choice = DisplayPlatform::decide(c.environment);
        const std::string label =
            QByteArray(c.environment.forced + '|' + c.environment.waylandDisplay + '|' + c.environment.qtPlatform)
                .toStdString();
        EXPECT_EQ(choice.qtPlatform, c.qtPlatform) << label;
        EXPECT_EQ(choice.reason, c.reason) << label;
    }
}

} // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/system_fixture.h"

namespace pelmora::app {
namespace {

using platform::Modifiers;
using platform::MouseButton;

struct MainMouse : testing::SystemFixture {
    MainMouse() {
        start();
        platform.tick("frmmain", "MainTimer");  // shows the meter
    }
};

TEST_F(MainMouse, RightButtonOpensTheMenuAnyOtherDragsTheWholeWindow) {
    const struct {
        std::string_view control;  // empty: the window's background
        std::int16_t index;
        MouseButton button;
        Modifiers modifiers;
        bool popup;
    } cases[] = {
        {"", platform::kNoIndex, MouseButton::Left, {}, false},
        {"", platform::kNoIndex, MouseButton::Right, {}, true},
        {"lblTotalRam", 0, MouseButton::Left, {}, false},
        {"lblTotalRam", 1, MouseButton::Left, {true, false, false}, false},
        {"lblTotalRam", 1, MouseButton::Right, {}, true},
        {"lblFreeRam", 0, MouseButton::Middle, {}, false},
        {"lblFreeRam", 1, MouseButton::Right, {false, true, false}, true},
        {"lblRamUsage", 0, MouseButton::Right, {false, false, true}, true},
        {"lblRamUsage", 1, MouseButton::Left, {true, true, true}, false},
        {"picGraph", platform::kNoIndex, MouseButton::Right, {}, true},
        {"picGraph", platform::kNoIndex, MouseButton::Left, {}, false},
    };
    int drags = 0;
    for (const auto& c : cases) {
        const std::size_t from = journal.mark();
        if (c.popup) {
            platform.dismissNextPopup();
        }
        ASSERT_TRUE(
            c.control.empty()
                ? platform.pressBackground("frmmain", c.button, c.modifiers, {33, 7})
                : platform.press("frmmain", c.control, c.index, c.button, c.modifiers, {33, 7}));
        const auto calls = journal.entries({"popupMenu", "ReleaseCapture", "SendMessageA"}, from);
        if (c.popup) {
            ASSERT_EQ(calls.size(), 1u) << c.control;
            EXPECT_EQ(calls[0].rfind("popupMenu frmmain [\"&Keep on top\"", 0), 0u);
        } else {
            EXPECT_EQ(calls, (std::vector<std::string>{
                                 "ReleaseCapture", "SendMessageA frmmain WM_NCLBUTTONDOWN 2 0"}))
                << c.control;
            ++drags;
        }
        // The drag goes through the hook to the window's own procedure, which moves it.
        EXPECT_EQ(mainWindow().drags, drags);
    }
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(MainMouse, PressesOnOtherControlsAreIgnored) {
    const std::size_t from = journal.mark();
    ASSERT_TRUE(platform.press("frmmain", "Line1", platform::kNoIndex, MouseButton::Right));
    ASSERT_TRUE(platform.press("frmmain", "Line3", platform::kNoIndex, MouseButton::Left));
    EXPECT_EQ(journal.entries({}, from).size(), 2u);  // just the two presses
}

TEST_F(MainMouse, AFailingCaptureReleaseStopsTheDragAndIsReportedAQuietOneDoesNot) {
    journal.failOn("ReleaseCapture", 1, platform::Error(5, "no capture"));
    ASSERT_TRUE(platform.pressBackground("frmmain", MouseButton::Left));
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "frmmain.Form_MouseDown");
    EXPECT_EQ(journal.count("SendMessageA"), 0u);
    EXPECT_EQ(mainWindow().drags, 0);

    journal.failOn("ReleaseCapture", 1);
    ASSERT_TRUE(platform.pressBackground("frmmain", MouseButton::Left));
    EXPECT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(mainWindow().drags, 1);
}

}  // namespace
}  // namespace pelmora::app

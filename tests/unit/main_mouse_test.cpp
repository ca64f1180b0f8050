#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/system_fixture.h"

namespace pelmora::app {
namespace {

using MainMouse = testing::SystemFixture;

TEST_F(MainMouse, RightButtonOpensTheMenuAnyOtherDragsTheWholeWindow) {
    const struct {
        std::string_view control;
        std::int16_t index;
        std::int16_t button;
        std::int16_t shift;
        bool popup;
    } cases[] = {
        {"", platform::kNoIndex, platform::button::Left, 0, false},
        {"", platform::kNoIndex, platform::button::Right, 0, true},
        {"lblTotalRam", 0, platform::button::Left, 0, false},
        {"lblTotalRam", 1, platform::button::Left, 1, false},
        {"lblTotalRam", 1, platform::button::Right, 0, true},
        {"lblFreeRam", 0, platform::button::Middle, 0, false},
        {"lblFreeRam", 1, platform::button::Right, 2, true},
        {"lblRamUsage", 0, platform::button::Right, 4, true},
        {"lblRamUsage", 1, platform::button::Left, 7, false},
        {"picGraph", platform::kNoIndex, platform::button::Right, 0, true},
        {"picGraph", platform::kNoIndex, platform::button::Left, 0, false},
        {"picGraph", platform::kNoIndex, platform::button::Left | platform::button::Right, 0, true},
    };
    start();
    const std::string h = fake::hex(mainWindow());
    int drags = 0;
    for (const auto& c : cases) {
        const std::size_t from = fake.mark();
        ASSERT_TRUE(fake.mouseDown("frmmain", c.control, c.index, c.button, c.shift, 33.0f, 7.0f));
        const auto calls = fake.entries(
            {"frmmain.PopupMenu", "ReleaseCapture", "frmmain.hWnd", "SendMessageA"}, from);
        if (c.popup) {
            EXPECT_EQ(calls, std::vector<std::string>{"frmmain.PopupMenu mnuA"}) << c.control;
        } else {
            EXPECT_EQ(calls, (std::vector<std::string>{"ReleaseCapture", "frmmain.hWnd -> " + h,
                                                       "SendMessageA " + h + ", 161, 2, 0"}))
                << c.control;
            ++drags;
        }
        // The drag goes through the hook to the window's own procedure, which moves it.
        EXPECT_EQ(fake.drags(mainWindow()), drags);
    }
    EXPECT_TRUE(fake.reports().empty());
}

TEST_F(MainMouse, PressesOnOtherControlsAreIgnored) {
    start();
    const std::size_t from = fake.mark();
    fake.deliver("frmmain Line1_MouseDown", "", [&] {
        mainForm().events.onMouseDown("Line1", platform::kNoIndex, platform::button::Right, 0, 0,
                                      0);
    });
    EXPECT_EQ(fake.entries({}, from).size(), 1u);
}

TEST_F(MainMouse, AFailingHandleReadStopsTheDragAfterTheCaptureIsReleased) {
    start();
    fake.failOn("frmmain.hWnd");
    ASSERT_TRUE(fake.mouseDown("frmmain", "", platform::kNoIndex, platform::button::Left));
    EXPECT_EQ(fake.entries({"ReleaseCapture", "SendMessageA"}),
              std::vector<std::string>{"ReleaseCapture"});
    ASSERT_EQ(fake.reports().size(), 1u);
    EXPECT_EQ(fake.reports()[0].handler, "frmmain Form_MouseDown");
}

}  // namespace
}  // namespace pelmora::app

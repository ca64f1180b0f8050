#include "meter/usage_meter.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

#include "support/system_fixture.h"

namespace pelmora::meter {
namespace {

using recording::DrawnBox;

// The meter box of the main window, loaded with events of the test's own. Its drawing area
// is 10 x 48 pixels inside a one-pixel frame. The meter is drawn inside a handler, as the
// refresh draws it: what it drew reaches the window once the handler returns.
struct MeterFixture : testing::SystemFixture {
    MeterFixture() {
        platform::Form& form = runtime.load(ui::kMainLayout, sink);
        pic = &form.pictureBox(ui::frmmain_names::picGraph);
    }
    platform::Status draw(std::int64_t maxVal, float curVal) {
        platform::Status status;
        runtime.guard(kHandler, [&] { status = DrawPercent_Graph(maxVal, curVal, *pic); });
        return status;
    }
    const std::vector<DrawnBox>& drawn() { return mainWindow().widget("picGraph").boxes; }
    // The bar over the left two thirds, from the bottom up to `top`.
    static DrawnBox bar(int top, platform::Colour colour) {
        return {{0, top, 7, 48 - top}, colour};
    }

    static constexpr const char* kHandler = "frmmain.MainTimer_Timer";
    testing::EventSink sink;
    platform::PictureBox* pic = nullptr;
};

TEST_F(MeterFixture, ClearsAndFillsTheBarOnTheLeftTwoThirdsThenRepaintsOnceTheHandlerReturns) {
    const std::size_t from = journal.mark();
    platform::Status status;
    std::vector<std::string> duringTheHandler;
    runtime.guard(kHandler, [&] {
        status = DrawPercent_Graph(400, 101.0f, *pic);
        duringTheHandler = journal.entries({}, from);
    });
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(duringTheHandler, std::vector<std::string>{});
    EXPECT_EQ(journal.entries({}, from), (std::vector<std::string>{
                                             "clearDrawing frmmain picGraph",
                                             "fillBox frmmain picGraph 0,36 7x12 #00FF00",
                                             "repaint frmmain picGraph",
                                             "setAccessible frmmain picGraph \"Free memory\" "
                                             "25.3 %",
                                         }));
}

TEST_F(MeterFixture, ColourAndHeightFollowTheFreeShare) {
    const struct {
        std::int64_t maxVal;
        float curVal;
        std::vector<DrawnBox> boxes;
    } cases[] = {
        {400, 100, {bar(36, kRed)}},     // exactly 25 % is red
        {200, 51, {bar(36, kGreen)}},    // the fraction counts: 25.5 % is green
        {1000, 251, {bar(36, kGreen)}},  //
        {100, 50, {bar(24, kGreen)}},    //
        {100, 100, {bar(0, kGreen)}},    // full: bottom to top
        {100, 2, {bar(47, kRed)}},       // the smallest bar that shows
        {100, 1, {}},                    // less than half a pixel: nothing
        {100, 0, {}},                    // empty: nothing
        {1 << 30, 1 << 28, {bar(36, kRed)}},
        {std::int64_t{16} << 30, static_cast<float>(std::int64_t{3} << 30), {bar(39, kRed)}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(draw(c.maxVal, c.curVal).ok());
        EXPECT_EQ(drawn(), c.boxes) << c.maxVal << " " << c.curVal;
    }
}

TEST_F(MeterFixture, OnlyTheLastOfTwoBarsRemains) {
    // Two handlers: the second bar replaces the first on the window.
    ASSERT_TRUE(draw(100, 80).ok());
    ASSERT_TRUE(draw(100, 10).ok());
    EXPECT_EQ(drawn(), std::vector<DrawnBox>{bar(43, kRed)});
    // One handler: only the last bar reaches the window.
    const std::size_t from = journal.mark();
    runtime.guard(kHandler, [&] {
        ASSERT_TRUE(DrawPercent_Graph(100, 50, *pic).ok());
        ASSERT_TRUE(DrawPercent_Graph(100, 90, *pic).ok());
    });
    EXPECT_EQ(journal.entries({}, from), (std::vector<std::string>{
                                             "clearDrawing frmmain picGraph",
                                             "fillBox frmmain picGraph 0,5 7x43 #00FF00",
                                             "repaint frmmain picGraph",
                                             "setAccessible frmmain picGraph \"Free memory\" 90 %",
                                         }));
    EXPECT_EQ(drawn(), std::vector<DrawnBox>{bar(5, kGreen)});
}

TEST_F(MeterFixture, AFailingDivisionIsHandedBackBeforeAnythingIsClearedSoTheLastBarStays) {
    ASSERT_TRUE(draw(100, 60).ok());
    const std::size_t before = journal.mark();
    const struct {
        std::int64_t maxVal;
        float curVal;
        std::int32_t error;
    } cases[] = {{0, 5.0f, 11}, {0, 0.0f, 6}, {100, FLT_MAX, 6}};
    for (const auto& c : cases) {
        const platform::Status status = draw(c.maxVal, c.curVal);
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error()->number(), c.error) << c.curVal;
    }
    EXPECT_TRUE(journal.entries({}, before).empty());
    EXPECT_EQ(drawn(), std::vector<DrawnBox>{bar(19, kGreen)});
}

TEST_F(MeterFixture, AFailingDrawingStepIsHandedBackAndWhatWasClearedStaysCleared) {
    ASSERT_TRUE(draw(100, 60).ok());
    const std::size_t before = journal.mark();
    // A share far beyond the scale: the bar's top is out of any screen's reach.
    const platform::Status status = draw(1, 1e9f);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error()->number(), 6);
    EXPECT_EQ(journal.entries({}, before), (std::vector<std::string>{
                                               "clearDrawing frmmain picGraph",
                                               "repaint frmmain picGraph",
                                           }));
    EXPECT_TRUE(drawn().empty());
    EXPECT_THROW(status.raise(), platform::Error);
    // The meter's own failure was handed back, not reported by the runtime.
    EXPECT_TRUE(rig.reports().empty());
}

}  // namespace
}  // namespace pelmora::meter

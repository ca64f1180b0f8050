#include "meter/usage_meter.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

#include "support/fake_backend.h"
#include "ui/main/main_layout.h"

namespace pelmora::meter {
namespace {

using fake::Bar;

struct MeterFixture : ::testing::Test {
    fake::FakeBackend backend;
    fake::FakePictureBox pic{backend, "picGraph", ui::main_layout::kControls[0],
                             platform::ScaleUnit::Twips};
};

TEST_F(MeterFixture, ClearsRepaintsScalesThenDrawsTheBarOnTheLeftTwoThirds) {
    ASSERT_TRUE(DrawPercent_Graph(400, 101.0f, pic).ok());
    EXPECT_EQ(backend.journal(), (std::vector<std::string>{
                                     "picGraph.Cls",
                                     "picGraph.Refresh",
                                     "picGraph.Scale 4, 1, 100, 4, 0",
                                     "picGraph.Line 38, 1, 0, 3, 25.25, &H0000FF00",
                                 }));
}

TEST_F(MeterFixture, ColourAndHeightFollowTheFreeShare) {
    const struct {
        std::int64_t maxVal;
        float curVal;
        float height;
        platform::Colour colour;
    } cases[] = {
        {400, 100, 25.0f, kRed},     // exactly 25 is red
        {200, 51, 25.5f, kGreen},    // the fraction counts: 25.5 is green
        {100, 26, 26.0f, kGreen},    //
        {100, 100, 100.0f, kGreen},  // full: bottom to top
        {100, 0, 0.0f, kRed},        // empty: no height
        {1000, 251, 25.1f, kGreen},  //
        {1 << 30, 1 << 28, 25.0f, kRed},
        {std::int64_t{16} << 30, static_cast<float>(std::int64_t{3} << 30), 18.75f, kRed},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(DrawPercent_Graph(c.maxVal, c.curVal, pic).ok());
        ASSERT_EQ(pic.bars.size(), 1u);
        const Bar& bar = pic.bars[0];
        EXPECT_EQ(bar.flags, kFilledBoxFlags);
        EXPECT_FLOAT_EQ(bar.x1, 1.0f);
        EXPECT_FLOAT_EQ(bar.y1, 0.0f);
        EXPECT_FLOAT_EQ(bar.x2, 3.0f);
        EXPECT_FLOAT_EQ(bar.y2, c.height) << c.maxVal << " " << c.curVal;
        EXPECT_EQ(bar.colour, c.colour) << c.maxVal << " " << c.curVal;
    }
}

TEST_F(MeterFixture, OnlyTheLastOfTwoBarsRemains) {
    ASSERT_TRUE(DrawPercent_Graph(100, 80, pic).ok());
    ASSERT_TRUE(DrawPercent_Graph(100, 10, pic).ok());
    ASSERT_EQ(pic.bars.size(), 1u);
    EXPECT_FLOAT_EQ(pic.bars[0].y2, 10.0f);
    EXPECT_EQ(pic.bars[0].colour, kRed);
}

TEST_F(MeterFixture, AZeroWholeFailsBeforeAnythingIsClearedSoTheLastBarStays) {
    ASSERT_TRUE(DrawPercent_Graph(100, 60, pic).ok());
    const std::size_t before = backend.mark();
    const struct {
        float curVal;
        std::int32_t error;
    } cases[] = {{5.0f, platform::errnum::DivisionByZero}, {0.0f, platform::errnum::Overflow}};
    for (const auto& c : cases) {
        const platform::Status status = DrawPercent_Graph(0, c.curVal, pic);
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error()->number(), c.error);
    }
    EXPECT_TRUE(backend.entries({}, before).empty());
    ASSERT_EQ(pic.bars.size(), 1u);
    EXPECT_FLOAT_EQ(pic.bars[0].y2, 60.0f);
}

TEST_F(MeterFixture, AnOverflowingProductFailsBeforeAnythingIsCleared) {
    const platform::Status status = DrawPercent_Graph(100, FLT_MAX, pic);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error()->number(), platform::errnum::Overflow);
    EXPECT_TRUE(backend.journal().empty());
}

TEST_F(MeterFixture, AFailingDrawingStepIsHandedBackAndStopsThere) {
    ASSERT_TRUE(DrawPercent_Graph(100, 60, pic).ok());
    backend.failOn("picGraph.Refresh");
    const std::size_t before = backend.mark();
    const platform::Status status = DrawPercent_Graph(100, 50, pic);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error()->number(), fake::kInjectedError);
    EXPECT_EQ(backend.entries({}, before),
              (std::vector<std::string>{"picGraph.Cls", "! picGraph.Refresh"}));
    EXPECT_TRUE(pic.bars.empty());  // what was cleared stays cleared
    EXPECT_THROW(status.raise(), platform::Error);
}

}  // namespace
}  // namespace pelmora::meter

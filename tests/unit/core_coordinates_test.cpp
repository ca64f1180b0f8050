// The runtime core's coordinate arithmetic: units to pixels, a picture box's user scale to
// pixel boxes, clipping, and the errors of coordinates out of reach.
#include "platform/core/coordinates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "support/probe_form.h"
#include "support/rig.h"

namespace pelmora::core {
namespace {

using platform::UserRect;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();
constexpr float kInff = std::numeric_limits<float>::infinity();

int errorOf(const std::function<void()>& body) {
    try {
        body();
    } catch (const platform::Error& error) {
        return error.number();
    }
    return 0;
}

TEST(UnitsToPixels, RoundsToTheNearestPixelAndRaisesOverflowOutOfReach) {
    const struct {
        double units, perPixel;
        std::optional<int> pixels;  // none: Overflow
    } cases[] = {
        {15, 15, 1},
        {22, 15, 1},
        {23, 15, 2},
        {7.5, 15, 1},  // halves go away from zero
        {-7.5, 15, -1},
        {-22, 15, -1},
        {0, 15, 0},
        {1.5e7, 15, 1'000'000},
        {1.5e7 + 15, 15, std::nullopt},
        {1e6, 1, 1'000'000},
        {-1e6, 1, -1'000'000},
        {1e6 + 1, 1, std::nullopt},
        {-1e6 - 1, 1, std::nullopt},
        {kNaN, 1, std::nullopt},
        {kInf, 15, std::nullopt},
        {-kInf, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        if (c.pixels) {
            EXPECT_EQ(unitsToPixels(c.units, c.perPixel), *c.pixels) << c.units;
        } else {
            EXPECT_EQ(errorOf([&] { unitsToPixels(c.units, c.perPixel); }), 6) << c.units;
        }
    }
}

TEST(UserScale, MapsABoxOntoThePixelsItCoversClippedToTheArea) {
    const std::optional<UserRect> none;
    const struct {
        const char* what;
        double perPixel;
        int width, height;
        std::optional<UserRect> scale;
        UserRect box;
        std::optional<PixelRect> pixels;
    } cases[] = {
        {"the form's twips", 15, 100, 50, none, {0, 0, 1500, 750}, PixelRect{0, 0, 100, 50}},
        {"a box inside", 15, 100, 50, none, {150, 150, 300, 300}, PixelRect{10, 10, 10, 10}},
        {"corners either way", 15, 100, 50, none, {300, 300, 150, 150}, PixelRect{10, 10, 10, 10}},
        {"nearest pixels", 1, 100, 50, none, {10.4f, 0, 20.6f, 5}, PixelRect{10, 0, 11, 5}},
        {"a scale of ten",
         1,
         100,
         50,
         UserRect{0, 0, 10, 10},
         {1, 1, 2, 2},
         PixelRect{10, 5, 10, 5}},
        {"an offset scale",
         1,
         100,
         50,
         UserRect{100, 100, 200, 150},
         {150, 125, 200, 150},
         PixelRect{50, 25, 50, 25}},
        {"y upwards", 15, 10, 48, UserRect{1, 100, 4, 0}, {1, 0, 3, 50}, PixelRect{0, 24, 7, 24}},
        {"over the top left", 1, 100, 50, none, {-5, -5, 5, 5}, PixelRect{0, 0, 5, 5}},
        {"over the bottom right", 1, 100, 50, none, {90, 40, 200, 200}, PixelRect{90, 40, 10, 10}},
        {"far but in reach", 1, 100, 50, none, {0, 0, 999'999, 1}, PixelRect{0, 0, 100, 1}},
        {"beyond the area", 1, 100, 50, none, {200, 200, 300, 300}, std::nullopt},
        {"before the area", 1, 100, 50, none, {-20, -20, -10, -10}, std::nullopt},
        {"no width", 1, 100, 50, none, {5, 5, 5, 9}, std::nullopt},
        {"under half a pixel", 1, 100, 50, none, {5.1f, 5, 5.4f, 9}, std::nullopt},
    };
    for (const auto& c : cases) {
        UserScale scale(c.perPixel, c.width, c.height);
        if (c.scale) {
            scale.set(*c.scale);
        }
        EXPECT_EQ(scale.box(c.box), c.pixels) << c.what;
    }
}

TEST(UserScale, ACoordinateOutOfReachRaisesOverflow) {
    const struct {
        const char* what;
        std::optional<UserRect> scale;
        UserRect box;
    } cases[] = {
        {"a billion pixels", std::nullopt, {0, 0, 1e9f, 1}},
        {"below", std::nullopt, {0, -1e7f, 1, 1}},
        {"not a number", std::nullopt, {kNaNf, 0, 1, 1}},
        {"endless", std::nullopt, {0, 0, kInff, 1}},
        {"small units", UserRect{0, 0, 1e-6f, 1e-6f}, {0, 0, 1, 1}},
    };
    for (const auto& c : cases) {
        UserScale scale(1, 100, 50);
        if (c.scale) {
            scale.set(*c.scale);
        }
        EXPECT_EQ(errorOf([&] { scale.box(c.box); }), 6) << c.what;
    }
}

TEST(UserScale, AnEmptyOrEndlessScaleIsRefusedAndTheLastOneStays) {
    UserScale scale(1, 100, 50);
    scale.set({0, 0, 10, 10});
    const UserRect refused[] = {
        {1, 1, 1, 5},     {1, 1, 5, 1},     {kNaNf, 0, 1, 1},
        {0, kInff, 1, 1}, {0, 0, kInff, 1}, {0, 0, 1, -kInff},
    };
    for (const UserRect& corners : refused) {
        EXPECT_EQ(errorOf([&] { scale.set(corners); }), 5) << corners.x1 << " " << corners.x2;
        EXPECT_EQ(scale.box({1, 1, 2, 2}), (PixelRect{10, 5, 10, 5}));
    }
}

// The same rules through a picture box: a framed 100 x 50 drawing area.
struct BoxFixture : ::testing::Test {
    BoxFixture() {
        form = &rig.runtime.load(testing::kProbeA, probe);
        pic = &form->pictureBox(testing::probe_names::picBox);
    }
    recording::Widget& drawn() { return rig.platform.window("frmA").widget("picBox"); }
    // Runs the body as an event handler: its drawing reaches the window as it returns.
    void handler(const std::function<void()>& body) { rig.runtime.guard("frmA.Form_Click", body); }

    std::vector<std::string> log;
    testing::Probe probe{"frmA", log};
    testing::Rig rig;
    platform::Form* form = nullptr;
    platform::PictureBox* pic = nullptr;
};

TEST_F(BoxFixture, ABoxIsDrawnInTheFormsUnitUntilAScaleIsSet) {
    handler([&] {
        pic->fillBox({0, 0, 150, 150}, 0x0000FF00);
        pic->scale({0, 0, 4, 2});
        pic->fillBox({3, 1, 5, 3}, 0x00FF0000);
        pic->fillBox({-1, -1, -0.5f, -0.5f}, 0x000000FF);  // outside: nothing to draw
    });
    EXPECT_EQ(rig.journal().entries({"fillBox"}),
              (std::vector<std::string>{"fillBox frmA picBox 0,0 10x10 #00FF00",
                                        "fillBox frmA picBox 75,25 25x25 #0000FF"}));
    handler([&] { pic->cls(); });
    EXPECT_TRUE(drawn().boxes.empty());
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(BoxFixture, AFarCoordinateRaisesOverflowAndChangesNothing) {
    handler([&] { pic->fillBox({0, 0, 15, 15}, 0); });
    const std::size_t from = rig.journal().mark();
    handler([&] {
        EXPECT_EQ(errorOf([&] { pic->fillBox({0, 0, 1e12f, 15}, 0); }), 6);
        EXPECT_EQ(errorOf([&] { pic->setLeft(1e12f); }), 6);
        EXPECT_EQ(errorOf([&] { pic->setLeft(kNaNf); }), 6);
        EXPECT_EQ(errorOf([&] { pic->scale({0, 0, 0, 1}); }), 5);
    });
    EXPECT_TRUE(rig.journal().entries({}, from).empty());
    EXPECT_EQ(drawn().boxes.size(), 1u);
    EXPECT_EQ(pic->left(), 150.0f);
}

}  // namespace
}  // namespace pelmora::core

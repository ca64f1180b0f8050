#include "ui/about/frm_about.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "support/rig.h"
#include "ui/about/about_layout.h"

namespace pelmora::ui {
namespace {

using namespace std::chrono_literals;
using recording::quote;

// The About box loaded on its own, as the About command loads it.
struct AboutBox : ::testing::Test {
    platform::Form& load(const platform::FormLayout& layout = kAboutLayout) {
        return rig.runtime.load(layout, about);
    }
    int panelLeft() { return rig.platform.window("frmAbout").widget("Container").rect.left; }

    testing::Rig rig;
    FrmAbout about{rig.runtime};
};

// The About layout with the panel starting elsewhere, counted in the given unit.
struct AboutVariant {
    AboutVariant(int start, platform::ScaleUnit unit) {
        std::copy(std::begin(about_layout::kControls), std::end(about_layout::kControls),
                  controls.begin());
        for (auto& def : controls) {
            if (def.name == frmAbout_names::Container) {
                def.left =
                    unit == platform::ScaleUnit::Pixels ? start * platform::kTwipsPerPixel : start;
            }
        }
        layout.form.unit = unit;
        layout.controls = controls;
    }
    std::array<platform::ControlDef, std::size(about_layout::kControls)> controls{};
    platform::FormLayout layout = kAboutLayout;
};

TEST_F(AboutBox, LoadWritesCaptionVersionAndTitleFromTheApplicationInformation) {
    const struct {
        core::Identity identity;
        std::string caption, version;
    } cases[] = {
        {{"Pelmora", 1, 0, 26}, "About Pelmora", "Version 1.0.26"},
        {{"Other", 12, 3, 4}, "About Other", "Version 12.3.4"},
    };
    for (const auto& c : cases) {
        testing::Rig other(c.identity);
        FrmAbout events{other.runtime};
        other.runtime.load(kAboutLayout, events);
        recording::RecordingWindow& window = other.platform.window("frmAbout");
        EXPECT_EQ(window.caption, c.caption);
        EXPECT_EQ(window.widget("lblVersion").text, c.version);
        EXPECT_EQ(window.widget("lblTitle").text, c.identity.title);
        EXPECT_EQ(other.journal().entries({"setCaption", "setText"}),
                  (std::vector<std::string>{
                      "setCaption frmAbout " + quote(c.caption),
                      "setText frmAbout lblVersion " + quote(c.version),
                      "setText frmAbout lblTitle " + quote(c.identity.title),
                  }));
        EXPECT_FALSE(window.shown);
    }
}

TEST_F(AboutBox, ActivationRestoresTheDefaultPointer) {
    platform::Form& form = load();
    rig.runtime.setMousePointer(platform::MousePointer::Hourglass);
    form.show(platform::ShowMode::Modeless);
    EXPECT_EQ(rig.platform.pointer(), platform::MousePointer::Default);
    rig.runtime.setMousePointer(platform::MousePointer::Hourglass);
    ASSERT_TRUE(rig.platform.activate("frmAbout"));
    // Already the active form: nothing is delivered again.
    EXPECT_EQ(rig.platform.pointer(), platform::MousePointer::Hourglass);
}

TEST_F(AboutBox, ThePanelSlidesInNineStepsOfThirtyPixels) {
    load();
    EXPECT_EQ(panelLeft(), 272);
    std::vector<int> positions;
    while (rig.platform.tick("frmAbout", "AnimateTimer")) {
        positions.push_back(panelLeft());
        ASSERT_LT(positions.size(), 20u);
    }
    EXPECT_EQ(positions, (std::vector<int>{242, 212, 182, 152, 122, 92, 62, 32, 2}));
    EXPECT_EQ(rig.journal().entries({"stopTimer"}),
              std::vector<std::string>{"stopTimer frmAbout AnimateTimer"});
}

TEST_F(AboutBox, TheSlideStopsOnTheTickThatLeavesThirtyOrLess) {
    const struct {
        int start;
        platform::ScaleUnit unit;
        int ticks;
        int rest;  // pixels
    } cases[] = {
        {4080, platform::ScaleUnit::Twips, 135, 2},  // exactly 30 twips ends it
        {60, platform::ScaleUnit::Pixels, 1, 30},   {61, platform::ScaleUnit::Pixels, 2, 1},
        {31, platform::ScaleUnit::Pixels, 1, 1},    {10, platform::ScaleUnit::Pixels, 1, -20},
    };
    for (const auto& c : cases) {
        testing::Rig other;
        FrmAbout events{other.runtime};
        AboutVariant variant(c.start, c.unit);
        other.runtime.load(variant.layout, events);
        EXPECT_EQ(other.platform.tickUntilStopped("frmAbout", "AnimateTimer", 1000), c.ticks)
            << c.start;
        EXPECT_EQ(other.platform.window("frmAbout").widget("Container").rect.left, c.rest);
    }
}

TEST_F(AboutBox, OkClosesTheBoxAtOnceAndNoTickFollows) {
    load().show(platform::ShowMode::Modeless);
    ASSERT_TRUE(rig.platform.tick("frmAbout", "AnimateTimer"));
    ASSERT_TRUE(rig.platform.click("frmAbout", "cmdOK"));
    EXPECT_EQ(rig.runtime.findForm("frmAbout"), nullptr);
    EXPECT_FALSE(rig.platform.window("frmAbout").shown);
    EXPECT_FALSE(rig.platform.tick("frmAbout", "AnimateTimer"));
}

TEST_F(AboutBox, AFailingMoveIsReportedAndTheNextTickMovesOnFromWhereThePanelIs) {
    load();
    rig.journal().failOn("moveWidget frmAbout Container", 1);
    ASSERT_TRUE(rig.platform.tick("frmAbout", "AnimateTimer"));
    EXPECT_EQ(panelLeft(), 272);
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "frmAbout.AnimateTimer_Timer");
    ASSERT_TRUE(rig.platform.tick("frmAbout", "AnimateTimer"));
    EXPECT_EQ(panelLeft(), 242);
}

TEST_F(AboutBox, AFailingStopIsReportedAndThePanelStaysAtRest) {
    load();
    rig.journal().failOn("stopTimer frmAbout AnimateTimer", 1);
    EXPECT_EQ(rig.platform.tickUntilStopped("frmAbout", "AnimateTimer", 9), 9);
    EXPECT_EQ(rig.reports().size(), 1u);
    // The panel is at rest and no later tick moves it.
    EXPECT_EQ(rig.platform.tickUntilStopped("frmAbout", "AnimateTimer", 5), 5);
    EXPECT_EQ(panelLeft(), 2);
}

}  // namespace
}  // namespace pelmora::ui

#include "ui/about/frm_about.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/system_fixture.h"
#include "ui/about/about_layout.h"

namespace pelmora::ui {
namespace {

// The About box loaded on its own, as the About command loads it.
struct AboutBox : testing::SystemFixture {
    fake::FakeForm& load(const platform::FormLayout& layout = kAboutLayout) {
        return static_cast<fake::FakeForm&>(fake.load(layout, about));
    }
    float panelLeft() { return fake.loadedForm("frmAbout").pictureState("Container").position; }

    FrmAbout about{fake};
};

// The About layout with the panel starting elsewhere, or counted in twips.
struct AboutVariant {
    AboutVariant(float start, platform::ScaleUnit unit) {
        std::copy(std::begin(about_layout::kControls), std::end(about_layout::kControls),
                  controls.begin());
        for (auto& def : controls) {
            if (def.name == "Container") {
                def.left = static_cast<std::int32_t>(
                    unit == platform::ScaleUnit::Pixels ? start * platform::kTwipsPerPixel : start);
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
        std::string title;
        std::int16_t major, minor, revision;
        std::string caption, version;
    } cases[] = {
        {"Pelmora", 1, 0, 26, "About Pelmora", "Version 1.0.26"},
        {"Other", 12, 3, 4, "About Other", "Version 12.3.4"},
    };
    for (const auto& c : cases) {
        fake::FakeBackend backend;
        backend.applicationTitle = c.title;
        backend.versionMajor = c.major;
        backend.versionMinor = c.minor;
        backend.versionRevision = c.revision;
        FrmAbout events{backend};
        auto& form = static_cast<fake::FakeForm&>(backend.load(kAboutLayout, events));
        EXPECT_EQ(form.captionText, c.caption);
        EXPECT_EQ(form.labelState("lblVersion").text, c.version);
        EXPECT_EQ(form.labelState("lblTitle").text, c.title);
        EXPECT_EQ(backend.entries({"frmAbout.Caption", "lblVersion", "lblTitle"}),
                  (std::vector<std::string>{"frmAbout.Caption = " + fake::quoted(c.caption),
                                            "lblVersion.Caption = " + fake::quoted(c.version),
                                            "lblTitle.Caption = " + fake::quoted(c.title)}));
    }
}

TEST_F(AboutBox, ActivationRestoresTheDefaultPointer) {
    load();
    fake.setMousePointer(platform::pointer::Hourglass);
    ASSERT_TRUE(fake.activate("frmAbout"));
    EXPECT_EQ(fake.mousePointer(), platform::pointer::Default);
}

TEST_F(AboutBox, ThePanelSlidesInNineStepsOfThirtyPixels) {
    load();
    EXPECT_FLOAT_EQ(panelLeft(), 272);
    std::vector<float> positions;
    while (fake.tick("frmAbout", "AnimateTimer")) {
        positions.push_back(panelLeft());
        ASSERT_LT(positions.size(), 20u);
    }
    EXPECT_EQ(positions, (std::vector<float>{242, 212, 182, 152, 122, 92, 62, 32, 2}));
    EXPECT_EQ(fake.loadedForm("frmAbout").timerState("AnimateTimer").on, platform::kFalse);
}

TEST_F(AboutBox, TheSlideStopsOnTheTickThatLeavesThirtyOrLess) {
    const struct {
        float start;
        platform::ScaleUnit unit;
        int ticks;
        float rest;
    } cases[] = {
        {4080, platform::ScaleUnit::Twips, 135, 30},  // exactly 30 ends it
        {60, platform::ScaleUnit::Pixels, 1, 30},    {61, platform::ScaleUnit::Pixels, 2, 1},
        {31, platform::ScaleUnit::Pixels, 1, 1},     {10, platform::ScaleUnit::Pixels, 1, -20},
    };
    for (const auto& c : cases) {
        fake::FakeBackend backend;
        FrmAbout events{backend};
        AboutVariant variant(c.start, c.unit);
        backend.load(variant.layout, events);
        EXPECT_EQ(backend.tickUntilStopped("frmAbout", "AnimateTimer", 1000), c.ticks) << c.start;
        EXPECT_FLOAT_EQ(backend.loadedForm("frmAbout").pictureState("Container").position, c.rest);
    }
}

TEST_F(AboutBox, OkClosesTheBoxAtOnceAndNoTickFollows) {
    load();
    ASSERT_TRUE(fake.tick("frmAbout", "AnimateTimer"));
    ASSERT_TRUE(fake.click("frmAbout", "cmdOK"));
    EXPECT_EQ(fake.form("frmAbout"), nullptr);
    EXPECT_FALSE(fake.tick("frmAbout", "AnimateTimer"));
}

TEST_F(AboutBox, AFailingMoveIsReportedAndTheNextTickGoesOn) {
    load();
    fake.failOn("Container.Left =", 1);
    ASSERT_TRUE(fake.tick("frmAbout", "AnimateTimer"));
    EXPECT_FLOAT_EQ(panelLeft(), 272);
    ASSERT_EQ(fake.reports().size(), 1u);
    EXPECT_EQ(fake.reports()[0].handler, "frmAbout AnimateTimer_Timer");
    ASSERT_TRUE(fake.tick("frmAbout", "AnimateTimer"));
    EXPECT_FLOAT_EQ(panelLeft(), 242);
}

}  // namespace
}  // namespace pelmora::ui

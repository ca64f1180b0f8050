#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_constants.h"
#include "support/system_fixture.h"

namespace pelmora::app {
namespace {

struct ActionMenu : testing::SystemFixture {
    ActionMenu() { start(); }
    bool choose(std::int16_t index) { return fake.click("frmmain", "mnuAction", index); }
    platform::Bool16 mark(std::int16_t index) {
        return mainForm().itemState("mnuAction", index).mark;
    }
    std::string onTop() {
        return "SetWindowPos " + fake::hex(mainWindow()) + ", -1, 0, 0, 0, 0, 3";
    }
    std::string notOnTop() {
        return "SetWindowPos " + fake::hex(mainWindow()) + ", -2, 0, 0, 0, 0, 3";
    }
    // Runs the About box while it is shown: activation, a few ticks, then OK.
    void aboutClosesWithOk() {
        fake.whileModal([this] {
            topmostWhileOpen = fake.topmost(mainWindow());
            fake.tick("frmAbout", "AnimateTimer");
            fake.tick("frmAbout", "AnimateTimer");
            fake.click("frmAbout", "cmdOK");
        });
    }

    bool topmostWhileOpen = true;
};

TEST_F(ActionMenu, KeepOnTopFlipsTheMarkAndTheTopmostState) {
    const struct {
        platform::Bool16 mark;
        bool topmost;
        bool set;
    } steps[] = {{platform::kTrue, true, true},
                 {platform::kFalse, false, false},
                 {platform::kTrue, true, true}};
    for (const auto& step : steps) {
        const std::size_t from = fake.mark();
        ASSERT_TRUE(choose(0));
        EXPECT_EQ(mark(0), step.mark);
        EXPECT_EQ(fake.topmost(mainWindow()), step.topmost);
        EXPECT_EQ(fake.entries({"SetWindowPos", "mnuAction"}, from),
                  (std::vector<std::string>{
                      "mnuAction(0).Checked -> " + std::to_string(-step.mark - 1),
                      "mnuAction(0).Checked = " + std::to_string(step.mark),
                      "mnuAction(0).Checked -> " + std::to_string(step.mark),
                      step.set ? onTop() : notOnTop(),
                  }));
    }
}

TEST_F(ActionMenu, PreciseValuesSetsTheFlagAtOnceAndTheCaptionsAtTheNextTick) {
    ASSERT_TRUE(choose(1));
    EXPECT_EQ(mark(1), platform::kTrue);
    EXPECT_EQ(frmmain().state().preciseValues, platform::kTrue);
    EXPECT_EQ(caption("lblTotalRam", 0), "Total RAM = 513 MB");
    ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
    EXPECT_EQ(caption("lblTotalRam", 0), "Total RAM = 536870912 Bytes");
    EXPECT_EQ(caption("lblFreeRam", 1), "Free RAM = 268435456 Bytes");
    EXPECT_EQ(fake.trayIcon().tip, "Pelmora  ( Free RAM = 257 MB )");

    ASSERT_TRUE(choose(1));
    EXPECT_EQ(frmmain().state().preciseValues, platform::kFalse);
    ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
    EXPECT_EQ(caption("lblTotalRam", 1), "Total RAM = 513 MB");
}

TEST_F(ActionMenu, ShowUsageMeterOnlyFlipsTheMark) {
    ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
    const std::size_t from = fake.mark();
    ASSERT_TRUE(choose(2));
    EXPECT_EQ(
        fake.entries({}, from),
        (std::vector<std::string>{"event frmmain mnuAction_Click(2)", "mnuAction(2).Checked -> -1",
                                  "mnuAction(2).Checked = 0", "mnuAction(2).Checked -> 0"}));
    EXPECT_EQ(mainForm().pictureState("picGraph").shown, platform::kTrue);
    ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
    EXPECT_EQ(mainForm().pictureState("picGraph").shown, platform::kFalse);
}

TEST_F(ActionMenu, SeparatorsAndUnknownIndexesDoNothing) {
    for (std::int16_t index : {3, 5, 7, -1, 100}) {
        const std::size_t from = fake.mark();
        fake.deliver("frmmain mnuAction_Click", "",
                     [&] { mainForm().events.onClick("mnuAction", index); });
        EXPECT_EQ(fake.entries({}, from).size(), 1u) << index;
    }
    EXPECT_TRUE(fake.reports().empty());
}

TEST_F(ActionMenu, AboutWithoutKeepOnTopLeavesTheWindowOrdinaryAndThePointerAlone) {
    aboutClosesWithOk();
    const std::size_t from = fake.mark();
    ASSERT_TRUE(choose(4));
    EXPECT_EQ(
        fake.entries({"Screen", "SetWindowPos", "Load", "frmAbout.Show", "Unload", "mnuAction(0)"},
                     from),
        (std::vector<std::string>{
            "Screen.MousePointer = 11",
            notOnTop(),
            "Load frmAbout",
            "frmAbout.Show 1",
            "Screen.MousePointer = 0",  // the box's activation
            "Unload frmAbout",
            "mnuAction(0).Checked -> 0",
        }));
    EXPECT_FALSE(fake.topmost(mainWindow()));
    EXPECT_EQ(fake.form("frmAbout"), nullptr);
    EXPECT_TRUE(fake.reports().empty());
}

TEST_F(ActionMenu, AboutWithKeepOnTopDropsTopmostWhileOpenAndRestoresItAfter) {
    ASSERT_TRUE(choose(0));
    aboutClosesWithOk();
    const std::size_t from = fake.mark();
    ASSERT_TRUE(choose(4));
    EXPECT_FALSE(topmostWhileOpen);
    EXPECT_TRUE(fake.topmost(mainWindow()));
    EXPECT_EQ(
        fake.entries({"Screen", "SetWindowPos"}, from),
        (std::vector<std::string>{"Screen.MousePointer = 11", notOnTop(), "Screen.MousePointer = 0",
                                  onTop(), "Screen.MousePointer = 0"}));
}

TEST_F(ActionMenu, AboutCanBeOpenedAgainAndSlidesInAgain) {
    for (int round = 0; round < 2; ++round) {
        fake.whileModal([this] {
            EXPECT_FLOAT_EQ(fake.loadedForm("frmAbout").pictureState("Container").position, 272);
            EXPECT_EQ(fake.loadedForm("frmAbout").captionText, "About Pelmora");
            fake.click("frmAbout", "cmdOK");
        });
        ASSERT_TRUE(choose(4));
    }
    EXPECT_EQ(fake.entries({"Load frmAbout"}).size(), 2u);
    EXPECT_TRUE(fake.reports().empty());
}

TEST_F(ActionMenu, ExitUnloadsTheWindowRemovesIconAndHookAndEnds) {
    ASSERT_TRUE(choose(6));
    EXPECT_EQ(fake.form("frmmain"), nullptr);
    EXPECT_FALSE(fake.trayIcon().present);
    EXPECT_EQ(fake.entries({"SetWindowLongA"}).back(),
              "SetWindowLongA " + fake::hex(0x1001) + ", -4, DefProc(frmmain)");
    EXPECT_TRUE(fake.programEnded());
}

TEST_F(ActionMenu, ExitFromTheTrayWhileAboutIsOpenEndsCleanly) {
    ASSERT_TRUE(choose(0));
    const std::string lastZOrder = notOnTop();
    fake.whileModal([this] {
        fake.chooseInNextPopup(6);
        fake.trayMouse(platform::WM_RBUTTONUP);
        EXPECT_EQ(fake.form("frmmain"), nullptr);
        fake.click("frmAbout", "cmdOK");
    });
    ASSERT_TRUE(choose(4));
    // The main window is not brought back to put it on top again.
    EXPECT_EQ(fake.entries({"Load frmmain"}).size(), 1u);
    EXPECT_EQ(fake.entries({"SetWindowPos"}).back(), lastZOrder);
    EXPECT_FALSE(fake.trayIcon().present);
    EXPECT_TRUE(fake.programEnded());
    EXPECT_TRUE(fake.reports().empty());
}

TEST_F(ActionMenu, AFlippedMarkStaysWhenALaterStepFails) {
    fake.failOn("frmmain.hWnd");
    ASSERT_TRUE(choose(0));
    EXPECT_EQ(mark(0), platform::kTrue);
    EXPECT_TRUE(fake.entries({"SetWindowPos"}).empty());
    ASSERT_EQ(fake.reports().size(), 1u);
    EXPECT_EQ(fake.reports()[0].handler, "frmmain mnuAction_Click");
}

TEST_F(ActionMenu, APopupChoiceRunsTheSameCommands) {
    fake.chooseInNextPopup(0);
    ASSERT_TRUE(fake.mouseDown("frmmain", "", platform::kNoIndex, platform::button::Right));
    EXPECT_EQ(mark(0), platform::kTrue);
    EXPECT_TRUE(fake.topmost(mainWindow()));
    fake.chooseInNextPopup(std::nullopt);  // dismissed
    ASSERT_TRUE(fake.mouseDown("frmmain", "picGraph", platform::kNoIndex, platform::button::Right));
    EXPECT_EQ(mark(0), platform::kTrue);
}

}  // namespace
}  // namespace pelmora::app

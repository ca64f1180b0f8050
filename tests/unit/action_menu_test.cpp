#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/form.h"
#include "platform/win_constants.h"
#include "support/system_fixture.h"
#include "ui/main/frmmain.h"

namespace pelmora::app {
namespace {

using ui::ActionItem;

constexpr const char* kOnTop = "SetWindowPos frmmain HWND_TOPMOST 0 0 0 0 SWP_NOMOVE|SWP_NOSIZE";
constexpr const char* kNotOnTop =
    "SetWindowPos frmmain HWND_NOTOPMOST 0 0 0 0 SWP_NOMOVE|SWP_NOSIZE";

struct ActionMenu : testing::SystemFixture {
    ActionMenu() { start(); }
    // Runs the About box while it is shown: a few ticks, then OK.
    void aboutClosesWithOk() {
        platform.whileModal([this] {
            topmostWhileOpen = mainWindow().topmost;
            platform.tick("frmAbout", "AnimateTimer");
            platform.tick("frmAbout", "AnimateTimer");
            platform.click("frmAbout", "cmdOK");
        });
    }
    ui::FrmMain& frmmain() {
        return static_cast<ui::FrmMain&>(
            dynamic_cast<core::CoreForm&>(rig.form("frmmain")).events());
    }

    bool topmostWhileOpen = true;
};

TEST_F(ActionMenu, KeepOnTopFlipsTheMarkAndTheTopmostState) {
    for (const bool on : {true, false, true}) {
        const std::size_t from = journal.mark();
        ASSERT_TRUE(chooseInMenu("Keep on top"));
        EXPECT_EQ(mark(ActionItem::KeepOnTop), on);
        EXPECT_EQ(mainWindow().topmost, on);
        EXPECT_EQ(journal.entries({"SetWindowPos"}, from),
                  std::vector<std::string>{on ? kOnTop : kNotOnTop});
        // The next menu shows the mark.
        platform.dismissNextPopup();
        ASSERT_TRUE(platform.pressBackground("frmmain", platform::MouseButton::Right));
        EXPECT_EQ(mainWindow().lastPopup[0].checked, on);
    }
}

TEST_F(ActionMenu, PreciseValuesTakesEffectAtTheNextTick) {
    ASSERT_TRUE(chooseInMenu("Precise Values"));
    EXPECT_TRUE(mark(ActionItem::PreciseValues));
    EXPECT_EQ(caption("lblTotalRam", 0), "Total RAM = 513 MB");
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    EXPECT_EQ(caption("lblTotalRam", 0), "Total RAM = 536870912 Bytes");
    EXPECT_EQ(caption("lblFreeRam", 1), "Free RAM = 268435456 Bytes");
    EXPECT_EQ(os.trayIcon().tip, "Pelmora  ( Free RAM = 257 MB )");

    ASSERT_TRUE(chooseInMenu("Precise Values"));
    EXPECT_FALSE(mark(ActionItem::PreciseValues));
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    EXPECT_EQ(caption("lblTotalRam", 1), "Total RAM = 513 MB");
}

TEST_F(ActionMenu, ShowUsageMeterOnlyFlipsTheMarkTheTickShowsIt) {
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    const std::size_t from = journal.mark();
    ASSERT_TRUE(chooseInMenu("Show Usage Meter"));
    EXPECT_EQ(journal.entries({}, from).size(), 3u);  // the press, the menu and the choice
    EXPECT_TRUE(mainWindow().widget("picGraph").visible);
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    EXPECT_FALSE(mainWindow().widget("picGraph").visible);
}

TEST_F(ActionMenu, SeparatorsAndUnknownIndexesDoNothing) {
    for (std::size_t row : {3u, 5u, 9u}) {
        platform.chooseRowInNextPopup(row);
        const std::size_t from = journal.mark();
        ASSERT_TRUE(platform.pressBackground("frmmain", platform::MouseButton::Right));
        EXPECT_EQ(journal.entries({}, from).size(), 3u) << row;
    }
    for (std::int16_t index : {3, 5, 7, -1, 100}) {
        const std::size_t from = journal.mark();
        frmmain().onClick(ui::frmmain_names::mnuAction, index);
        EXPECT_TRUE(journal.entries({}, from).empty()) << index;
    }
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(ActionMenu, AboutWithoutKeepOnTopLeavesTheWindowOrdinaryAndThePointerAlone) {
    aboutClosesWithOk();
    const std::size_t from = journal.mark();
    ASSERT_TRUE(chooseInMenu("About"));
    EXPECT_EQ(journal.entries({"setPointer", "SetWindowPos", "createWindow", "show", "activate",
                               "runModalLoop", "endModalLoop", "hide"},
                              from),
              (std::vector<std::string>{
                  "setPointer Hourglass",
                  kNotOnTop,
                  "createWindow frmAbout 278x170",
                  "show frmAbout Normal",
                  "activate frmAbout",
                  "setPointer Default",  // the box's activation
                  "runModalLoop frmAbout",
                  "endModalLoop frmAbout",
                  "hide frmAbout",
                  "activate frmmain",
              }));
    EXPECT_FALSE(mainWindow().topmost);
    EXPECT_EQ(runtime.findForm("frmAbout"), nullptr);
    EXPECT_EQ(platform.pointer(), platform::MousePointer::Default);
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(ActionMenu, AboutWithKeepOnTopDropsTopmostWhileOpenAndRestoresItAfter) {
    ASSERT_TRUE(chooseInMenu("Keep on top"));
    aboutClosesWithOk();
    const std::size_t from = journal.mark();
    ASSERT_TRUE(chooseInMenu("About"));
    EXPECT_FALSE(topmostWhileOpen);
    EXPECT_TRUE(mainWindow().topmost);
    EXPECT_EQ(journal.entries({"setPointer", "SetWindowPos"}, from),
              (std::vector<std::string>{"setPointer Hourglass", kNotOnTop, "setPointer Default",
                                        kOnTop}));
}

TEST_F(ActionMenu, AboutCanBeOpenedAgainAndSlidesInAgain) {
    for (int round = 0; round < 2; ++round) {
        platform.whileModal([this] {
            recording::RecordingWindow& about = platform.window("frmAbout");
            EXPECT_EQ(about.owner, "frmmain");
            EXPECT_EQ(about.widget("Container").rect.left, 272);
            EXPECT_EQ(about.caption, "About Pelmora");
            platform.tick("frmAbout", "AnimateTimer");
            EXPECT_EQ(about.widget("Container").rect.left, 242);
            platform.click("frmAbout", "cmdOK");
        });
        ASSERT_TRUE(chooseInMenu("About"));
    }
    EXPECT_EQ(journal.count("createWindow frmAbout"), 2u);
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(ActionMenu, TheMeterIsDrawnAsATickReturnsWhileAboutIsOpen) {
    struct Tick {
        std::uint64_t free;
        std::vector<std::string> drawn;  // as the tick returns, the About box still open
    };
    const Tick ticks[] = {
        {200 << 20,
         {"clearDrawing frmmain picGraph", "fillBox frmmain picGraph 0,29 7x19 #00FF00",
          "repaint frmmain picGraph"}},
        {200 << 20, {}},  // the same bar
        {201 << 20, {}},  // another figure, the same bar
        {50 << 20,
         {"clearDrawing frmmain picGraph", "fillBox frmmain picGraph 0,43 7x5 #FF0000",
          "repaint frmmain picGraph"}},
    };
    std::vector<std::vector<std::string>> seen;
    platform.whileModal([&] {
        for (const Tick& tick : ticks) {
            os.memory.availPhys = tick.free;
            const std::size_t from = journal.mark();
            ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
            seen.push_back(journal.entries({"clearDrawing", "fillBox", "repaint"}, from));
            ASSERT_NE(runtime.findForm("frmAbout"), nullptr);
        }
        platform.click("frmAbout", "cmdOK");
    });
    ASSERT_TRUE(chooseInMenu("About"));
    ASSERT_EQ(seen.size(), std::size(ticks));
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], ticks[i].drawn) << "tick " << i;
    }
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(ActionMenu, ClosingTheAboutBoxByItsFrameIsLikeOk) {
    platform.whileModal([] {});  // the user closes it by its frame
    ASSERT_TRUE(chooseInMenu("About"));
    EXPECT_EQ(runtime.findForm("frmAbout"), nullptr);
    EXPECT_EQ(journal.count("close frmAbout"), 1u);
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(ActionMenu, ExitUnloadsTheWindowRemovesIconAndHookAndEnds) {
    ASSERT_TRUE(chooseInMenu("Exit"));
    EXPECT_EQ(runtime.findForm("frmmain"), nullptr);
    EXPECT_FALSE(os.trayIcon().present);
    EXPECT_EQ(journal.entries({"SetWindowLongA"}).back(),
              "SetWindowLongA frmmain GWL_WNDPROC DefProc(frmmain)");
    EXPECT_TRUE(runtime.ended());
    EXPECT_TRUE(platform.quitRequested());
}

TEST_F(ActionMenu, ExitFromTheTrayWhileAboutIsOpenEndsCleanly) {
    ASSERT_TRUE(chooseInMenu("Keep on top"));
    platform.whileModal([this] {
        platform.chooseInNextPopup("Exit");
        os.trayMouse(platform::WM_RBUTTONUP);
        EXPECT_EQ(runtime.findForm("frmmain"), nullptr);
        EXPECT_FALSE(runtime.ended());  // the About box is still loaded
        platform.click("frmAbout", "cmdOK");
    });
    ASSERT_TRUE(chooseInMenu("About"));
    // The main window is not brought back to put it on top again.
    EXPECT_EQ(journal.count("createWindow frmmain"), 1u);
    EXPECT_EQ(journal.entries({"SetWindowPos"}).back(), kNotOnTop);
    EXPECT_FALSE(os.trayIcon().present);
    EXPECT_TRUE(runtime.ended());
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(ActionMenu, AFlippedMarkStaysWhenALaterStepFails) {
    journal.failOn("SetWindowPos", 0, platform::Error(5, "no z-order"));
    ASSERT_TRUE(chooseInMenu("Keep on top"));
    EXPECT_TRUE(mark(ActionItem::KeepOnTop));
    EXPECT_FALSE(mainWindow().topmost);
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "frmmain.mnuAction_Click");
    EXPECT_EQ(rig.reports()[0].number, 5);
}

TEST_F(ActionMenu, ADismissedMenuChangesNothing) {
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    platform.dismissNextPopup();
    const std::size_t from = journal.mark();
    ASSERT_TRUE(
        platform.press("frmmain", "picGraph", platform::kNoIndex, platform::MouseButton::Right));
    EXPECT_EQ(journal.entries({}, from).size(), 3u);  // the press, the menu and its dismissal
    EXPECT_FALSE(mark(ActionItem::KeepOnTop));
    EXPECT_TRUE(mark(ActionItem::ShowUsageMeter));
}

TEST_F(ActionMenu, TheKeyboardOpensTheMenuBelowTheWindowAndTheFocusComesBackAfterTheBox) {
    using core::Key;
    const platform::Modifiers none, shift{true};
    struct Case {
        const char* what;
        Key key;
        platform::Modifiers modifiers;
        bool opens;
    };
    const Case cases[] = {{"context-menu key", Key::ContextMenu, none, true},
                          {"Shift+F10", Key::F10, shift, true},
                          {"F10 alone", Key::F10, none, false},
                          {"Enter: no button", Key::Enter, none, false}};
    const core::PixelRect frame = mainWindow().frameRect;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t from = journal.mark();
        if (c.opens) {
            platform.dismissNextPopup();
        }
        ASSERT_TRUE(platform.key("frmmain", c.key, c.modifiers));
        EXPECT_EQ(journal.count("popupMenu", from), c.opens ? 1u : 0u);
        if (c.opens) {
            EXPECT_EQ(mainWindow().lastPopupAt,
                      (core::PixelPoint{frame.left, frame.top + frame.height}));
        }
    }
    // About from the keyboard; Escape closes the box, and the main window has the focus again.
    platform.chooseInNextPopup("About");
    platform.whileModal([this] {
        mainWindow().focused = "elsewhere";
        platform.key("frmAbout", Key::Escape);
    });
    ASSERT_TRUE(platform.key("frmmain", Key::ContextMenu));
    const recording::RecordingWindow* about = platform.find("frmAbout");
    EXPECT_TRUE(about == nullptr || !about->shown);
    EXPECT_EQ(mainWindow().focused, "frmmain");
}

}  // namespace
}  // namespace pelmora::app

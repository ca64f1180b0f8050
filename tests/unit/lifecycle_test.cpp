#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_constants.h"
#include "support/system_fixture.h"

namespace pelmora::app {
namespace {

using namespace std::chrono_literals;
using platform::ErrorCode;
using recording::quote;

struct Lifecycle : testing::SystemFixture {
    // The captions of the six figure labels, red and white of each.
    std::vector<std::string> figures() {
        std::vector<std::string> out;
        for (auto name : {"lblTotalRam", "lblFreeRam", "lblRamUsage"}) {
            for (std::int16_t i : {0, 1}) {
                out.push_back(caption(name, i));
            }
        }
        return out;
    }
    const recording::Widget& meter() { return mainWindow().widget("picGraph"); }
};

TEST_F(Lifecycle, ASecondCopyPointsToTheTrayAndEndsBeforeAnyWindow) {
    for (const std::string exe : {"Pelmora", "Copy of Pelmora"}) {
        testing::Rig second;
        second.platform.otherInstance = true;
        second.platform.exeName = exe;
        Main(second.runtime, second.os);
        const std::string prompt =
            exe + " is Already running.\r\nPlease check out the Window's Tray.";
        EXPECT_EQ(second.journal().entries(),
                  (std::vector<std::string>{
                      "otherInstanceRunning -> true",
                      "executableName -> " + quote(exe),
                      "messageBox \"Pelmora\" " + quote(prompt) + " Critical",
                      "quit",
                  }));
        EXPECT_TRUE(second.runtime.ended());
        EXPECT_FALSE(second.os.trayIcon().present);
        EXPECT_TRUE(second.reports().empty());
    }
}

TEST_F(Lifecycle, AnInstanceCheckThatCannotTellLetsThisCopyRunAndSaysSoOnce) {
    journal.failOn("otherInstanceRunning", 0,
                   core::NativeFailure(core::Failed::InstanceGuard, "lock"));
    start();
    EXPECT_TRUE(mainWindow().shown);
    EXPECT_FALSE(runtime.prevInstance());
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "App.PrevInstance");
    EXPECT_EQ(rig.reports()[0].number, 75);
}

TEST_F(Lifecycle, TheRunningCopyGoesOnUnchangedWhenASecondStarts) {
    start();
    testing::Rig second;
    second.platform.otherInstance = true;
    Main(second.runtime, second.os);
    // The first copy's tray icon and hook still answer on its own layer.
    const std::size_t from = journal.mark();
    EXPECT_EQ(os.trayMouse(platform::WM_LBUTTONUP), 0);
    EXPECT_EQ(journal.count("bringToFront frmmain", from), 1u);
    EXPECT_TRUE(platform.tick("frmmain", "MainTimer"));
    EXPECT_EQ(os.trayIcon().tip, "Pelmora  ( Free RAM = 257 MB )");
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(Lifecycle, TheWindowIsShownOnlyAfterTheFirstRefreshTheHookAndTheIcon) {
    start();
    EXPECT_EQ(journal.entries({"createWindow", "startTimer", "GlobalMemoryStatusEx",
                               "SetWindowLongA", "Shell_NotifyIconA NIM_ADD", "show", "activate"}),
              (std::vector<std::string>{
                  "createWindow frmmain 208x51",
                  "startTimer frmmain MainTimer 30",
                  "GlobalMemoryStatusEx dwLength=64",
                  "SetWindowLongA frmmain GWL_WNDPROC Tray_WndProc",
                  "Shell_NotifyIconA NIM_ADD frmmain uID=0 message=2025 icon=0x2001",
                  "show frmmain Normal",
                  "activate frmmain",
              }));
    // Main has returned; the program runs on with real figures, no meter and no tip yet.
    EXPECT_FALSE(runtime.ended());
    EXPECT_TRUE(mainWindow().shown);
    EXPECT_EQ(figures(), (std::vector<std::string>{"Total RAM = 513 MB", "Total RAM = 513 MB",
                                                   "Free RAM = 257 MB", "Free RAM = 257 MB",
                                                   "Usage = 49 %", "Usage = 49 %"}));
    EXPECT_FALSE(meter().visible);
    ASSERT_TRUE(os.trayIcon().present);
    EXPECT_EQ(os.trayIcon().tip, "");
    EXPECT_EQ(mainWindow().wndProc, reinterpret_cast<std::intptr_t>(&tray::Tray_WndProc));
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(Lifecycle, AFailingFirstRefreshLeavesHookAndIconToTheFirstGoodTick) {
    journal.failOn("GlobalMemoryStatusEx", 1);
    start();
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "frmmain.Form_Load");
    EXPECT_EQ(rig.reports()[0].number, 31001);
    EXPECT_TRUE(journal.entries({"SetWindowLongA"}).empty());
    EXPECT_FALSE(os.trayIcon().present);
    EXPECT_EQ(mainWindow().wndProc, mainWindow().defaultProc);
    // The window is still shown with its layout's texts, and the next tick fills it in.
    EXPECT_TRUE(mainWindow().shown);
    EXPECT_EQ(caption("lblFreeRam", 0), "Free RAM:");
    EXPECT_TRUE(platform.tick("frmmain", "MainTimer"));
    EXPECT_EQ(caption("lblFreeRam", 0), "Free RAM = 257 MB");
    EXPECT_EQ(mainWindow().wndProc, reinterpret_cast<std::intptr_t>(&tray::Tray_WndProc));
    EXPECT_TRUE(os.trayIcon().present);
    // Once: later ticks only change the tip.
    EXPECT_TRUE(platform.tick("frmmain", "MainTimer"));
    EXPECT_EQ(journal.count("SetWindowLongA"), 1u);
    EXPECT_EQ(journal.count("Shell_NotifyIconA NIM_ADD"), 1u);
    EXPECT_EQ(os.trayIcon().tip, "Pelmora  ( Free RAM = 257 MB )");
    // The icon leads to the window as usual.
    EXPECT_EQ(os.trayMouse(platform::WM_LBUTTONUP), 0);
    EXPECT_EQ(journal.entries({"bringToFront"}).size(), 1u);
}

TEST_F(Lifecycle, EachTickRefreshesAndTheMeterFollowsTheMenuMark) {
    start();
    const struct {
        bool flip;         // the user flips "Show Usage Meter" before the tick
        bool visible;      // the meter after the tick
        bool meterCalled;  // only a change reaches the screen
    } steps[] = {
        {false, true, true}, {true, false, true}, {false, false, false}, {true, true, true}};
    for (const auto& step : steps) {
        if (step.flip) {
            ASSERT_TRUE(chooseInMenu("Show Usage Meter"));
        }
        os.memory.availPhys += 1 << 20;
        const std::size_t from = journal.mark();
        ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
        const auto calls =
            journal.entries({"GlobalMemoryStatusEx", "setVisible", "Shell_NotifyIconA"}, from);
        ASSERT_EQ(calls.size(), step.meterCalled ? 3u : 2u);
        EXPECT_EQ(calls[0], "GlobalMemoryStatusEx dwLength=64");
        EXPECT_EQ(calls[1].rfind("Shell_NotifyIconA NIM_MODIFY", 0), 0u);
        if (step.meterCalled) {
            EXPECT_EQ(calls[2], std::string("setVisible frmmain picGraph ") +
                                    (step.visible ? "true" : "false"));
        }
        EXPECT_EQ(meter().visible, step.visible);
        EXPECT_EQ(mark(ui::ActionItem::ShowUsageMeter), step.visible);
    }
    EXPECT_EQ(os.trayIcon().tip, "Pelmora  ( Free RAM = 261 MB )");
}

TEST_F(Lifecycle, AFailingTickRefreshLeavesTheMeterAsItWasAndTheNextTickRecovers) {
    start();
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    ASSERT_TRUE(chooseInMenu("Show Usage Meter"));
    os.memory.totalPhys = 0;
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "frmmain.MainTimer_Timer");
    EXPECT_EQ(rig.reports()[0].number, 11);
    EXPECT_TRUE(meter().visible);
    EXPECT_EQ(caption("lblTotalRam", 1), "Total RAM = 0 KB");

    os.memory.totalPhys = 1ull << 30;
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    EXPECT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(caption("lblTotalRam", 1), "Total RAM = 1025 MB");
    EXPECT_FALSE(meter().visible);
}

TEST_F(Lifecycle, ClosingDeletesTheIconThenUnhooksStopsAndEndsTheProgram) {
    start();
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    const std::size_t from = journal.mark();
    ASSERT_TRUE(platform.close("frmmain"));
    EXPECT_EQ(journal.entries({}, from), (std::vector<std::string>{
                                             "close frmmain",
                                             "Shell_NotifyIconA NIM_DELETE frmmain uID=0",
                                             "SetWindowLongA frmmain GWL_WNDPROC DefProc(frmmain)",
                                             "stopTimer frmmain MainTimer",
                                             "hide frmmain",
                                             "quit",
                                             "post",
                                         }));
    EXPECT_FALSE(os.trayIcon().present);
    EXPECT_TRUE(runtime.ended());
    EXPECT_FALSE(platform.tick("frmmain", "MainTimer"));
    EXPECT_TRUE(rig.reports().empty());
    // The window itself goes with the posted clean-up.
    EXPECT_EQ(platform.runPosted(), 1);
    EXPECT_EQ(platform.find("frmmain"), nullptr);
}

TEST_F(Lifecycle, AFailingIconDeleteStillLetsTheUnloadGoAhead) {
    start();
    journal.failOn("Shell_NotifyIconA", 0, platform::Error(77, "shell gone"));
    ASSERT_TRUE(platform.close("frmmain"));
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "frmmain.Form_Unload");
    EXPECT_EQ(rig.reports()[0].number, 77);
    EXPECT_EQ(runtime.findForm("frmmain"), nullptr);
    EXPECT_EQ(tray::apiStuff().hookedForm, nullptr);
    EXPECT_TRUE(runtime.ended());
    // The icon the shell still shows leads nowhere once the program has quit.
    EXPECT_EQ(os.trayMouse(platform::WM_LBUTTONUP), std::nullopt);
    platform.runPosted();
    EXPECT_FALSE(os.trayIcon().present);
}

TEST_F(Lifecycle, ErrorsAreReportedAndTheProgramGoesOn) {
    start();
    journal.failOn("setText frmmain lblRamUsage(0)", 1);
    journal.failOn("fillBox frmmain picGraph", 2);
    for (int i = 0; i < 4; ++i) {
        os.memory.load = 10 + i;
        os.memory.availPhys += 64 << 20;  // a bar of another height each time
        ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
        rig.clock.advance(1min);
    }
    ASSERT_EQ(rig.reports().size(), 2u);
    EXPECT_EQ(rig.reports()[0].handler, "frmmain.MainTimer_Timer");
    EXPECT_EQ(rig.reports()[1].handler, "frmmain.MainTimer_Timer");
    EXPECT_EQ(rig.reports()[1].number, recording::kInjectedError);
    EXPECT_EQ(caption("lblRamUsage", 0), "Usage = 13 %");
    EXPECT_TRUE(meter().visible);
    EXPECT_FALSE(runtime.ended());
}

TEST_F(Lifecycle, ATextThatFailedToShowIsShownByTheNextTickEvenWhenTheFigureStaysTheSame) {
    start();
    os.memory.load = 77;
    journal.failOn("setText frmmain lblRamUsage(0)", 1);
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    EXPECT_EQ(caption("lblRamUsage", 0), "Usage = 49 %");
    ASSERT_TRUE(platform.tick("frmmain", "MainTimer"));
    EXPECT_EQ(caption("lblRamUsage", 0), "Usage = 77 %");
    EXPECT_EQ(caption("lblRamUsage", 1), "Usage = 77 %");
}

}  // namespace
}  // namespace pelmora::app

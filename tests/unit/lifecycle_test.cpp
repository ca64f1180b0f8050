#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_constants.h"
#include "support/system_fixture.h"

namespace pelmora::app {
namespace {

using Lifecycle = testing::SystemFixture;

TEST_F(Lifecycle, ASecondCopyPointsToTheTrayAndEndsBeforeAnyWindow) {
    const struct {
        platform::Bool16 flag;
        std::string exe;
    } cases[] = {{-1, "Pelmora"}, {1, "Pelmora"}, {0x100, "Copy of Pelmora"}};
    for (const auto& c : cases) {
        fake::FakeBackend second;
        second.previousInstance = c.flag;
        second.executableName = c.exe;
        Main(second, second);
        const std::string prompt =
            c.exe + " is Already running.\r\nPlease check out the Window's Tray.";
        EXPECT_EQ(second.journal(), (std::vector<std::string>{
                                        "App.PrevInstance -> " + std::to_string(c.flag),
                                        "App.EXEName -> " + fake::quoted(c.exe),
                                        "MsgBox " + fake::quoted(prompt) + ", 16",
                                        "End",
                                    }));
        ASSERT_EQ(second.messageBoxes().size(), 1u);
        EXPECT_EQ(second.messageBoxes()[0].prompt, prompt);
        EXPECT_EQ(second.messageBoxes()[0].style, platform::msgbox::Critical);
        EXPECT_TRUE(second.ended());
        EXPECT_FALSE(second.trayIcon().present);
    }
}

TEST_F(Lifecycle, TheRunningCopyGoesOnUnchangedWhenASecondStarts) {
    start();
    fake::FakeBackend second;
    second.previousInstance = platform::kTrue;
    Main(second, second);
    // The first copy's tray icon and hook still answer on its own fake.
    EXPECT_EQ(fake.trayMouse(platform::WM_LBUTTONUP), 0);
    EXPECT_EQ(mainForm().focusCount, 1);
    EXPECT_TRUE(fake.tick("frmmain", "MainTimer"));
    EXPECT_EQ(fake.trayIcon().tip, "Pelmora  ( Free RAM = 257 MB )");
    EXPECT_TRUE(fake.reports().empty());
}

TEST_F(Lifecycle, TheWindowIsShownOnlyAfterTheFirstRefreshTheHookAndTheIcon) {
    start();
    const std::string h = fake::hex(mainWindow());
    EXPECT_EQ(fake.entries({"Load", "event", "GlobalMemoryStatusEx", "SetWindowLongA",
                            "Shell_NotifyIconA NIM_ADD", "frmmain.Show"}),
              (std::vector<std::string>{
                  "Load frmmain",
                  "event frmmain Form_Load",
                  "GlobalMemoryStatusEx dwLength=64",
                  "SetWindowLongA " + h + ", -4, Tray_WndProc",
                  "Shell_NotifyIconA NIM_ADD cbSize=88 hWnd=" + h +
                      " uID=0 uFlags=3 uCallbackMessage=2025 hIcon=" + fake::hex(mainForm().icon) +
                      " szTip=\"Pelmora  ( Free RAM = 257 MB )\"",
                  "frmmain.Show 0",
                  "event frmmain Form_Activate",
              }));
    // Main has returned; the program runs on with real figures, no meter and no tip yet.
    EXPECT_FALSE(fake.ended());
    EXPECT_TRUE(mainForm().visible);
    EXPECT_EQ(caption("lblTotalRam", 0), "Total RAM = 513 MB");
    EXPECT_EQ(caption("lblRamUsage", 1), "Usage = 49 %");
    EXPECT_EQ(mainForm().pictureState("picGraph").shown, platform::kFalse);
    ASSERT_TRUE(fake.trayIcon().present);
    EXPECT_EQ(fake.trayIcon().tip, "");
    EXPECT_EQ(fake.wndProc(mainWindow()), reinterpret_cast<std::intptr_t>(&tray::Tray_WndProc));
    EXPECT_TRUE(fake.reports().empty());
}

TEST_F(Lifecycle, AFailingFirstRefreshLeavesNeitherHookNorIcon) {
    fake.failOn("GlobalMemoryStatusEx", 1);
    start();
    ASSERT_EQ(fake.reports().size(), 1u);
    EXPECT_EQ(fake.reports()[0].handler, "frmmain Form_Load");
    EXPECT_EQ(fake.reports()[0].number, platform::errnum::MemoryStatusUnavailable);
    EXPECT_TRUE(fake.entries({"SetWindowLongA"}).empty());
    EXPECT_FALSE(fake.trayIcon().present);
    EXPECT_EQ(fake.wndProc(mainWindow()), fake.defaultProcOf(mainWindow()));
    // The window is still shown and the next tick fills it in.
    EXPECT_TRUE(mainForm().visible);
    EXPECT_TRUE(fake.tick("frmmain", "MainTimer"));
    EXPECT_EQ(caption("lblFreeRam", 0), "Free RAM = 257 MB");
}

TEST_F(Lifecycle, EachTickRefreshesAndMakesTheMeterFollowTheMenuMark) {
    start();
    const struct {
        platform::Bool16 mark;
        platform::Bool16 visible;
    } steps[] = {{platform::kTrue, platform::kTrue},
                 {platform::kFalse, platform::kFalse},
                 {platform::kFalse, platform::kFalse},
                 {platform::kTrue, platform::kTrue}};
    for (const auto& step : steps) {
        mainForm().itemState("mnuAction", 2).mark = step.mark;
        fake.memory.availPhys += 1 << 20;
        const std::size_t from = fake.mark();
        ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
        const auto calls = fake.entries(
            {"GlobalMemoryStatusEx", "mnuAction", "picGraph.Visible", "Shell_NotifyIconA"}, from);
        ASSERT_EQ(calls.size(), 4u);
        EXPECT_EQ(calls[0], "GlobalMemoryStatusEx dwLength=64");
        EXPECT_EQ(calls[1].rfind("Shell_NotifyIconA NIM_MODIFY", 0), 0u);
        EXPECT_EQ(calls[2], "mnuAction(2).Checked -> " + std::to_string(step.mark));
        EXPECT_EQ(calls[3], "picGraph.Visible = " + std::to_string(step.mark));
        EXPECT_EQ(mainForm().pictureState("picGraph").shown, step.visible);
    }
    EXPECT_EQ(fake.trayIcon().tip, "Pelmora  ( Free RAM = 261 MB )");
}

TEST_F(Lifecycle, AFailingTickRefreshLeavesTheMeterAsItWasAndTheNextTickRecovers) {
    start();
    ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
    mainForm().itemState("mnuAction", 2).mark = platform::kFalse;
    fake.memory.totalPhys = 0;
    ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
    ASSERT_EQ(fake.reports().size(), 1u);
    EXPECT_EQ(fake.reports()[0].handler, "frmmain MainTimer_Timer");
    EXPECT_EQ(fake.reports()[0].number, platform::errnum::DivisionByZero);
    EXPECT_EQ(mainForm().pictureState("picGraph").shown, platform::kTrue);
    EXPECT_EQ(caption("lblTotalRam", 1), "Total RAM = 0 KB");

    fake.memory.totalPhys = 1ull << 30;
    ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
    EXPECT_EQ(fake.reports().size(), 1u);
    EXPECT_EQ(caption("lblTotalRam", 1), "Total RAM = 1025 MB");
    EXPECT_EQ(mainForm().pictureState("picGraph").shown, platform::kFalse);
}

TEST_F(Lifecycle, UnloadingDeletesTheIconThenUnhooksAndEndsTheProgram) {
    start();
    ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
    const platform::Hwnd window = mainWindow();
    const std::size_t from = fake.mark();
    ASSERT_TRUE(fake.closeByFrame("frmmain"));
    EXPECT_EQ(
        fake.entries({"Unload", "event", "Shell_NotifyIconA", "SetWindowLongA", "no form"}, from),
        (std::vector<std::string>{
            "Unload frmmain",
            "event frmmain Form_Unload",
            "Shell_NotifyIconA NIM_DELETE cbSize=88 hWnd=" + fake::hex(window) +
                " uID=0 uFlags=0 uCallbackMessage=2025 hIcon=" + fake::hex(0x2001) +
                " szTip=\"Pelmora  ( Free RAM = 257 MB )\"",
            "SetWindowLongA " + fake::hex(window) + ", -4, DefProc(frmmain)",
            "no form left",
            "event frmmain Form_Terminate",
            "Unload frmmain (not loaded)",
        }));
    EXPECT_FALSE(fake.trayIcon().present);
    EXPECT_TRUE(fake.programEnded());
    EXPECT_FALSE(fake.tick("frmmain", "MainTimer"));
    EXPECT_TRUE(fake.reports().empty());
}

TEST_F(Lifecycle, AFailingIconDeleteStillLetsTheUnloadGoAhead) {
    start();
    fake.failOn("Shell_NotifyIconA", 0, platform::Error(77, "shell gone"));
    ASSERT_TRUE(fake.closeByFrame("frmmain"));
    ASSERT_EQ(fake.reports().size(), 1u);
    EXPECT_EQ(fake.reports()[0].handler, "frmmain Form_Unload");
    EXPECT_EQ(fake.form("frmmain"), nullptr);
    EXPECT_EQ(tray::apiStuff().hookedForm, nullptr);
    // A late callback from the shell cannot reach the window that is gone.
    EXPECT_EQ(fake.trayMouse(platform::WM_LBUTTONUP), std::nullopt);
}

TEST_F(Lifecycle, ErrorsAreReportedAndTheProgramGoesOn) {
    start();
    fake.failOn("lblRamUsage(0).Caption =", 1);
    fake.failOn("mnuAction(2).Checked", 1);
    for (int i = 0; i < 4; ++i) {
        fake.memory.load = 10 + i;
        ASSERT_TRUE(fake.tick("frmmain", "MainTimer"));
    }
    ASSERT_EQ(fake.reports().size(), 2u);
    EXPECT_EQ(fake.reports()[0].handler, "frmmain MainTimer_Timer");
    EXPECT_EQ(fake.reports()[1].handler, "frmmain MainTimer_Timer");
    EXPECT_EQ(caption("lblRamUsage", 0), "Usage = 13 %");
    EXPECT_EQ(mainForm().pictureState("picGraph").shown, platform::kTrue);
    EXPECT_FALSE(fake.ended());
}

}  // namespace
}  // namespace pelmora::app

#include "tray/api_stuff.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win_constants.h"
#include "support/system_fixture.h"

namespace pelmora::tray {
namespace {

using namespace std::chrono_literals;
using platform::NOTIFYICONDATAA;

std::array<unsigned char, 64> tipBytes(const NOTIFYICONDATAA& data) {
    std::array<unsigned char, 64> bytes{};
    std::memcpy(bytes.data(), data.szTip, 64);
    return bytes;
}

std::array<unsigned char, 64> expectedTip(std::string_view text) {
    std::array<unsigned char, 64> bytes{};
    bytes.fill(0x20);
    std::memcpy(bytes.data(), text.data(), text.size());
    bytes[text.size()] = 0;
    return bytes;
}

TEST(StoreTip, TextThenOneNulThenBlanks) {
    const std::string sixtyThree(63, 'x');
    const std::string sixtyFour = std::string(63, 'y') + "Z";
    const std::string long100(100, 'q');
    const struct {
        std::string text;
        std::string kept;
    } cases[] = {
        {"abc", "abc"},
        {"", ""},
        {sixtyThree, sixtyThree},
        {sixtyFour, sixtyFour.substr(0, 63)},  // cut so that the NUL still fits
        {long100, long100.substr(0, 63)},
        {"Pelmora  ( Free RAM = 257 MB )", "Pelmora  ( Free RAM = 257 MB )"},
    };
    for (const auto& c : cases) {
        NOTIFYICONDATAA data{};
        std::memset(data.szTip, '#', 64);
        storeTip(data.szTip, c.text);
        EXPECT_EQ(tipBytes(data), expectedTip(c.kept)) << c.text.size();
    }
}

// The main window loaded and shown with events of the test's own, and the module bound.
struct TrayFixture : testing::SystemFixture {
    TrayFixture() {
        form = &runtime.load(ui::kMainLayout, sink);
        form->show(platform::ShowMode::Modeless);
        bindModule(runtime, os);
    }
    void add() { Tray_Add(*form, form->menu(ui::frmmain_names::mnuA)); }
    std::intptr_t hook() const { return reinterpret_cast<std::intptr_t>(&Tray_WndProc); }
    recording::RecordingWindow& window() { return mainWindow(); }

    testing::EventSink sink;
    platform::Form* form = nullptr;
};

void expectRecord(const recording::TrayRequest& request, std::uint32_t message,
                  std::uint32_t cbSize, std::uint32_t hWnd, std::uint32_t flags,
                  std::uint32_t callback, std::uint32_t icon) {
    EXPECT_EQ(request.message, message);
    EXPECT_EQ(request.data.cbSize, cbSize);
    EXPECT_EQ(request.data.hWnd, hWnd);
    EXPECT_EQ(request.data.uID, 0u);
    EXPECT_EQ(request.data.uFlags, flags);
    EXPECT_EQ(request.data.uCallbackMessage, callback);
    EXPECT_EQ(request.data.hIcon, icon);
}

TEST_F(TrayFixture, EveryRequestCarriesTheRecordFieldsOfItsStep) {
    const auto hWnd = static_cast<std::uint32_t>(window().handle());
    const auto icon = static_cast<std::uint32_t>(window().iconHandle());
    ASSERT_NE(icon, 0u);
    Tray_SetTip("first");  // before the icon exists, as the load's first refresh does
    add();
    Tray_SetTip("abc");
    Tray_Remove();

    const auto& requests = os.trayRequests();
    ASSERT_EQ(requests.size(), 4u);
    expectRecord(requests[0], platform::NIM_MODIFY, 0, 0, platform::NIF_TIP, 0, 0);
    EXPECT_EQ(tipBytes(requests[0].data), expectedTip("first"));
    EXPECT_EQ(requests[0].result, 0);  // names no icon: changes nothing

    expectRecord(requests[1], platform::NIM_ADD, 88, hWnd,
                 platform::NIF_MESSAGE | platform::NIF_ICON, 2025, icon);
    EXPECT_EQ(tipBytes(requests[1].data), expectedTip("first"));  // held, but not flagged

    expectRecord(requests[2], platform::NIM_MODIFY, 88, hWnd, platform::NIF_TIP, 2025, icon);
    EXPECT_EQ(tipBytes(requests[2].data), expectedTip("abc"));

    expectRecord(requests[3], platform::NIM_DELETE, 88, hWnd, 0, 2025, icon);
    for (std::size_t i = 1; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].result, 1) << i;
    }
}

TEST_F(TrayFixture, TheIconStartsWithoutATipAndShowsEachLaterOne) {
    Tray_SetTip("stored during the load");
    add();
    ASSERT_TRUE(os.trayIcon().present);
    EXPECT_EQ(os.trayIcon().tip, "");
    EXPECT_EQ(os.trayIcon().callbackMessage, TRAY_CALLBACK);
    Tray_SetTip("abc");
    EXPECT_EQ(os.trayIcon().tip, "abc");
    Tray_SetTip("");
    EXPECT_EQ(os.trayIcon().tip, "");
    Tray_SetTip(std::string(80, 'w'));
    EXPECT_EQ(os.trayIcon().tip, std::string(63, 'w'));
    EXPECT_FALSE(os.trayIcon().tipUnterminated);
}

TEST_F(TrayFixture, AddHooksFirstAndRemoveDeletesTheIconFirst) {
    const std::size_t from = journal.mark();
    add();
    Tray_Remove();
    EXPECT_EQ(journal.entries({"SetWindowLongA", "Shell_NotifyIconA"}, from),
              (std::vector<std::string>{
                  "SetWindowLongA frmmain GWL_WNDPROC Tray_WndProc",
                  "Shell_NotifyIconA NIM_ADD frmmain uID=0 message=2025 icon=0x2001",
                  "Shell_NotifyIconA NIM_DELETE frmmain uID=0",
                  "SetWindowLongA frmmain GWL_WNDPROC DefProc(frmmain)",
              }));
    EXPECT_FALSE(os.trayIcon().present);
    EXPECT_EQ(window().wndProc, window().defaultProc);
    EXPECT_EQ(apiStuff().hookedForm, nullptr);
}

TEST_F(TrayFixture, AFailedHookIsNeverWrittenBack) {
    journal.failOn("SetWindowLongA", 1);
    add();
    EXPECT_EQ(apiStuff().prevWndProc, 0);
    EXPECT_TRUE(os.trayIcon().present);  // the icon goes in all the same
    Tray_Remove();
    EXPECT_EQ(journal.entries({"SetWindowLongA", "! SetWindowLongA"}),
              std::vector<std::string>{"! SetWindowLongA frmmain GWL_WNDPROC Tray_WndProc"});
    EXPECT_EQ(window().wndProc, window().defaultProc);
    EXPECT_FALSE(os.trayIcon().present);
}

TEST_F(TrayFixture, AFailingAddLeavesTheHookInUntilTheRemoveTakesItOut) {
    journal.failOn("Shell_NotifyIconA NIM_ADD", 1, platform::Error(77, "shell gone"));
    EXPECT_THROW(add(), platform::Error);
    EXPECT_EQ(window().wndProc, hook());
    EXPECT_FALSE(os.trayIcon().present);
    Tray_Remove();
    EXPECT_EQ(window().wndProc, window().defaultProc);
}

// What the hook does with each message while it is installed.
enum class Outcome { Focus, Popup, PassedOn };

TEST_F(TrayFixture, HookActsOnTwoTrayReleasesAndPassesEverythingElseOn) {
    add();
    os.defaultProcResult = 1234;
    const struct {
        std::uint32_t msg;
        platform::WParam wParam;
        platform::LParam lParam;
        Outcome outcome;
    } cases[] = {
        {2025, 0, 514, Outcome::Focus},
        {2025, 77, 514, Outcome::Focus},  // wParam is not looked at
        {2025, 0, 517, Outcome::Popup},
        {2025, 3, 517, Outcome::Popup},
        {2025, 0, 513, Outcome::PassedOn},  // left press
        {2025, 0, 515, Outcome::PassedOn},  // left double click
        {2025, 0, 516, Outcome::PassedOn},  // right press
        {2025, 0, 518, Outcome::PassedOn},  // right double click
        {2025, 0, 512, Outcome::PassedOn},  // mouse move
        {2025, 0, 514 + (platform::LParam{1} << 16), Outcome::PassedOn},
        {platform::WM_LBUTTONUP, 0, 514, Outcome::PassedOn},
        {0x0010, 0, 517, Outcome::PassedOn},
        {2024, 0, 514, Outcome::PassedOn},
    };
    const platform::Hwnd h = window().handle();
    for (const auto& c : cases) {
        const std::size_t from = journal.mark();
        const std::size_t passedBefore = os.defaultProcMessages().size();
        const platform::LResult result = os.sendToWindow(h, c.msg, c.wParam, c.lParam);
        const std::size_t focuses = journal.count("bringToFront frmmain", from);
        const auto popups = journal.entries({"popupMenu frmmain"}, from);
        const bool passed = os.defaultProcMessages().size() == passedBefore + 1;
        switch (c.outcome) {
            case Outcome::Focus:
                EXPECT_EQ(result, 0);
                EXPECT_EQ(focuses, 1u);
                EXPECT_FALSE(passed);
                break;
            case Outcome::Popup:
                EXPECT_EQ(result, 0);
                EXPECT_EQ(popups.size(), 1u);
                EXPECT_FALSE(passed);
                break;
            case Outcome::PassedOn:
                EXPECT_EQ(result, 1234);
                ASSERT_TRUE(passed) << c.msg << " " << c.lParam;
                EXPECT_EQ(os.defaultProcMessages().back(),
                          (recording::WindowMessage{h, c.msg, c.wParam, c.lParam}));
                EXPECT_TRUE(popups.empty());
                EXPECT_EQ(focuses, 0u);
                break;
        }
        EXPECT_TRUE(rig.reports().empty());
    }
}

TEST_F(TrayFixture, LeftReleaseRestoresOnlyAMinimizedWindowBeforeFocusingIt) {
    add();
    using platform::WindowState;
    const struct {
        WindowState state;
        WindowState after;
        std::vector<std::string> calls;
    } cases[] = {
        {WindowState::Normal,
         WindowState::Normal,
         {"state frmmain -> Normal", "bringToFront frmmain"}},
        {WindowState::Minimized,
         WindowState::Normal,
         {"state frmmain -> Minimized", "setState frmmain Normal", "bringToFront frmmain"}},
        {WindowState::Maximized,
         WindowState::Maximized,
         {"state frmmain -> Maximized", "bringToFront frmmain"}},
    };
    for (const auto& c : cases) {
        window().windowState = c.state;  // as the user left it
        const std::size_t from = journal.mark();
        EXPECT_EQ(os.trayMouse(platform::WM_LBUTTONUP), 0);
        EXPECT_EQ(journal.entries({"state", "setState", "bringToFront"}, from), c.calls);
        EXPECT_EQ(window().windowState, c.after);
        EXPECT_EQ(platform.activeWindow(), &window());
    }
}

TEST_F(TrayFixture, RightReleaseReturnsOnlyAfterTheChosenCommandRan) {
    add();
    platform.chooseInNextPopup("About");
    const std::size_t from = journal.mark();
    EXPECT_EQ(os.trayMouse(platform::WM_RBUTTONUP), 0);
    EXPECT_EQ(journal.entries({"popup frmmain"}, from),
              std::vector<std::string>{"popup frmmain chose \"&About\""});
    EXPECT_EQ(sink.seen, std::vector<std::string>{"mnuAction(4) click"});
    // The menu showed every row of the Action menu, the meter's checked.
    ASSERT_EQ(window().lastPopup.size(), 7u);
    EXPECT_EQ(window().lastPopup[6].caption, "E&xit");
    EXPECT_TRUE(window().lastPopup[3].separator);
    EXPECT_TRUE(window().lastPopup[2].checked);
}

TEST_F(TrayFixture, AnErrorInTheHookIsReportedAndNeverPassedOn) {
    add();
    journal.failOn("bringToFront frmmain");
    EXPECT_EQ(os.trayMouse(platform::WM_LBUTTONUP), 0);
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "Tray_WndProc");
    EXPECT_EQ(rig.reports()[0].number, recording::kInjectedError);
    EXPECT_TRUE(os.defaultProcMessages().empty());
}

TEST_F(TrayFixture, AStrayTrayMessageAfterRemovalIsReportedNotFollowed) {
    add();
    Tray_Remove();
    // The window is gone with its unload; nothing may act on it any more.
    EXPECT_EQ(Tray_WndProc(window().handle(), TRAY_CALLBACK, 0, platform::WM_RBUTTONUP), 0);
    rig.clock.advance(1min);
    EXPECT_EQ(Tray_WndProc(window().handle(), TRAY_CALLBACK, 0, platform::WM_LBUTTONUP), 0);
    ASSERT_EQ(rig.reports().size(), 2u);
    EXPECT_EQ(rig.reports()[0].number, 424);
    EXPECT_EQ(rig.reports()[1].number, 424);
    EXPECT_TRUE(journal.entries({"popupMenu", "bringToFront"}).empty());
}

TEST_F(TrayFixture, TheIconOfAWindowThatIsGoneIsDroppedByTheShell) {
    add();
    runtime.unload(*form);  // with events of the test's own: the icon stays behind
    EXPECT_TRUE(os.trayIcon().present);
    platform.runPosted();
    EXPECT_FALSE(os.trayIcon().present);
    EXPECT_EQ(os.trayMouse(platform::WM_LBUTTONUP), std::nullopt);
}

TEST(TrayUnbound, ProceduresRaiseAClearErrorWithoutTheOsCalls) {
    apiStuff() = ApiStuff{};
    try {
        Tray_SetTip("abc");
        FAIL() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_TRUE(error.is(platform::ErrorCode::ObjectRequired));
    }
    EXPECT_EQ(Tray_WndProc(1, 99, 0, 0), 0);  // and the hook never unwinds
}

}  // namespace
}  // namespace pelmora::tray

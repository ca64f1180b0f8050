#include "tray/api_stuff.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win_constants.h"
#include "support/system_fixture.h"
#include "ui/main/main_layout.h"

namespace pelmora::tray {
namespace {

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
    NOTIFYICONDATAA abc{};
    storeTip(abc.szTip, "abc");
    EXPECT_EQ(std::memcmp(abc.szTip, "abc\0    ", 8), 0);
}

// The main window loaded with events of the test's own and the module bound.
struct TrayFixture : testing::SystemFixture {
    TrayFixture() {
        form = &static_cast<fake::FakeForm&>(fake.load(ui::kMainLayout, sink));
        form->visible = true;
        bindModule(fake, fake);
    }
    void add() { Tray_Add(*form, form->menu("mnuA")); }
    std::intptr_t hook() const { return reinterpret_cast<std::intptr_t>(&Tray_WndProc); }

    testing::EventSink sink;
    fake::FakeForm* form = nullptr;
};

void expectRecord(const fake::TrayRequest& request, std::uint32_t message, std::uint32_t cbSize,
                  std::uint32_t hWnd, std::uint32_t flags, std::uint32_t callback,
                  std::uint32_t icon) {
    EXPECT_EQ(request.message, message);
    EXPECT_EQ(request.data.cbSize, cbSize);
    EXPECT_EQ(request.data.hWnd, hWnd);
    EXPECT_EQ(request.data.uID, 0u);
    EXPECT_EQ(request.data.uFlags, flags);
    EXPECT_EQ(request.data.uCallbackMessage, callback);
    EXPECT_EQ(request.data.hIcon, icon);
}

TEST_F(TrayFixture, EveryRequestCarriesTheRecordFieldsOfItsStep) {
    const auto hWnd = static_cast<std::uint32_t>(form->handle);
    const auto icon = static_cast<std::uint32_t>(form->icon);
    Tray_SetTip("first");  // before the icon exists, as the load's first refresh does
    add();
    Tray_SetTip("abc");
    Tray_Remove();

    const auto& requests = fake.trayRequests();
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
}

TEST_F(TrayFixture, TheIconStartsWithoutATipAndShowsEachLaterOne) {
    Tray_SetTip("stored during the load");
    add();
    ASSERT_TRUE(fake.trayIcon().present);
    EXPECT_EQ(fake.trayIcon().tip, "");
    EXPECT_EQ(fake.trayIcon().callbackMessage, platform::TRAY_CALLBACK);
    Tray_SetTip("abc");
    EXPECT_EQ(fake.trayIcon().tip, "abc");
    Tray_SetTip("");
    EXPECT_EQ(fake.trayIcon().tip, "");
    Tray_SetTip(std::string(80, 'w'));
    EXPECT_EQ(fake.trayIcon().tip, std::string(63, 'w'));
    EXPECT_FALSE(fake.trayIcon().tipUnterminated);
}

TEST_F(TrayFixture, AddHooksFirstAndRemoveDeletesTheIconFirst) {
    const std::size_t from = fake.mark();
    add();
    Tray_Remove();
    const std::string h = fake::hex(form->handle);
    EXPECT_EQ(fake.entries({"SetWindowLongA", "Shell_NotifyIconA"}, from),
              (std::vector<std::string>{
                  "SetWindowLongA " + h + ", -4, Tray_WndProc",
                  "Shell_NotifyIconA NIM_ADD cbSize=88 hWnd=" + h +
                      " uID=0 uFlags=3 uCallbackMessage=2025 hIcon=" + fake::hex(form->icon) +
                      " szTip=\"\"",
                  "Shell_NotifyIconA NIM_DELETE cbSize=88 hWnd=" + h +
                      " uID=0 uFlags=0 uCallbackMessage=2025 hIcon=" + fake::hex(form->icon) +
                      " szTip=\"\"",
                  "SetWindowLongA " + h + ", -4, DefProc(frmmain)",
              }));
    EXPECT_FALSE(fake.trayIcon().present);
    EXPECT_EQ(fake.wndProc(form->handle), fake.defaultProcOf(form->handle));
    EXPECT_EQ(apiStuff().hookedForm, nullptr);
}

TEST_F(TrayFixture, AFailedHookIsNeverWrittenBack) {
    fake.failOn("SetWindowLongA", 1);
    add();
    EXPECT_EQ(apiStuff().prevWndProc, 0);
    EXPECT_TRUE(fake.trayIcon().present);  // the icon goes in all the same
    Tray_Remove();
    EXPECT_EQ(fake.entries({"SetWindowLongA", "! SetWindowLongA"}),
              std::vector<std::string>{"! SetWindowLongA " + fake::hex(form->handle) +
                                       ", -4, Tray_WndProc"});
    EXPECT_EQ(fake.wndProc(form->handle), fake.defaultProcOf(form->handle));
    EXPECT_FALSE(fake.trayIcon().present);
}

TEST_F(TrayFixture, AFailingHandleReadInAddLeavesTheHookInAndNoIcon) {
    fake.failOn("frmmain.hWnd", 2);
    EXPECT_THROW(add(), platform::Error);
    EXPECT_EQ(fake.wndProc(form->handle), hook());
    EXPECT_FALSE(fake.trayIcon().present);
}

// What the hook does with each message while it is installed.
enum class Outcome { Focus, Popup, PassedOn };

TEST_F(TrayFixture, HookActsOnTwoTrayReleasesAndPassesEverythingElseOn) {
    add();
    fake.defaultProcResult = 1234;
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
    for (const auto& c : cases) {
        const int focusBefore = form->focusCount;
        const std::size_t from = fake.mark();
        const std::size_t passedBefore = fake.defaultProcMessages().size();
        const platform::LResult result = fake.sendToWindow(form->handle, c.msg, c.wParam, c.lParam);
        const auto popups = fake.entries({"frmmain.PopupMenu"}, from);
        const bool passed = fake.defaultProcMessages().size() == passedBefore + 1;
        switch (c.outcome) {
            case Outcome::Focus:
                EXPECT_EQ(result, 0);
                EXPECT_EQ(form->focusCount, focusBefore + 1);
                EXPECT_FALSE(passed);
                break;
            case Outcome::Popup:
                EXPECT_EQ(result, 0);
                EXPECT_EQ(popups, std::vector<std::string>{"frmmain.PopupMenu mnuA"});
                EXPECT_FALSE(passed);
                break;
            case Outcome::PassedOn:
                EXPECT_EQ(result, 1234);
                ASSERT_TRUE(passed) << c.msg << " " << c.lParam;
                EXPECT_EQ(fake.defaultProcMessages().back(),
                          (fake::WindowMessage{form->handle, c.msg, c.wParam, c.lParam}));
                EXPECT_TRUE(popups.empty());
                EXPECT_EQ(form->focusCount, focusBefore);
                break;
        }
        EXPECT_TRUE(fake.reports().empty());
    }
}

TEST_F(TrayFixture, LeftReleaseRestoresOnlyAMinimizedWindowBeforeFocusingIt) {
    add();
    const struct {
        std::int16_t state;
        std::int16_t after;
        std::vector<std::string> calls;
    } cases[] = {
        {platform::winstate::Normal,
         platform::winstate::Normal,
         {"frmmain.WindowState -> 0", "frmmain.SetFocus"}},
        {platform::winstate::Minimized,
         platform::winstate::Normal,
         {"frmmain.WindowState -> 1", "frmmain.WindowState = 0", "frmmain.SetFocus"}},
        {platform::winstate::Maximized,
         platform::winstate::Maximized,
         {"frmmain.WindowState -> 2", "frmmain.SetFocus"}},
    };
    for (const auto& c : cases) {
        form->state = c.state;
        const std::size_t from = fake.mark();
        EXPECT_EQ(fake.trayMouse(platform::WM_LBUTTONUP), 0);
        EXPECT_EQ(fake.entries({"frmmain."}, from), c.calls);
        EXPECT_EQ(form->state, c.after);
        EXPECT_EQ(fake.focusedForm, "frmmain");
    }
}

TEST_F(TrayFixture, RightReleaseReturnsOnlyAfterTheChosenCommandRan) {
    add();
    fake.chooseInNextPopup(4);
    const std::size_t from = fake.mark();
    EXPECT_EQ(fake.trayMouse(platform::WM_RBUTTONUP), 0);
    EXPECT_EQ(
        fake.entries({"frmmain.PopupMenu", "event"}, from),
        (std::vector<std::string>{"frmmain.PopupMenu mnuA", "event frmmain mnuAction_Click(4)"}));
    EXPECT_EQ(sink.seen, std::vector<std::string>{"mnuAction(4) click"});
}

TEST_F(TrayFixture, AnErrorInTheHookIsReportedAndNeverPassedOn) {
    add();
    fake.failOn("frmmain.SetFocus");
    EXPECT_EQ(fake.trayMouse(platform::WM_LBUTTONUP), 0);
    ASSERT_EQ(fake.reports().size(), 1u);
    EXPECT_EQ(fake.reports()[0].handler, "Tray_WndProc");
    EXPECT_EQ(fake.reports()[0].number, fake::kInjectedError);
    EXPECT_TRUE(fake.defaultProcMessages().empty());
}

TEST_F(TrayFixture, AStrayTrayMessageAfterRemovalIsReportedNotFollowed) {
    add();
    Tray_Remove();
    // The window is gone with its unload; nothing may act on it any more.
    EXPECT_EQ(Tray_WndProc(form->handle, platform::TRAY_CALLBACK, 0, platform::WM_RBUTTONUP), 0);
    EXPECT_EQ(Tray_WndProc(form->handle, platform::TRAY_CALLBACK, 0, platform::WM_LBUTTONUP), 0);
    ASSERT_EQ(fake.reports().size(), 2u);
    EXPECT_EQ(fake.reports()[0].number, platform::errnum::ObjectRequired);
    EXPECT_TRUE(fake.entries({"frmmain.PopupMenu", "frmmain.SetFocus"}).empty());
}

TEST(TrayUnbound, ProceduresRaiseAClearErrorWithoutTheOsCalls) {
    apiStuff() = ApiStuff{};
    try {
        Tray_SetTip("abc");
        FAIL() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.number(), platform::errnum::ObjectRequired);
    }
    EXPECT_EQ(Tray_WndProc(1, 99, 0, 0), 0);  // and the hook never unwinds
}

}  // namespace
}  // namespace pelmora::tray

// The Windows native layer on its own, on real windows: presses reach the right widget,
// popups and modal loops work, posted work runs in order, and windows survive what the OS
// does to them. Buttons, dialog keys, closing and activation are in the conformance suite.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "backend_support.h"
#include "platform/core/form.h"
#include "platform/errors.h"
#include "platform/win32/win32_window.h"

namespace pelmora::win32::test {
namespace {

using platform::ControlDef;
using platform::ControlKind;
using platform::ControlName;

constexpr ControlDef control(ControlKind kind, std::string_view name, std::string_view parent) {
    ControlDef def{};
    def.kind = kind;
    def.name = ControlName(name);
    def.parent = ControlName(parent);
    def.text = name;
    def.transparent = true;
    return def;
}

constexpr ControlDef framedBox() {
    ControlDef def = control(ControlKind::PictureBox, "picBox", "");
    def.framed = true;
    def.backColour = 0x00FFFFFF;
    return def;
}

constexpr ControlDef okButton() {
    ControlDef def = control(ControlKind::CommandButton, "cmdOK", "");
    def.isDefault = true;
    def.isCancel = true;
    def.tabIndex = 0;
    return def;
}

// Widget ids are the positions in this table.
constexpr ControlDef kControls[] = {
    framedBox(),                                             // 0
    control(ControlKind::Label, "lblIn", "picBox"),          // 1
    control(ControlKind::Label, "lblOut", ""),               // 2
    control(ControlKind::CommandButton, "cmdGo", "picBox"),  // 3
    control(ControlKind::Timer, "tmr", ""),                  // 4
    okButton(),                                              // 5
};

std::vector<core::WidgetSpec> widgetTable() {
    std::vector<core::WidgetSpec> table(std::size(kControls));
    const core::PixelRect rects[] = {
        {100, 5, 80, 50}, {5, 5, 40, 13}, {5, 2, 60, 13}, {5, 25, 60, 20}, {}, {10, 30, 60, 20}};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = core::widgetLook(kControls[i], i);
        table[i].rect = rects[i];
    }
    table[0].frame = 1;
    table[1].parent = 0;
    table[3].parent = 0;
    return table;
}

constexpr platform::FormDef form(std::string_view name, platform::FormBorder border) {
    platform::FormDef def{};
    def.name = name;
    def.caption = name;
    def.border = border;
    return def;
}

constexpr platform::FormDef kPlain = form("frmPlain", platform::FormBorder::None);
constexpr platform::FormDef kDialog = form("frmDialog", platform::FormBorder::FixedDialog);

class NativeWindowTest : public ::testing::Test {
  protected:
    NativeWindowTest() : platform(::GetModuleHandleA(nullptr), options(96)) {}

    static PlatformOptions options(int dpi) {
        PlatformOptions o;
        o.instanceMutex = "Local\\PelmoraNativeTest." + std::to_string(::GetCurrentProcessId());
        o.dpi = dpi;
        return o;
    }
    std::unique_ptr<Win32Window> make(RecordingInput& to, const platform::FormDef& def = kPlain,
                                      Win32Platform* on = nullptr) {
        const core::WindowSpec geometry = core::windowLook(def, 200, 60);
        auto made = (on != nullptr ? *on : platform).createWindow(geometry, to);
        const std::vector<core::WidgetSpec> table = widgetTable();
        made->build(table);
        return std::unique_ptr<Win32Window>(static_cast<Win32Window*>(made.release()));
    }
    // A widget's child window: numbered after the widget, from 1000 on.
    static HWND hwndOf(const Win32Window& window, core::WidgetId id) {
        ChildSearch search{1000 + static_cast<int>(id), nullptr};
        ::EnumChildWindows(window.hwnd(), &findChild, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    struct ChildSearch {
        int wanted;
        HWND found;
    };
    static BOOL CALLBACK findChild(HWND child, LPARAM param) {
        auto* search = reinterpret_cast<ChildSearch*>(param);
        if (::GetDlgCtrlID(child) != search->wanted) {
            return TRUE;
        }
        search->found = child;
        return FALSE;
    }

    Win32Platform platform;
    RecordingInput input;
};

TEST_F(NativeWindowTest, PressesNameTheFrontmostWidgetAndPointFromItsCorner) {
    auto window = make(input);
    window->show(std::nullopt);
    const HWND box = hwndOf(*window, 0);
    struct Case {
        HWND target;
        UINT message;
        WPARAM keys;
        POINT at;
        const char* expected;
    };
    const Case cases[] = {
        {window->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, {20, 5}, "press 2 left - 15,3"},
        {window->hwnd(),
         WM_MBUTTONDOWN,
         MK_SHIFT | MK_CONTROL,
         {190, 58},
         "press - middle SC 190,58"},
        {box, WM_RBUTTONDOWN, 0, {10, 8}, "press 1 right - 5,3"},
        {box, WM_LBUTTONDOWN, MK_SHIFT, {70, 10}, "press 0 left S 70,10"},
    };
    for (const Case& c : cases) {
        input.log.clear();
        ::SendMessageA(c.target, c.message, c.keys, MAKELPARAM(c.at.x, c.at.y));
        EXPECT_EQ(input.log, std::vector<std::string>{c.expected});
    }
}

// Runs a check on the popup menu while it is open, then posts keys to it.
class MenuDriver {
  public:
    explicit MenuDriver(std::function<void(HMENU)> inspect) : inspect_(std::move(inspect)) {
        WNDCLASSA cls{};
        cls.lpfnWndProc = &MenuDriver::proc;
        cls.hInstance = ::GetModuleHandleA(nullptr);
        cls.lpszClassName = "PelmoraMenuDriver";
        ::RegisterClassA(&cls);
        window_.reset(::CreateWindowExA(0, cls.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, cls.hInstance, nullptr));
        ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    // Queued before the popup opens; the menu's own loop dispatches it.
    void driveWith(std::vector<std::pair<UINT, WPARAM>> keys) {
        keys_ = std::move(keys);
        ::PostMessageA(window_.get(), WM_APP, 0, 0);
    }

  private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<MenuDriver*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (msg != WM_APP || self == nullptr) {
            return ::DefWindowProcA(hwnd, msg, wParam, lParam);
        }
        const HWND popup = ::FindWindowA("#32768", nullptr);
        if (popup == nullptr) {
            ::PostMessageA(hwnd, WM_APP, 0, 0);  // not open yet
            return 0;
        }
        self->inspect_(reinterpret_cast<HMENU>(::SendMessageA(popup, MN_GETHMENU, 0, 0)));
        for (const auto& [message, key] : self->keys_) {
            ::PostMessageA(popup, message, key, 0);
        }
        return 0;
    }

    std::function<void(HMENU)> inspect_;
    std::vector<std::pair<UINT, WPARAM>> keys_;
    WindowHandle window_;
};

TEST_F(NativeWindowTest, PopupRowsBecomeMenuItemsAndTheChosenRowIsReturned) {
    auto window = make(input);
    window->show(std::nullopt);
    const core::PopupRow rows[] = {
        {"&One", false, false, true},
        {"-", true, false, true},
        {"&Two", false, true, true},
        {"&Grey", false, false, false},
    };
    std::vector<std::string> items;
    MenuDriver driver([&](HMENU menu) {
        for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
            char text[32] = {};
            ::GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof(text), MF_BYPOSITION);
            const UINT state = ::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            std::string line = text;
            if ((state & MF_SEPARATOR) != 0) {
                line += " separator";  // never chosen, whatever else it says
            } else {
                line += (state & MF_CHECKED) != 0 ? " checked" : "";
                line += (state & MF_GRAYED) != 0 ? " grayed" : "";
            }
            items.push_back(line);
        }
    });
    struct Case {
        std::vector<std::pair<UINT, WPARAM>> keys;
        std::optional<std::size_t> chosen;
    };
    const Case cases[] = {
        {{{WM_CHAR, 't'}}, 2},
        {{{WM_KEYDOWN, VK_DOWN}, {WM_KEYDOWN, VK_RETURN}}, 0},
        {{{WM_KEYDOWN, VK_ESCAPE}}, std::nullopt},
    };
    for (const Case& c : cases) {
        items.clear();
        driver.driveWith(c.keys);
        EXPECT_EQ(window->popupMenu(rows, std::nullopt), c.chosen);
        EXPECT_EQ(items,
                  (std::vector<std::string>{"&One", " separator", "&Two checked", "&Grey grayed"}));
    }
}

TEST_F(NativeWindowTest, QuitEndsEveryLoopAndPostedWorkRunsInOrder) {
    auto window = make(input);
    std::vector<int> ran;
    platform.post([&] { ran.push_back(1); });
    platform.post([&] { ran.push_back(2); });
    platform.post([&] { platform.quit(); });
    window->runModalLoop();  // ends with the quit
    platform.run();          // returns at once
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_FALSE(platform.pumpOne()) << "the loop stays ended";
}

TEST_F(NativeWindowTest, WorkStillQueuedGoesWithThePlatform) {
    bool ran = false;
    {
        Win32Platform other(::GetModuleHandleA(nullptr), options(96));
        other.post([&] { ran = true; });
    }
    pumpFor(platform, std::chrono::milliseconds(50));
    EXPECT_FALSE(ran);
}

TEST_F(NativeWindowTest, AnOwnedWindowOutlivesItsOwnersWindow) {
    RecordingInput dialogInput;
    auto owner = make(input);
    auto dialog = make(dialogInput, kDialog);
    dialog->setOwner(owner.get());
    dialog->show(std::nullopt);
    EXPECT_EQ(::GetWindow(dialog->hwnd(), GW_OWNER), owner->hwnd());
    owner.reset();
    EXPECT_TRUE(::IsWindow(dialog->hwnd()));
    EXPECT_NE(dialog->handle(), 0u);
}

// A box or button hidden or shown while its window is hidden shows as told once it is shown.
TEST_F(NativeWindowTest, ChildWindowsShowAsToldWhetherOrNotTheirWindowIsShown) {
    for (const bool shownFirst : {false, true}) {
        for (const core::WidgetId id : {core::WidgetId{0}, core::WidgetId{5}}) {
            auto window = make(input);
            if (shownFirst) {
                window->show(std::nullopt);
            }
            window->setVisible(id, false);
            window->show(std::nullopt);
            EXPECT_FALSE(::IsWindowVisible(hwndOf(*window, id))) << id << " " << shownFirst;
            window->setVisible(id, true);
            EXPECT_TRUE(::IsWindowVisible(hwndOf(*window, id))) << id << " " << shownFirst;
        }
    }
}

TEST_F(NativeWindowTest, AWindowDestroyedUnderItRefusesWorkAndGoesQuietly) {
    auto window = make(input);
    const HWND box = hwndOf(*window, 0);
    ::DestroyWindow(window->hwnd());
    EXPECT_EQ(window->handle(), 0u);
    EXPECT_FALSE(::IsWindow(box));
    // Toolkit failures, not errors of the runtime: the core names them.
    EXPECT_THROW(window->startTimer(4, 10), std::runtime_error);
    EXPECT_THROW(window->setText(2, "x"), std::runtime_error);
    EXPECT_THROW(window->show(std::nullopt), std::runtime_error);
    EXPECT_THROW(window->moveTo({10, 10}), std::runtime_error);
    window.reset();
}

TEST_F(NativeWindowTest, GeometryAndPressesFollowTheDpi) {
    struct Case {
        int dpi;
        SIZE client;
        POINT press;
    };
    for (const Case c : {Case{96, {200, 60}, {80, 40}}, Case{144, {300, 90}, {120, 60}}}) {
        Win32Platform scaled(::GetModuleHandleA(nullptr), options(c.dpi));
        RecordingInput scaledInput;
        auto window = make(scaledInput, kPlain, &scaled);
        RECT client{};
        ::GetClientRect(window->hwnd(), &client);
        EXPECT_EQ(client.right, c.client.cx) << c.dpi;
        EXPECT_EQ(client.bottom, c.client.cy) << c.dpi;
        ::SendMessageA(window->hwnd(), WM_LBUTTONDOWN, 0, MAKELPARAM(c.press.x, c.press.y));
        EXPECT_EQ(scaledInput.log, std::vector<std::string>{"press - left - 80,40"}) << c.dpi;
    }
}

std::string rectText(const RECT& r) {
    return pointText(r.left, r.top) + " " + pointText(r.right - r.left, r.bottom - r.top);
}

TEST_F(NativeWindowTest, ADpiChangeLaysTheWindowAndEveryWidgetOutAgainWhereSuggested) {
    auto window = make(input);
    window->show(std::nullopt);
    const HWND hwnd = window->hwnd();
    struct Case {
        int dpi;
        POINT suggested;
        SIZE client;
        const char* box;       // in the window: outer rectangle
        SIZE drawingArea;      // the box's client area, inside its frame
        const char* inBox;     // the button in the box, in the box's drawing area
        const char* okButton;  // in the window
        POINT pressOnLabel;    // on lblOut, at (15, 3) at 96 DPI from its corner
    };
    const Case cases[] = {
        {192,
         {40, 30},
         {400, 120},
         "200,10 160,100",
         {156, 96},
         "10,50 120,40",
         "20,60 120,40",
         {40, 10}},
        {144, {50, 60}, {300, 90}, "150,8 120,75", {117, 72}, "8,38 90,30", "15,45 90,30", {30, 8}},
        {96, {70, 80}, {200, 60}, "100,5 80,50", {78, 48}, "5,25 60,20", "10,30 60,20", {20, 5}},
    };
    for (const Case& c : cases) {
        changeDpi(hwnd, c.dpi,
                  {c.suggested.x, c.suggested.y, c.suggested.x + 1, c.suggested.y + 1});
        RECT placed{};
        ::GetWindowRect(hwnd, &placed);
        EXPECT_EQ(pointText(placed.left, placed.top), pointText(c.suggested.x, c.suggested.y))
            << c.dpi;
        const SIZE client = clientSize(hwnd);
        EXPECT_EQ(pointText(client.cx, client.cy), pointText(c.client.cx, c.client.cy)) << c.dpi;
        EXPECT_EQ(rectText(childRect(hwndOf(*window, 0))), c.box) << c.dpi;
        const SIZE area = clientSize(hwndOf(*window, 0));
        EXPECT_EQ(pointText(area.cx, area.cy), pointText(c.drawingArea.cx, c.drawingArea.cy))
            << c.dpi;
        EXPECT_EQ(rectText(childRect(hwndOf(*window, 3))), c.inBox) << c.dpi;
        EXPECT_EQ(rectText(childRect(hwndOf(*window, 5))), c.okButton) << c.dpi;
        input.log.clear();
        ::SendMessageA(hwnd, WM_LBUTTONDOWN, 0, MAKELPARAM(c.pressOnLabel.x, c.pressOnLabel.y));
        EXPECT_EQ(input.log, std::vector<std::string>{"press 2 left - 15,3"}) << c.dpi;
    }
}

TEST_F(NativeWindowTest, TheSystemIsToldTheExactSizeForANewDpi) {
    auto window = make(input);
    constexpr UINT kGetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE
    for (const auto& [dpi, expected] :
         {std::pair{192, SIZE{400, 120}}, std::pair{120, SIZE{250, 75}},
          std::pair{96, SIZE{200, 60}}}) {
        SIZE size{};
        EXPECT_TRUE(::SendMessageA(window->hwnd(), kGetDpiScaledSize, dpi,
                                   reinterpret_cast<LPARAM>(&size)));
        EXPECT_EQ(pointText(size.cx, size.cy), pointText(expected.cx, expected.cy)) << dpi;
    }
}

TEST_F(NativeWindowTest, ScreenChangesAreToldAndTheWindowGoesWhereTheCoreMovesIt) {
    auto window = make(input);
    window->show(std::nullopt);
    const HWND hwnd = window->hwnd();
    window->moveTo({-900, 40});
    RECT placed{};
    ::GetWindowRect(hwnd, &placed);
    EXPECT_EQ(rectText(placed), "-900,40 200,60");
    const core::PixelRect frame = window->frame();
    EXPECT_EQ(pointText(frame.left, frame.top), "-900,40");
    EXPECT_EQ(pointText(frame.width, frame.height), "200,60");
    struct Case {
        const char* what;
        UINT msg;
        WPARAM wParam;
        bool told;
    };
    const Case cases[] = {
        {"the display changed", WM_DISPLAYCHANGE, 32, true},
        {"the work area changed", WM_SETTINGCHANGE, SPI_SETWORKAREA, true},
        {"another setting changed", WM_SETTINGCHANGE, SPI_SETBEEP, false},
    };
    for (const Case& c : cases) {
        input.log.clear();
        ::SendMessageA(hwnd, c.msg, c.wParam, 0);
        EXPECT_EQ(input.log,
                  c.told ? std::vector<std::string>{"screens"} : std::vector<std::string>{})
            << c.what;
    }
    // Moved by the system to a screen of another DPI: where it was suggested, and told.
    input.log.clear();
    changeDpi(hwnd, 192, {50, 10, 450, 130});
    ::GetWindowRect(hwnd, &placed);
    EXPECT_EQ(rectText(placed), "50,10 400,120");
    EXPECT_EQ(input.log, std::vector<std::string>{"screens"});
    // The primary screen's work area comes first.
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const std::vector<core::PixelRect> areas = platform.workAreas();
    ASSERT_FALSE(areas.empty());
    EXPECT_EQ(rectText({areas[0].left, areas[0].top, areas[0].left + areas[0].width,
                        areas[0].top + areas[0].height}),
              rectText(work));
}

TEST_F(NativeWindowTest, APressOnADisabledWindowIsToldAsBlocked) {
    auto window = make(input);
    window->show(std::nullopt);
    const HWND hwnd = window->hwnd();
    struct Case {
        bool enabled;
        int hit;  // HTERROR is negative
        UINT mouse;
        bool blocked;
    };
    const Case cases[] = {
        {false, HTERROR, WM_LBUTTONDOWN, true},  {false, HTERROR, WM_RBUTTONDOWN, true},
        {false, HTERROR, WM_MOUSEMOVE, false},   {true, HTERROR, WM_LBUTTONDOWN, false},
        {true, HTCLIENT, WM_LBUTTONDOWN, false},
    };
    for (const Case& c : cases) {
        window->setEnabled(c.enabled);
        EXPECT_EQ(::IsWindowEnabled(hwnd) != FALSE, c.enabled);
        input.log.clear();
        ::SendMessageA(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                       MAKELPARAM(static_cast<WORD>(c.hit), c.mouse));
        EXPECT_EQ(input.log,
                  c.blocked ? std::vector<std::string>{"blocked"} : std::vector<std::string>{})
            << c.enabled << " " << c.hit << " " << c.mouse;
    }
}

TEST_F(NativeWindowTest, TheHourglassShowsOverTheProgramsWindowsOnly) {
    auto window = make(input);
    const HCURSOR wait = ::LoadCursorA(nullptr, IDC_WAIT);
    platform.setPointer(platform::MousePointer::Hourglass);
    EXPECT_EQ(platform.pointerCursor(), wait);
    EXPECT_TRUE(::SendMessageA(window->hwnd(), WM_SETCURSOR,
                               reinterpret_cast<WPARAM>(window->hwnd()), HTCLIENT));
    EXPECT_EQ(::GetCursor(), wait);
    platform.setPointer(platform::MousePointer::Default);
    EXPECT_EQ(platform.pointerCursor(), nullptr);
}

TEST_F(NativeWindowTest, AShellRestartIsToldWithTheWindowThatHeardIt) {
    HWND told = nullptr;
    PlatformOptions o = options(96);
    o.onShellRestart = [&](HWND hwnd) { told = hwnd; };
    Win32Platform watched(::GetModuleHandleA(nullptr), o);
    auto window = make(input, kPlain, &watched);
    ::SendMessageA(window->hwnd(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(told, window->hwnd());
}

TEST_F(NativeWindowTest, ASecondCopyIsSeenThroughTheMutexAndTheNameIsTheFilesName) {
    EXPECT_FALSE(platform.otherInstanceRunning());
    Win32Platform second(::GetModuleHandleA(nullptr), options(96));
    EXPECT_TRUE(second.otherInstanceRunning());
    EXPECT_FALSE(platform.otherInstanceRunning());  // asked again, the answer stays
    EXPECT_EQ(platform.executableName(), "pelmora_win32_tests");
}

}  // namespace
}  // namespace pelmora::win32::test

// The program's real layouts built by the runtime core on the Windows native layer and
// read back from the screen: window frames, the skin under its edge lines, the label
// pairs, the meter's frame, the About box, and modal shows. Presses, timers and the meter's
// bar are in the conformance suite.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "backend_support.h"
#include "platform/core/runtime.h"
#include "platform/win32/win32_program.h"
#include "platform/win32/win32_resource_ids.h"
#include "ui/about/about_layout.h"
#include "ui/main/main_layout.h"

namespace pelmora::win32::test {
namespace {

using platform::ShowMode;
namespace names = ui::frmmain_names;
namespace about = ui::frmAbout_names;

constexpr int kWidth = 208;
constexpr int kHeight = 51;
const std::uint32_t kWhite = 0xFFFFFF;
const std::uint32_t kRed = 0xFF0000;
const std::uint32_t kGreen = 0x00FF00;

// A picture of the program's resources, pixel by pixel (0x00RRGGBB), rows top down.
std::vector<std::uint32_t> resourcePixels(int resource, int width, int height) {
    BitmapHandle bitmap(
        static_cast<HBITMAP>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resource),
                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    WindowDc screen(nullptr);
    ::GetDIBits(screen.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &info,
                DIB_RGB_COLORS);
    for (auto& p : pixels) {
        p &= 0xFFFFFFu;
    }
    return pixels;
}

class FormsTest : public ::testing::Test {
  protected:
    FormsTest() : program(::GetModuleHandleA(nullptr), options()) {}

    PlatformOptions options() {
        PlatformOptions o;
        o.instanceMutex = "Local\\PelmoraFormsTest." + std::to_string(::GetCurrentProcessId());
        o.reportSink = [this](std::string_view line) { reported.emplace_back(line); };
        return o;
    }
    platform::Form& showMain() {
        platform::Form& form = runtime.load(ui::kMainLayout, events);
        form.show(ShowMode::Modeless);
        return form;
    }
    static HWND hwndOf(const platform::Form& form) { return reinterpret_cast<HWND>(form.hWnd()); }
    static void setFigures(platform::Form& form, std::string_view front, std::string_view back) {
        for (const auto name : {names::lblTotalRam, names::lblFreeRam, names::lblRamUsage}) {
            // Index 0 of the total is the white one in front; the other two pairs have the
            // white one at index 1.
            const bool whiteIsZero = name == names::lblTotalRam;
            form.label(name, whiteIsZero ? 0 : 1).setCaption(front);
            form.label(name, whiteIsZero ? 1 : 0).setCaption(back);
        }
    }
    // The pixels of the window that differ from the bare skin.
    static std::set<std::pair<int, int>> changed(const Pixels& shown,
                                                 const std::vector<std::uint32_t>& skin) {
        std::set<std::pair<int, int>> found;
        for (int y = 1; y < kHeight; ++y) {
            for (int x = 1; x < kWidth - 1; ++x) {
                if (shown.at(x, y) != skin[y * kWidth + x]) {
                    found.emplace(x, y);
                }
            }
        }
        return found;
    }

    std::vector<std::string> reported;
    RecordingEvents events;
    RecordingEvents aboutEvents;
    Program program;
    Win32Platform& platform = program.platform();
    core::Runtime& runtime = program.runtime();
};

TEST_F(FormsTest, WindowsHaveTheClientSizeAndFrameOfTheirLayout) {
    struct Case {
        const platform::FormLayout* layout;
        RecordingEvents* events;
        SIZE client;
        bool caption;
        bool toolWindow;
    };
    const Case cases[] = {
        {&ui::kMainLayout, &events, {kWidth, kHeight}, false, true},
        {&ui::kAboutLayout, &aboutEvents, {278, 170}, true, false},
    };
    for (const Case& c : cases) {
        const HWND hwnd = hwndOf(runtime.load(*c.layout, *c.events));
        RECT client{};
        ::GetClientRect(hwnd, &client);
        EXPECT_EQ(client.right, c.client.cx) << c.layout->form.name;
        EXPECT_EQ(client.bottom, c.client.cy) << c.layout->form.name;
        EXPECT_EQ((::GetWindowLongA(hwnd, GWL_STYLE) & WS_CAPTION) == WS_CAPTION, c.caption);
        EXPECT_EQ((::GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0, c.toolWindow);
        EXPECT_FALSE(::IsWindowVisible(hwnd));  // built hidden
    }
}

TEST_F(FormsTest, TheSkinFillsTheWindowUnderEdgeLinesOnTopLeftAndRight) {
    platform::Form& form = showMain();
    setFigures(form, "", "");
    const HWND hwnd = hwndOf(form);
    RECT window{};
    ::GetWindowRect(hwnd, &window);
    // Centred on the work area of the screen the pointer is on.
    POINT pointer{};
    ::GetCursorPos(&pointer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoA(::MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT& work = monitor.rcWork;
    EXPECT_EQ(window.left, work.left + (work.right - work.left - kWidth) / 2);
    EXPECT_EQ(window.top, work.top + (work.bottom - work.top - kHeight) / 2);
    const Pixels shown(hwnd);
    ASSERT_EQ(std::make_pair(shown.width(), shown.height()), std::make_pair(kWidth, kHeight));
    const auto skin = resourcePixels(PELMORA_BITMAP_SKIN, kWidth, kHeight);
    const std::uint32_t edge = rgbOf(::GetSysColor(COLOR_WINDOW));
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool onEdge = y == 0 || x == 0 || x == kWidth - 1;
            wrong += shown.at(x, y) == (onEdge ? edge : skin[y * kWidth + x]) ? 0 : 1;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(FormsTest, LabelPairsDrawTransparentTextWhiteInFrontOfTheRedOneAPixelUpRight) {
    platform::Form& form = showMain();
    const HWND hwnd = hwndOf(form);
    const auto skin = resourcePixels(PELMORA_BITMAP_SKIN, kWidth, kHeight);
    setFigures(form, "8,192 MB", "");
    const Pixels whiteOnly(hwnd);
    const auto white = changed(whiteOnly, skin);
    setFigures(form, "", "8,192 MB");
    const auto red = changed(Pixels(hwnd), skin);
    setFigures(form, "8,192 MB", "8,192 MB");
    const Pixels both(hwnd);

    ASSERT_GT(white.size(), 60u);
    std::set<std::pair<int, int>> shifted;
    for (const auto& [x, y] : white) {
        shifted.emplace(x + 1, y - 1);
    }
    EXPECT_EQ(red, shifted);  // the same text, one pixel right and one up
    // Text is drawn with smoothed edges: where a pair overlaps, the front label's solid
    // pixels stay solid white; away from the text the skin shows through.
    int whiteSolid = 0;
    int whiteKept = 0;
    int redKept = 0;
    int skinWrong = 0;
    for (int y = 1; y < kHeight; ++y) {
        for (int x = 1; x < kWidth - 1; ++x) {
            if (white.count({x, y}) != 0) {
                const bool solid = whiteOnly.at(x, y) == kWhite;
                whiteSolid += solid ? 1 : 0;
                whiteKept += solid && both.at(x, y) == kWhite ? 1 : 0;
            } else if (red.count({x, y}) != 0) {
                redKept += both.at(x, y) == kRed ? 1 : 0;
            } else {
                skinWrong += both.at(x, y) == skin[y * kWidth + x] ? 0 : 1;
            }
        }
    }
    EXPECT_GT(whiteSolid, 50);
    EXPECT_EQ(whiteKept, whiteSolid);  // the front label wins
    EXPECT_GT(redKept, 20);
    EXPECT_EQ(skinWrong, 0);
    EXPECT_GT(both.count({0, 0, kWidth, kHeight}, kWhite), 50);
}

TEST_F(FormsTest, TheMeterIsFramedInTheWindowTextColourRoundItsDrawingArea) {
    platform::Form& form = showMain();
    setFigures(form, "", "");
    form.pictureBox(names::picGraph).setVisible(true);
    pumpFor(platform, std::chrono::milliseconds(50));
    const Pixels shown(hwndOf(form));
    // picGraph: 12 x 50 at (195, 1), a one-pixel frame in its fore colour, the window text,
    // around a 10 x 48 drawing area.
    const std::uint32_t frame = rgbOf(::GetSysColor(COLOR_WINDOWTEXT));
    ASSERT_NE(frame, rgbOf(::GetSysColor(COLOR_WINDOWFRAME)));
    EXPECT_EQ(shown.count({195, 1, 207, 51}, frame) - shown.count({196, 2, 206, 50}, frame),
              2 * 12 + 2 * 48);
}

// The rows of a window's pixels that hold white text of the figures, and how many 2 x 2
// blocks of its pixel grid the text fills only in part.
std::pair<int, int> whiteText(const Pixels& shown, RECT area) {
    int rows = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        rows += shown.count({area.left, y, area.right, y + 1}, kWhite) > 0 ? 1 : 0;
    }
    int partial = 0;
    for (int y = area.top & ~1; y + 1 < area.bottom; y += 2) {
        for (int x = area.left & ~1; x + 1 < area.right; x += 2) {
            const int white = shown.count({x, y, x + 2, y + 2}, kWhite);
            partial += white > 0 && white < 4 ? 1 : 0;
        }
    }
    return {rows, partial};
}

TEST_F(FormsTest, OnAScreenOfTwiceTheDpiEveryPixelIsASquareOfFourAndBackTheSame) {
    platform::Form& form = showMain();
    setFigures(form, "", "");
    platform::PictureBox& meter = form.pictureBox(names::picGraph);
    meter.setVisible(true);
    meter.cls();
    meter.scale({1.0f, 100.0f, 4.0f, 0.0f});
    meter.fillBox({1.0f, 0.0f, 3.0f, 50.0f}, 0x0000FF00);
    const HWND hwnd = hwndOf(form);
    pumpFor(platform, std::chrono::milliseconds(50));
    const Pixels at96(hwnd);
    ASSERT_EQ(std::make_pair(at96.width(), at96.height()), std::make_pair(kWidth, kHeight));

    changeDpi(hwnd, 192, {60, 40, 60 + 2 * kWidth, 40 + 2 * kHeight});
    pumpFor(platform, std::chrono::milliseconds(50));
    const Pixels at192(hwnd);
    ASSERT_EQ(std::make_pair(at192.width(), at192.height()),
              std::make_pair(2 * kWidth, 2 * kHeight));
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int i = 0; i < 4; ++i) {
                wrong += at192.at(2 * x + i % 2, 2 * y + i / 2) == at96.at(x, y) ? 0 : 1;
            }
        }
    }
    EXPECT_EQ(wrong, 0);  // skin, edge lines, the meter's frame, picture and bar

    changeDpi(hwnd, 96, {60, 40, 60 + kWidth, 40 + kHeight});
    pumpFor(platform, std::chrono::milliseconds(50));
    const Pixels back(hwnd);
    ASSERT_EQ(std::make_pair(back.width(), back.height()), std::make_pair(kWidth, kHeight));
    wrong = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            wrong += back.at(x, y) == at96.at(x, y) ? 0 : 1;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(FormsTest, OnAScreenOfTwiceTheDpiTheFiguresAreSetInAFontTwiceAsTall) {
    platform::Form& form = showMain();
    setFigures(form, "8,192 MB", "");
    const HWND hwnd = hwndOf(form);
    pumpFor(platform, std::chrono::milliseconds(50));
    // The top line of figures, left of the chips without text.
    const int rows96 = whiteText(Pixels(hwnd), {1, 1, 130, 17}).first;
    changeDpi(hwnd, 192, {60, 40, 60 + 2 * kWidth, 40 + 2 * kHeight});
    pumpFor(platform, std::chrono::milliseconds(50));
    const auto [rows192, partial192] = whiteText(Pixels(hwnd), {2, 2, 260, 34});
    ASSERT_GE(rows96, 6);
    // Text set in a font twice the size is about twice as tall; hinting takes a row or two.
    EXPECT_GE(rows192 * 10, rows96 * 16);
    EXPECT_LE(rows192 * 10, rows96 * 24);
    // The 96-DPI text drawn twice as large would fill whole blocks only.
    EXPECT_GT(partial192, 10);
}

constexpr platform::ControlDef timer(std::string_view name) {
    platform::ControlDef def{};
    def.name = platform::ControlName(name);
    def.kind = platform::ControlKind::Timer;
    def.interval = 10;
    return def;
}

constexpr platform::FormDef testForm(std::string_view name, platform::FormBorder border,
                                     platform::StartUpPosition startUp) {
    platform::FormDef def{};
    def.name = name;
    def.border = border;
    def.clientWidth = 3000;
    def.clientHeight = 900;
    def.startUp = startUp;
    return def;
}

constexpr platform::ControlDef kTestControls[] = {timer("tmrMain")};
constexpr platform::FormLayout kTestLayout{
    testForm("frmTest", platform::FormBorder::None, platform::StartUpPosition::CenterScreen),
    kTestControls,
    {}};
constexpr platform::ControlDef kDialogControls[] = {timer("tmrDialog"),
                                                    ui::about_layout::okButton()};
constexpr platform::FormLayout kDialogLayout{
    testForm("frmDialog", platform::FormBorder::FixedDialog,
             platform::StartUpPosition::CenterOwner),
    kDialogControls,
    {}};

TEST_F(FormsTest, AModalShowRunsALoopWithTheOwnerDisabledUntilTheFormUnloads) {
    platform::Form& main = runtime.load(kTestLayout, events);
    main.show(ShowMode::Modeless);
    int mainTicks = 0;
    events.onTick = [&](platform::ControlName) { ++mainTicks; };
    platform::Form& dialog = runtime.load(kDialogLayout, aboutEvents);
    int dialogTicks = 0;
    bool ownerDisabled = false;
    aboutEvents.onTick = [&](platform::ControlName) {
        ownerDisabled = ::IsWindowEnabled(hwndOf(main)) == FALSE;
        if (++dialogTicks == 5) {
            runtime.unload(dialog);
        }
    };
    const HWND dialogHwnd = hwndOf(dialog);
    dialog.show(ShowMode::Modal);
    EXPECT_EQ(dialogTicks, 5);
    EXPECT_GT(mainTicks, 0);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(::IsWindowEnabled(hwndOf(main)));
    EXPECT_EQ(::GetWindow(dialogHwnd, GW_OWNER), hwndOf(main));
    EXPECT_FALSE(::IsWindowVisible(dialogHwnd));
    EXPECT_EQ(aboutEvents.log, (std::vector<std::string>{"load", "activate", "unload"}));
}

TEST_F(FormsTest, TheAboutBoxShowsItsPanelRuleIconTitleAndButton) {
    platform::Form& main = showMain();
    platform::Form& box = runtime.load(ui::kAboutLayout, aboutEvents);
    box.label(about::lblTitle).setCaption("Pelmora");
    box.pictureBox(about::Container).setLeft(2.0f);  // where the slide ends
    box.show(ShowMode::Modeless);
    const HWND hwnd = hwndOf(box);
    const Pixels shown(hwnd);
    const std::uint32_t face = rgbOf(::GetSysColor(COLOR_BTNFACE));
    // The engraved rule: a grey row over two white ones, across the panel (x 2 to 274),
    // clipped at its right edge.
    EXPECT_EQ(shown.count({2, 91, 278, 92}, 0x808080), 273);
    EXPECT_EQ(shown.count({3, 92, 278, 94}, kWhite), 2 * 272);
    EXPECT_EQ(shown.at(100, 94), face);
    EXPECT_EQ(shown.at(276, 92), face);
    // The icon, 48 x 48 at (12, 0): the memory module's green.
    EXPECT_GT(shown.count({12, 0, 60, 48}, 0x008000), 20);
    EXPECT_EQ(shown.count({60, 0, 64, 48}, 0x008000), 0);
    // The title in red at (66, 16).
    EXPECT_GT(shown.count({66, 16, 200, 40}, kRed), 20);
    // The OK button at (96, 144), 84 x 23, over the panel's bottom.
    POINT inButton{120, 155};
    ::MapWindowPoints(hwnd, nullptr, &inButton, 1);
    RECT button{};
    ::GetWindowRect(::WindowFromPoint(inButton), &button);
    ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&button), 2);
    EXPECT_EQ(button.left, 96);
    EXPECT_EQ(button.top, 144);
    EXPECT_EQ(button.right - button.left, 84);
    EXPECT_EQ(button.bottom - button.top, 23);
    // Centred over the main window.
    RECT over{};
    RECT dialog{};
    ::GetWindowRect(hwndOf(main), &over);
    ::GetWindowRect(hwnd, &dialog);
    EXPECT_EQ(dialog.left, over.left + (kWidth - (dialog.right - dialog.left)) / 2);
}

// Over a program file without the pictures, and with a single-instance guard that cannot be
// taken, the user's report names the runtime's errors; a guard that cannot tell lets the copy
// run and is told of once.
TEST_F(FormsTest, APictureOrGuardTheLayerCannotTakeIsReportedAsTheRuntimesError) {
    PlatformOptions o = options();
    o.instanceMutex = "NoSuchNamespace\\Pelmora";
    Program bare(::GetModuleHandleA("kernel32.dll"), o);
    bool running = true;
    struct Case {
        const char* handler;
        std::function<void()> act;
        std::string expected;
    };
    const Case cases[] = {
        {"Main", [&] { bare.runtime().load(ui::kMainLayout, events); },
         "Pelmora: error in Main: 481 Invalid picture: cannot load the program's icon"},
        {"mnuAction_Click", [&] { bare.runtime().load(ui::kAboutLayout, events); },
         "Pelmora: error in mnuAction_Click: 481 Invalid picture: cannot load the program's icon"},
        {"Main", [&] { running = bare.runtime().prevInstance() || bare.runtime().prevInstance(); },
         "Pelmora: error in App.PrevInstance: 75 Path/File access error: cannot open the mutex "
         "NoSuchNamespace\\Pelmora"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        reported.clear();
        bare.runtime().guard(c.handler, c.act);
        EXPECT_EQ(reported, std::vector<std::string>{c.expected});
    }
    EXPECT_FALSE(running);
}

}  // namespace
}  // namespace pelmora::win32::test

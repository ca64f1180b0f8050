// The Windows backend on real windows (under Wine here): layouts become windows of the
// right size, presses reach the right control, the picture box draws where it should,
// modal shows nest a working message loop, and the OS calls and tray keeper hold up.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_menu.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_tray.h"
#include "platform/win32/win32_window.h"

namespace pelmora::win32 {
namespace {

using platform::ControlDef;
using platform::ControlKind;
using platform::Error;
using platform::FormDef;
using platform::FormLayout;
using platform::LabelSizing;
using platform::MenuDef;

constexpr ControlDef makeLabel(std::string_view name, std::int16_t index, std::int32_t left,
                               std::int32_t top, std::int32_t width, std::int32_t height,
                               LabelSizing sizing = LabelSizing::Fixed) {
    ControlDef def{};
    def.name = name;
    def.index = index;
    def.kind = ControlKind::Label;
    def.left = left;
    def.top = top;
    def.width = width;
    def.height = height;
    def.text = "label";
    def.transparent = true;
    def.sizing = sizing;
    return def;
}

constexpr ControlDef makeBox(std::string_view name, std::int32_t left) {
    ControlDef def{};
    def.name = name;
    def.kind = ControlKind::PictureBox;
    def.left = left;
    def.top = 15;
    def.width = 180;
    def.height = 750;
    def.backColour = 0x00FFFFFF;
    def.framed = true;
    def.picture = platform::PictureId::Scale;
    return def;
}

constexpr ControlDef makeTimer(std::string_view name, std::int32_t interval) {
    ControlDef def{};
    def.name = name;
    def.kind = ControlKind::Timer;
    def.interval = interval;
    return def;
}

constexpr ControlDef makeButton() {
    ControlDef def{};
    def.name = "cmdOK";
    def.kind = ControlKind::CommandButton;
    def.left = 1500;
    def.top = 600;
    def.width = 900;
    def.height = 300;
    def.text = "OK";
    def.isDefault = true;
    def.isCancel = true;
    def.tabIndex = 0;
    return def;
}

// 200 x 60 pixels: a front/back label pair, two growing labels, a framed picture box.
constexpr ControlDef kMainControls[] = {
    makeBox("picBox", 2400),
    makeLabel("lblPair", 1, 0, 0, 1500, 300),
    makeLabel("lblPair", 0, 15, 15, 1500, 300),
    makeLabel("lblAuto", -1, 0, 450, 150, 195, LabelSizing::AutoSize),
    makeLabel("lblWrap", -1, 1500, 0, 600, 195, LabelSizing::WrapGrow),
    makeTimer("tmrMain", 10),
};
constexpr MenuDef makeMenu(std::string_view name, std::int16_t index, std::string_view parent,
                           std::string_view caption, bool checked = false) {
    MenuDef def{};
    def.name = name;
    def.index = index;
    def.parent = parent;
    def.caption = caption;
    def.checked = checked;
    def.visible = !parent.empty();
    return def;
}

constexpr MenuDef kMenus[] = {
    makeMenu("mnuA", -1, "", "&Action"),
    makeMenu("mnuAction", 0, "mnuA", "&One"),
    makeMenu("mnuAction", 1, "mnuA", "-"),
    makeMenu("mnuAction", 2, "mnuA", "&Two", true),
};

constexpr FormDef makeForm(std::string_view name, platform::FormBorder border, std::int32_t width,
                           std::int32_t height, platform::StartUpPosition startUp,
                           platform::ScaleUnit unit) {
    FormDef def{};
    def.name = name;
    def.caption = name;
    def.border = border;
    def.clientWidth = width;
    def.clientHeight = height;
    def.startUp = startUp;
    def.unit = unit;
    return def;
}

constexpr FormLayout kMain{
    makeForm("frmTest", platform::FormBorder::None, 3000, 900,
             platform::StartUpPosition::CenterScreen, platform::ScaleUnit::Twips),
    kMainControls, kMenus};

constexpr ControlDef kDialogControls[] = {
    makeTimer("tmrDialog", 10),
    makeButton(),
    makeBox("picSlide", 4080),
};
constexpr FormLayout kDialog{
    makeForm("frmDialog", platform::FormBorder::FixedDialog, 4170, 2550,
             platform::StartUpPosition::CenterOwner, platform::ScaleUnit::Pixels),
    kDialogControls,
    {}};

// Records every event as one line and lets a test act inside a handler.
class Recorder : public platform::FormEvents {
  public:
    std::vector<std::string> log;
    std::function<void(std::string_view)> onTick;
    std::int16_t cancel = 0;

    void onLoad() override { log.push_back("load"); }
    void onUnload(std::int16_t& value) override {
        log.push_back("unload");
        value = cancel;
    }
    void onTerminate() override { log.push_back("terminate"); }
    void onTimer(std::string_view timer) override {
        if (onTick) {
            onTick(timer);
        }
    }
    void onMouseDown(std::string_view control, std::int16_t index, std::int16_t button,
                     std::int16_t shift, float, float) override {
        log.push_back("mouse " + std::string(control) + " " + std::to_string(index) + " " +
                      std::to_string(button) + " " + std::to_string(shift));
    }
    void onClick(std::string_view control, std::int16_t index) override {
        log.push_back("click " + std::string(control) + " " + std::to_string(index));
    }
};

class BackendTest : public ::testing::Test {
  protected:
    BackendTest() {
        RuntimeOptions options;
        options.instanceMutex = "Local\\PelmoraBackendTest." +
                                std::to_string(::GetCurrentProcessId()) + "." +
                                std::to_string(++serial_);
        options.errorSink = [this](std::string_view line) { reported.emplace_back(line); };
        runtime = std::make_unique<Win32Runtime>(::GetModuleHandleA(nullptr), options);
    }

    Win32Form& loadMain() { return dynamic_cast<Win32Form&>(runtime->load(kMain, events)); }
    static bool lastIs(const Recorder& r, const std::string& line) {
        return !r.log.empty() && r.log.back() == line;
    }

    Recorder events;
    std::vector<std::string> reported;
    std::unique_ptr<Win32Runtime> runtime;
    static inline int serial_ = 0;
};

TEST_F(BackendTest, FormIsBuiltHiddenAtTheLayoutSizeAndCentredAtFirstShow) {
    Win32Form& form = loadMain();
    ASSERT_EQ(events.log, std::vector<std::string>{"load"});
    EXPECT_FALSE(::IsWindowVisible(form.hwnd()));
    RECT client{};
    ::GetClientRect(form.hwnd(), &client);
    const int dpi = runtime->dpi();
    EXPECT_EQ(client.right, ::MulDiv(3000, dpi, 1440));
    EXPECT_EQ(client.bottom, ::MulDiv(900, dpi, 1440));
    EXPECT_NE(::GetWindowLongA(form.hwnd(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_EQ(::GetWindowLongA(form.hwnd(), GWL_STYLE) & WS_CAPTION, 0);

    form.show(0);
    RECT window{};
    ::GetWindowRect(form.hwnd(), &window);
    EXPECT_TRUE(::IsWindowVisible(form.hwnd()));
    EXPECT_EQ(window.left, (::GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2);
    EXPECT_EQ(window.top, (::GetSystemMetrics(SM_CYSCREEN) - (window.bottom - window.top)) / 2);
}

TEST_F(BackendTest, LoadingTwiceGivesTheSameForm) {
    platform::Form& first = runtime->load(kMain, events);
    EXPECT_EQ(&runtime->load(kMain, events), &first);
    EXPECT_EQ(events.log, std::vector<std::string>{"load"});
}

TEST_F(BackendTest, MissingControlsRaiseTheirErrors) {
    Win32Form& form = loadMain();
    struct Case {
        std::function<void()> lookup;
        std::int32_t number;
    };
    const Case cases[] = {
        {[&] { form.label("lblNone", platform::kNoIndex); }, platform::errnum::ControlNotFound},
        {[&] { form.label("lblPair", 7); }, platform::errnum::ControlArrayElementMissing},
        {[&] { form.menuItem("mnuAction", 9); }, platform::errnum::ControlArrayElementMissing},
        {[&] { form.pictureBox("lblPair"); }, platform::errnum::ControlNotFound},
        {[&] { form.timer("tmrNone"); }, platform::errnum::ControlNotFound},
        {[&] { form.menu("mnuNone"); }, platform::errnum::ControlNotFound},
    };
    for (const Case& c : cases) {
        try {
            c.lookup();
            ADD_FAILURE() << "no error for case " << (&c - cases);
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), c.number) << error.description();
        }
    }
    EXPECT_EQ(&form.label("LBLPAIR", 0), &form.label("lblPair", 0));  // names ignore case
}

TEST_F(BackendTest, PressesReachTheFrontmostControlUnderThePointer) {
    Win32Form& form = loadMain();
    const HWND box = dynamic_cast<Win32PictureBox&>(form.pictureBox("picBox")).hwnd();
    struct Case {
        HWND target;
        UINT message;
        WPARAM keys;
        POINT at;
        const char* expected;
    };
    const Case cases[] = {
        {form.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, {50, 10}, "mouse lblPair 1 1 0"},
        {form.hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, {100, 20}, "mouse lblPair 0 2 0"},
        {form.hwnd(), WM_MBUTTONDOWN, MK_SHIFT, {120, 50}, "mouse  -1 4 1"},
        {form.hwnd(), WM_LBUTTONDOWN, MK_CONTROL | MK_SHIFT, {3, 31}, "mouse lblAuto -1 1 3"},
        {box, WM_RBUTTONDOWN, 0, {3, 3}, "mouse picBox -1 2 0"},
    };
    for (const Case& c : cases) {
        ::SendMessageA(c.target, c.message, c.keys, MAKELPARAM(c.at.x, c.at.y));
        EXPECT_TRUE(lastIs(events, c.expected)) << "expected " << c.expected << ", last "
                                                << (events.log.empty() ? "" : events.log.back());
    }
}

TEST_F(BackendTest, LabelsGrowWithTheirCaptionWhereTheLayoutSaysSo) {
    Win32Form& form = loadMain();
    auto& autoSized = dynamic_cast<Win32Label&>(form.label("lblAuto", platform::kNoIndex));
    auto& wrapping = dynamic_cast<Win32Label&>(form.label("lblWrap", platform::kNoIndex));
    const RECT autoBefore = autoSized.bounds();
    const RECT wrapBefore = wrapping.bounds();
    autoSized.setCaption("a much longer caption than before");
    wrapping.setCaption("many words that cannot fit on one line of this narrow label");
    EXPECT_GT(autoSized.bounds().right, autoBefore.right);
    EXPECT_EQ(autoSized.bounds().left, autoBefore.left);
    EXPECT_GT(wrapping.bounds().bottom, wrapBefore.bottom);
    EXPECT_EQ(wrapping.bounds().right, wrapBefore.right);
    EXPECT_THROW(autoSized.setAlignment(3), Error);
}

TEST_F(BackendTest, PictureBoxDrawsBoxesInItsUserCoordinatesAndClsRestoresTheScale) {
    Win32Form& form = loadMain();
    auto& box = dynamic_cast<Win32PictureBox&>(form.pictureBox("picBox"));
    const HDC dc = box.canvasDc();
    const COLORREF white = RGB(255, 255, 255);
    const COLORREF green = RGB(0, 255, 0);
    // The scale picture: a blue tick on the top row, a black right column, white inside.
    EXPECT_EQ(::GetPixel(dc, 0, 0), RGB(0, 0, 255));
    EXPECT_EQ(::GetPixel(dc, 9, 20), RGB(0, 0, 0));
    EXPECT_EQ(::GetPixel(dc, 7, 1), white);

    box.cls();
    box.scale(4, 1.0f, 100.0f, 4.0f, 0.0f);
    box.line(38, 1.0f, 0.0f, 3.0f, 50.0f, 0x0000FF00);
    struct Probe {
        int x, y;
        bool bar;
    };
    // 10 x 48: the bar covers columns 0-6 and the lower 24 rows.
    const Probe probes[] = {{0, 47, true},  {6, 24, true}, {7, 30, false},
                            {0, 23, false}, {3, 40, true}, {8, 47, false}};
    for (const Probe& p : probes) {
        EXPECT_EQ(::GetPixel(dc, p.x, p.y) == green, p.bar) << p.x << "," << p.y;
    }
    box.cls();
    EXPECT_NE(::GetPixel(dc, 3, 40), green);
    box.line(38, 1.0f, 0.0f, 3.0f, 0.0f, 0x0000FF00);  // no height: nothing drawn
    for (int x = 0; x < 10; ++x) {
        EXPECT_NE(::GetPixel(dc, x, 47), green);
    }
    box.line(38, 1.0f, 0.0f, 3.0f, 100.0f, 0x000000FF);
    EXPECT_EQ(::GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_THROW(box.scale(4, 1.0f, 100.0f, 1.0f, 0.0f), Error);
}

TEST_F(BackendTest, PanelPositionsReadBackInTheFormsUnit) {
    Win32Form& main = loadMain();
    auto& twips = main.pictureBox("picBox");
    EXPECT_FLOAT_EQ(twips.left(), 2400.0f * 96 / runtime->dpi() * runtime->dpi() / 96);
    twips.setLeft(twips.left() - 30.0f * 15);
    EXPECT_FLOAT_EQ(twips.left(), 1950.0f);

    Recorder dialogEvents;
    platform::Form& dialog = runtime->load(kDialog, dialogEvents);
    auto& pixels = dialog.pictureBox("picSlide");
    if (runtime->dpi() == 96) {
        std::vector<float> seen;
        for (float at = pixels.left(); at > 30.0f; at = pixels.left()) {
            pixels.setLeft(at - 30.0f);
            seen.push_back(pixels.left());
        }
        EXPECT_EQ(seen, (std::vector<float>{242, 212, 182, 152, 122, 92, 62, 32, 2}));
    }
    EXPECT_THROW(pixels.setLeft(1e30f), Error);
}

TEST_F(BackendTest, MenuItemsClickByIdAndKeepTheirCheckMarks) {
    Win32Form& form = loadMain();
    auto& menu = dynamic_cast<Win32Menu&>(form.menu("mnuA"));
    EXPECT_EQ(::GetMenuItemCount(menu.handle()), 3);
    auto& two = form.menuItem("mnuAction", 2);
    EXPECT_EQ(two.checked(), platform::kTrue);
    EXPECT_NE(::GetMenuState(menu.handle(), 102, MF_BYCOMMAND) & MF_CHECKED, 0u);
    two.setChecked(platform::kFalse);
    EXPECT_EQ(::GetMenuState(menu.handle(), 102, MF_BYCOMMAND) & MF_CHECKED, 0u);

    ::SendMessageA(form.hwnd(), WM_COMMAND, MAKEWPARAM(100, 0), 0);
    EXPECT_TRUE(lastIs(events, "click mnuAction 0"));
    const auto before = events.log.size();
    ::SendMessageA(form.hwnd(), WM_COMMAND, MAKEWPARAM(101, 0), 0);  // the separator
    EXPECT_EQ(events.log.size(), before);
}

TEST_F(BackendTest, TimersTickAndAHandlersErrorIsReportedOnceWithoutStoppingThem) {
    Win32Form& form = loadMain();
    int ticks = 0;
    events.onTick = [&](std::string_view timer) {
        EXPECT_EQ(timer, "tmrMain");
        ++ticks;
        throw Error(platform::errnum::Overflow, "Overflow");
    };
    runtime->pumpUntil([&] { return ticks >= 3; });
    EXPECT_EQ(ticks, 3);
    ASSERT_EQ(reported.size(), 1u);  // repeats are held back
    EXPECT_NE(reported[0].find("frmTest.tmrMain_Timer: 6 Overflow"), std::string::npos)
        << reported[0];

    form.timer("tmrMain").setEnabled(platform::kFalse);
    const int stopped = ticks;
    ::Sleep(100);
    MSG msg{};
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::DispatchMessageA(&msg);
    }
    EXPECT_EQ(ticks, stopped);
}

TEST_F(BackendTest, ModalShowRunsALoopInWhichBothTimersTickUntilTheFormIsUnloaded) {
    Win32Form& main = loadMain();
    main.show(0);
    int mainTicks = 0;
    events.onTick = [&](std::string_view) { ++mainTicks; };

    Recorder dialogEvents;
    auto& dialog = dynamic_cast<Win32Form&>(runtime->load(kDialog, dialogEvents));
    EXPECT_EQ(dialog.owner(), main.hwnd());
    int dialogTicks = 0;
    bool ownerDisabled = false;
    dialogEvents.onTick = [&](std::string_view) {
        ownerDisabled = ::IsWindowEnabled(main.hwnd()) == FALSE;
        EXPECT_THROW(dialog.show(1), Error);  // already shown modally
        if (++dialogTicks == 5) {
            runtime->unload(dialog);
        }
    };
    dialog.show(1);
    EXPECT_EQ(dialogTicks, 5);
    EXPECT_GT(mainTicks, 0);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(::IsWindowEnabled(main.hwnd()));
    EXPECT_EQ(dialogEvents.log, (std::vector<std::string>{"load", "unload", "terminate"}));
    EXPECT_THROW(dialog.hWnd(), Error);
}

TEST_F(BackendTest, EnterAndEscapeChooseTheDialogsButton) {
    loadMain().show(0);
    Recorder dialogEvents;
    auto& dialog = dynamic_cast<Win32Form&>(runtime->load(kDialog, dialogEvents));
    dialog.show(0);
    for (const WPARAM key : {WPARAM{VK_ESCAPE}, WPARAM{VK_RETURN}}) {
        dialogEvents.log.clear();
        ::PostMessageA(::GetFocus() != nullptr ? ::GetFocus() : dialog.hwnd(), WM_KEYDOWN, key, 0);
        runtime->pumpUntil([&] { return !dialogEvents.log.empty(); });
        EXPECT_EQ(dialogEvents.log, std::vector<std::string>{"click cmdOK -1"}) << key;
    }
}

TEST_F(BackendTest, UnloadingAnOwnerUnloadsItsOwnedFormsFirstAndTheLastUnloadEndsTheLoop) {
    Win32Form& main = loadMain();
    main.show(0);
    Recorder dialogEvents;
    runtime->load(kDialog, dialogEvents);

    events.cancel = 1;
    runtime->unload(kMain);
    EXPECT_TRUE(main.loaded());  // the handler cancelled; the owned form went anyway
    EXPECT_EQ(dialogEvents.log, (std::vector<std::string>{"load", "unload", "terminate"}));

    events.cancel = 0;
    events.log.clear();
    runtime->unload(main);
    EXPECT_EQ(events.log, (std::vector<std::string>{"unload", "terminate"}));
    EXPECT_FALSE(runtime->anyLoaded());
    runtime->run();          // returns: nothing is loaded
    runtime->unload(kMain);  // an unloaded form is left alone
    EXPECT_EQ(events.log.size(), 2u);
}

TEST_F(BackendTest, ApplicationInformation) {
    EXPECT_EQ(runtime->prevInstance(), platform::kFalse);
    RuntimeOptions again;
    again.instanceMutex = "Local\\PelmoraBackendTest." + std::to_string(::GetCurrentProcessId()) +
                          "." + std::to_string(serial_);
    Win32Runtime second(::GetModuleHandleA(nullptr), again);
    EXPECT_EQ(second.prevInstance(), platform::kTrue);
    EXPECT_EQ(runtime->exeName(), "pelmora_win32_tests");
    EXPECT_EQ(runtime->title(), "Pelmora");
    EXPECT_EQ((std::vector<int>{runtime->major(), runtime->minor(), runtime->revision()}),
              (std::vector<int>{1, 0, 26}));
    runtime->setMousePointer(platform::pointer::Hourglass);
    EXPECT_NE(runtime->pointerCursor(), nullptr);
    runtime->setMousePointer(platform::pointer::Default);
    EXPECT_EQ(runtime->pointerCursor(), nullptr);
    EXPECT_THROW(runtime->setMousePointer(99), Error);
}

// ---- OS calls and the tray record

LRESULT CALLBACK countingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 7) {
        return 77;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST_F(BackendTest, WindowProcedureHookRoundTripsAndANullProcedureIsRefused) {
    Win32Form& form = loadMain();
    Win32OsCalls os;
    const auto hwnd = reinterpret_cast<platform::Hwnd>(form.hwnd());
    const std::intptr_t original = ::GetWindowLongPtrA(form.hwnd(), GWLP_WNDPROC);

    EXPECT_EQ(os.SetWindowLongA(hwnd, GWLP_WNDPROC, 0), 0);
    EXPECT_EQ(::GetWindowLongPtrA(form.hwnd(), GWLP_WNDPROC), original);

    const std::intptr_t previous =
        os.SetWindowLongA(hwnd, GWLP_WNDPROC, reinterpret_cast<std::intptr_t>(&countingProc));
    EXPECT_EQ(previous, original);
    EXPECT_EQ(os.SendMessageA(hwnd, WM_USER + 7, 0, 0), 77);
    // Passed on to the form's own procedure, a press still reaches the system.
    os.CallWindowProcA(previous, hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 10));
    EXPECT_TRUE(lastIs(events, "mouse lblPair 1 1 0"));
    os.SetWindowLongA(hwnd, GWLP_WNDPROC, previous);
    EXPECT_EQ(::GetWindowLongPtrA(form.hwnd(), GWLP_WNDPROC), original);
}

TEST(OsCallsTest, MemoryStatusIsFilled) {
    Win32OsCalls os;
    platform::MEMORYSTATUSEX status{};
    ASSERT_NE(os.GlobalMemoryStatusEx(status), 0);
    EXPECT_EQ(status.dwLength, sizeof(status));
    EXPECT_GT(status.ullTotalPhys, 0u);
    EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
    EXPECT_LE(status.dwMemoryLoad, 100u);
}

platform::NOTIFYICONDATAA record(std::uint32_t hwnd, std::uint32_t flags, const char* tip) {
    platform::NOTIFYICONDATAA r{};
    r.cbSize = 88;
    r.hWnd = hwnd;
    r.uFlags = flags;
    r.uCallbackMessage = 2025;
    r.hIcon = 0x80001234u;
    std::memset(r.szTip, ' ', sizeof(r.szTip));
    std::memcpy(r.szTip, tip, std::strlen(tip) + 1);
    return r;
}

TEST(TrayRecordTest, WidensToTheNativeRecord) {
    struct Case {
        std::uint32_t size;
        DWORD nativeSize;
    };
    for (const Case c : {Case{88, NOTIFYICONDATAA_V1_SIZE}, Case{0, 0}, Case{504, 504}}) {
        platform::NOTIFYICONDATAA r = record(0x00010022u, NIF_TIP, "abc");
        r.cbSize = c.size;
        const ::NOTIFYICONDATAA native = toNativeTrayRecord(r);
        EXPECT_EQ(native.cbSize, c.nativeSize);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(native.hWnd), 0x00010022u);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(native.hIcon),
                  platform::widenHandle(0x80001234u));
        EXPECT_EQ(native.uCallbackMessage, 2025u);
        EXPECT_EQ(std::memcmp(native.szTip, "abc\0   ", 7), 0);
    }
    platform::NOTIFYICONDATAA full = record(1, NIF_TIP, "");
    std::memset(full.szTip, 'x', sizeof(full.szTip));  // no NUL at all
    EXPECT_EQ(toNativeTrayRecord(full).szTip[63], '\0');
}

TEST(TrayRecordTest, KeeperAddsTheIconAgainWithItsLastTipAfterAShellRestart) {
    std::vector<std::pair<DWORD, std::string>> sent;
    TrayIconKeeper keeper([&](DWORD message, platform::NOTIFYICONDATAA& r) {
        sent.emplace_back(message, std::to_string(r.uFlags) + " " + r.szTip);
        return TRUE;
    });
    keeper.noteRequest(NIM_MODIFY, record(0, NIF_TIP, "before add"));  // no icon yet
    keeper.shellRestarted(0x22);
    EXPECT_TRUE(sent.empty());

    keeper.noteRequest(NIM_ADD, record(0x22, NIF_MESSAGE | NIF_ICON, "stale"));
    keeper.shellRestarted(0x22);
    keeper.noteRequest(NIM_MODIFY, record(0x22, NIF_TIP, "Free RAM = 257 MB"));
    keeper.noteRequest(NIM_MODIFY, record(0x99, NIF_TIP, "another window"));
    keeper.shellRestarted(0x99);  // not this window's icon
    keeper.shellRestarted(0x22);
    EXPECT_EQ(sent, (std::vector<std::pair<DWORD, std::string>>{{NIM_ADD, "3 stale"},
                                                                {NIM_ADD, "7 Free RAM = 257 MB"}}));

    sent.clear();
    keeper.noteRequest(NIM_DELETE, record(0x22, 0, ""));
    keeper.shellRestarted(0x22);
    keeper.removeLeftover();
    EXPECT_TRUE(sent.empty());

    keeper.noteRequest(NIM_ADD, record(0x22, NIF_MESSAGE | NIF_ICON, ""));
    keeper.removeLeftover();
    keeper.removeLeftover();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, static_cast<DWORD>(NIM_DELETE));
}

}  // namespace
}  // namespace pelmora::win32

// The emulated OS as every layer without Windows under it uses it: the shell's tray table over
// a tray that records what it is asked to show, the window-procedure chains, the memory
// status record, and the calls over a layer's primitives.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/emulated/emulated_os.h"
#include "platform/emulated/memory_status.h"
#include "platform/emulated/tray_host.h"
#include "platform/emulated/tray_table.h"
#include "platform/emulated/window_procs.h"
#include "platform/win_constants.h"
#include "support/recording_os.h"

namespace pelmora::emulated {
namespace {

using platform::NIF_ICON;
using platform::NIF_MESSAGE;
using platform::NIF_TIP;
using platform::NIM_ADD;
using platform::NIM_DELETE;
using platform::NIM_MODIFY;

constexpr std::uint32_t kBadIcon = 0xBAD;
constexpr std::uint32_t kNifState = 8;  // a field of later forms of the record

// A tray that notes each request as a line and refuses unknown windows and images, or
// everything while it is down.
struct RecordingTray final : TrayShell {
    std::vector<std::string> calls;
    std::set<platform::Hwnd> windows{0x22, 0x99};
    bool down = false;

    bool showIcon(const TrayIconKey& key, const TrayIcon& icon) override {
        return note("show", key, icon, icon.flags);
    }
    bool updateIcon(const TrayIconKey& key, const TrayIcon& icon, std::uint32_t changed) override {
        return note("update", key, icon, changed);
    }
    bool removeIcon(const TrayIconKey& key) override {
        calls.push_back("remove " + std::to_string(key.hWnd) + "/" + std::to_string(key.uID));
        return !down;
    }
    bool note(const char* what, const TrayIconKey& key, const TrayIcon& icon, std::uint32_t flags) {
        calls.push_back(
            std::string(what) + " " + std::to_string(key.hWnd) + "/" + std::to_string(key.uID) +
            " flags=" + std::to_string(flags) + " message=" + std::to_string(icon.callbackMessage) +
            " icon=" + std::to_string(icon.hIcon) + " tip=" + std::string(tipText(icon.tip)));
        return !down && windows.count(key.hWnd) != 0 && icon.hIcon != kBadIcon;
    }
};

platform::NOTIFYICONDATAA record(std::uint32_t hWnd, std::uint32_t flags, const char* tip,
                                 std::uint32_t icon = 7, std::uint32_t message = 2025) {
    platform::NOTIFYICONDATAA r{};
    r.cbSize = sizeof r;
    r.hWnd = hWnd;
    r.uFlags = flags;
    r.uCallbackMessage = message;
    r.hIcon = icon;
    std::memset(r.szTip, ' ', sizeof r.szTip);
    std::memcpy(r.szTip, tip, std::strlen(tip) + 1);
    return r;
}

platform::NOTIFYICONDATAA sized(platform::NOTIFYICONDATAA r, std::uint32_t cbSize) {
    r.cbSize = cbSize;
    return r;
}

platform::NOTIFYICONDATAA withId(platform::NOTIFYICONDATAA r, std::uint32_t uID) {
    r.uID = uID;
    return r;
}

TEST(TrayTable, RequestsFollowTheShellsRules) {
    RecordingTray tray;
    TrayTable table(tray);
    platform::NOTIFYICONDATAA junkAfterNul = record(0x22, NIF_TIP, "257");
    std::memset(junkAfterNul.szTip + 4, '#', 60);
    const struct {
        const char* what;
        std::uint32_t message;
        platform::NOTIFYICONDATAA data;
        std::int32_t result;
        std::string call;  // what reached the tray; empty for nothing
    } cases[] = {
        {"a tip before the icon exists", NIM_MODIFY, record(0, NIF_TIP, "early"), 0, ""},
        {"add for an unknown window", NIM_ADD, record(0x55, NIF_MESSAGE | NIF_ICON, ""), 0,
         "show 85/0 flags=3 message=2025 icon=7 tip="},
        {"add with an unknown image", NIM_ADD, record(0x22, NIF_MESSAGE | NIF_ICON, "", kBadIcon),
         0, "show 34/0 flags=3 message=2025 icon=2989 tip="},
        {"add: the tip not flagged is not shown", NIM_ADD,
         record(0x22, NIF_MESSAGE | NIF_ICON, "not sent"), 1,
         "show 34/0 flags=3 message=2025 icon=7 tip="},
        {"add again", NIM_ADD, record(0x22, NIF_MESSAGE | NIF_ICON, ""), 0, ""},
        {"a size of 0 is read as the first form", NIM_MODIFY,
         sized(record(0x22, NIF_TIP, "257"), 0), 1,
         "update 34/0 flags=4 message=2025 icon=7 tip=257"},
        {"the same tip", NIM_MODIFY, record(0x22, NIF_TIP, "257"), 1, ""},
        {"the same tip, other bytes after its NUL", NIM_MODIFY, junkAfterNul, 1, ""},
        {"the same tip, image and message", NIM_MODIFY,
         record(0x22, NIF_TIP | NIF_ICON | NIF_MESSAGE, "257"), 1, ""},
        {"a change of nothing", NIM_MODIFY, record(0x22, 0, "other"), 1, ""},
        {"a flag the first form has not", NIM_MODIFY, record(0x22, NIF_TIP | kNifState, "257"), 1,
         ""},
        {"a larger size is read as the first form", NIM_MODIFY,
         sized(record(0x22, NIF_TIP | kNifState, "258"), 504), 1,
         "update 34/0 flags=4 message=2025 icon=7 tip=258"},
        {"a change to an unknown image", NIM_MODIFY,
         record(0x22, NIF_ICON | NIF_TIP, "x", kBadIcon), 0,
         "update 34/0 flags=6 message=2025 icon=2989 tip=x"},
        {"the same, asked again after a refusal", NIM_MODIFY,
         record(0x22, NIF_ICON | NIF_TIP, "x", kBadIcon), 0,
         "update 34/0 flags=6 message=2025 icon=2989 tip=x"},
        {"another image and tip", NIM_MODIFY, record(0x22, NIF_ICON | NIF_TIP, "256", 8), 1,
         "update 34/0 flags=6 message=2025 icon=8 tip=256"},
        {"a request the shell does not know", 7, record(0x22, NIF_TIP, "255"), 0, ""},
        {"delete of another identifier", NIM_DELETE, withId(record(0x22, 0, ""), 1), 0, ""},
        {"delete", NIM_DELETE, record(0x22, 0, ""), 1, "remove 34/0"},
        {"delete again", NIM_DELETE, record(0x22, 0, ""), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tray.calls.clear();
        EXPECT_EQ(table.notify(c.message, c.data), c.result);
        EXPECT_EQ(tray.calls,
                  c.call.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.call});
    }
}

TEST(TrayTable, ClicksGoToTheWindowOnlyAsItAskedAndWhileTheIconIsShown) {
    RecordingTray tray;
    TrayTable table(tray);
    const TrayIconKey key{0x22, 3};
    const auto click = [&] { return table.callback(key, platform::WM_LBUTTONUP); };
    EXPECT_EQ(click(), std::nullopt) << "no icon";
    ASSERT_EQ(table.notify(NIM_ADD, withId(record(0x22, NIF_ICON, ""), 3)), 1);
    EXPECT_EQ(click(), std::nullopt) << "no message asked for";
    ASSERT_EQ(table.notify(NIM_MODIFY, withId(record(0x22, NIF_MESSAGE, "", 7, 2030), 3)), 1);
    EXPECT_EQ(click(), (WindowMessage{0x22, 2030, 3, platform::WM_LBUTTONUP}));
    tray.down = true;
    EXPECT_EQ(table.notify(NIM_MODIFY, withId(record(0x22, NIF_TIP, "lost"), 3)), 0);
    EXPECT_EQ(click(), std::nullopt) << "the shell lost the icon";
    tray.down = false;
    table.showAgain(0x22);
    EXPECT_EQ(click(), (WindowMessage{0x22, 2030, 3, platform::WM_LBUTTONUP}));
    ASSERT_EQ(table.notify(NIM_DELETE, withId(record(0x22, 0, ""), 3)), 1);
    EXPECT_EQ(click(), std::nullopt) << "deleted";

    // The record's handles are 32 bits wide; the window's own handle is sign-extended.
    tray.windows.insert(platform::widenHandle(0x80001234u));
    ASSERT_EQ(table.notify(NIM_ADD, record(0x80001234u, NIF_MESSAGE, "")), 1);
    EXPECT_NE(table.callback({platform::widenHandle(0x80001234u), 0}, 1), std::nullopt);
}

TEST(TrayTable, AnIconTheShellRefusedIsAddedAgainWithItsLastTipWhenTheShellStarts) {
    RecordingTray tray;
    TrayTable table(tray);
    tray.down = true;
    EXPECT_EQ(table.notify(NIM_ADD, record(0x22, NIF_MESSAGE | NIF_ICON, "stale")), 0);
    EXPECT_EQ(table.notify(NIM_MODIFY, record(0x22, NIF_TIP, "Free RAM = 257 MB")), 0);
    table.showAgain(0x22);  // still down
    EXPECT_EQ(table.notify(NIM_MODIFY, record(0x22, NIF_TIP, "Free RAM = 257 MB")), 0)
        << "not shown again: the same tip is asked for anew";
    tray.down = false;
    table.showAgain(0x99);  // not this window's icon
    table.showAgain(0x22);
    ASSERT_EQ(tray.calls.size(), 5u);
    EXPECT_EQ(tray.calls.back(), "show 34/0 flags=7 message=2025 icon=7 tip=Free RAM = 257 MB");
    tray.calls.clear();
    EXPECT_EQ(table.notify(NIM_MODIFY, record(0x22, NIF_TIP, "Free RAM = 257 MB")), 1);
    EXPECT_TRUE(tray.calls.empty()) << "shown again, the same tip is a repeat";

    // A window's icons go with it; the rest go at the end, once.
    ASSERT_EQ(table.notify(NIM_ADD, record(0x99, NIF_ICON, "")), 1);
    ASSERT_EQ(table.notify(NIM_ADD, withId(record(0x99, NIF_ICON, ""), 1)), 1);
    tray.calls.clear();
    table.removeWindow(0x99);
    EXPECT_EQ(tray.calls, (std::vector<std::string>{"remove 153/0", "remove 153/1"}));
    tray.calls.clear();
    table.removeAll();
    table.removeAll();
    EXPECT_EQ(tray.calls, std::vector<std::string>{"remove 34/0"});
    EXPECT_EQ(table.notify(NIM_MODIFY, record(0x22, NIF_TIP, "gone")), 0);
}

TEST(TrayTable, TipIsTheTextUpToItsNulAndAtMostSixtyThreeCharacters) {
    const struct {
        std::string bytes;
        std::string shown;
    } cases[] = {
        {std::string("abc\0", 4) + std::string(60, ' '), "abc"},
        {std::string("\0", 1) + std::string(63, ' '), ""},
        {std::string(63, 'x') + std::string("\0", 1), std::string(63, 'x')},
        {std::string(64, 'y'), std::string(63, 'y')},
    };
    for (const auto& c : cases) {
        std::array<char, 64> tip{};
        std::memcpy(tip.data(), c.bytes.data(), tip.size());
        EXPECT_EQ(tipText(tip), c.shown);
    }
}

TEST(TrayHost, ClicksAndButtonsMakeTheMouseMessagesOfTheShell) {
    using platform::MouseButton;
    const struct {
        TrayClick click;
        std::vector<std::uint32_t> messages;
    } clicks[] = {
        {TrayClick::Primary, {platform::WM_LBUTTONDOWN, platform::WM_LBUTTONUP}},
        {TrayClick::Context, {platform::WM_RBUTTONDOWN, platform::WM_RBUTTONUP}},
        {TrayClick::Double, {platform::WM_LBUTTONDBLCLK}},
        {TrayClick::Middle, {0x207, 0x208}},
    };
    for (const auto& c : clicks) {
        EXPECT_EQ(clickMessages(c.click), c.messages) << static_cast<int>(c.click);
    }
    const struct {
        ButtonEvent event;
        MouseButton button;
        bool over;
        std::optional<std::uint32_t> message;
    } buttons[] = {
        {ButtonEvent::Press, MouseButton::Left, true, platform::WM_LBUTTONDOWN},
        {ButtonEvent::Press, MouseButton::Left, false, platform::WM_LBUTTONDOWN},
        {ButtonEvent::Release, MouseButton::Left, true, platform::WM_LBUTTONUP},
        {ButtonEvent::Release, MouseButton::Left, false, std::nullopt},
        {ButtonEvent::DoubleClick, MouseButton::Left, true, platform::WM_LBUTTONDBLCLK},
        {ButtonEvent::Press, MouseButton::Right, true, platform::WM_RBUTTONDOWN},
        {ButtonEvent::Release, MouseButton::Right, true, platform::WM_RBUTTONUP},
        {ButtonEvent::Release, MouseButton::Right, false, std::nullopt},
        {ButtonEvent::DoubleClick, MouseButton::Right, true, platform::WM_RBUTTONDBLCLK},
        {ButtonEvent::Press, MouseButton::Middle, true, 0x207},
        {ButtonEvent::Release, MouseButton::Middle, true, 0x208},
        {ButtonEvent::DoubleClick, MouseButton::Middle, true, 0x209},
    };
    for (const auto& c : buttons) {
        EXPECT_EQ(mouseMessage(c.event, c.button, c.over), c.message)
            << static_cast<int>(c.event) << " " << static_cast<int>(c.button) << " over " << c.over;
    }
}

TEST(TrayHost, AnsiTextIsTheWindowsCodePageInUtf8) {
    const struct {
        std::string ansi;
        std::string utf8;
    } cases[] = {
        {"Free RAM = 257 MB", "Free RAM = 257 MB"},
        {"\x7F\x80\x9F", "\x7F\u20AC\u0178"},
        {"\x85\x91\x92\x99", "\u2026\u2018\u2019\u2122"},
        // The five bytes the code page leaves unassigned keep their code.
        {"\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D"},
        {"\xA0\xE9\xFF", "\u00A0\u00E9\u00FF"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ansiToUtf8(c.ansi), c.utf8) << c.ansi;
    }
}

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(TrayHost, TheLogHoldsWhatTheHostTookOneALine) {
    const std::string path = ::testing::TempDir() + "pelmora-tray-host.log";
    std::remove(path.c_str());
    RecordingTray tray;
    {
        TrayRequestLog log(tray, path);
        EXPECT_EQ(log.takeProblem(), "");
        TrayTable table(log);
        const struct {
            std::uint32_t message;
            platform::NOTIFYICONDATAA data;
        } requests[] = {
            {NIM_ADD, record(0x33, NIF_ICON | NIF_TIP, "refused: unknown window")},
            {NIM_ADD, record(0x22, NIF_ICON | NIF_TIP, "Free \x80 5")},
            {NIM_MODIFY, record(0x22, NIF_TIP, "")},
            {NIM_MODIFY, record(0x22, NIF_ICON | NIF_TIP, "refused: unknown image", kBadIcon)},
            {NIM_MODIFY, record(0x22, NIF_MESSAGE, "", 7, 2030)},
            {NIM_DELETE, record(0x22, 0, "")},
        };
        for (const auto& request : requests) {
            table.notify(request.message, request.data);
        }
        log.docked("Free 5");
        log.docked("");
    }
    EXPECT_EQ(linesOf(path), (std::vector<std::string>{"add", "tip Free \u20AC 5", "tip ", "delete",
                                                       "dock Free 5", "dock"}));
}

TEST(EmulatedOs, AnUnwritableTrayLogIsReportedAtTheFirstTrayRequestAndTheRequestGoesOn) {
    recording::RecordingPlatform platform;
    const std::string path = ::testing::TempDir() + "pelmora-no-such-folder/tray.log";
    recording::RecordingOs os{platform, path};
    EXPECT_TRUE(platform.journal.entries({"report"}).empty()) << "nothing asked of the tray yet";
    for (int i = 0; i < 2; ++i) {
        platform::NOTIFYICONDATAA data = record(0x22, NIF_TIP, "x");
        os.Shell_NotifyIconA(NIM_MODIFY, data);
    }
    const platform::Error error(platform::ErrorCode::FileAccess,
                                "cannot write " + path + ": " + std::strerror(ENOENT));
    EXPECT_EQ(platform.journal.entries({"report"}),
              std::vector<std::string>{"report Shell_NotifyIconA: 75 " + error.description()});
    EXPECT_EQ(platform.journal.entries({"Shell_NotifyIconA"}).size(), 2u);
}

// ---------------------------------------------------------------------------------------------
// Window procedures

struct ProcLog {
    std::vector<std::string> seen;
    ProcedureChain* chain = nullptr;
    std::intptr_t previous = 0;
};
ProcLog procLog;

std::string describe(const char* who, platform::Hwnd hWnd, std::uint32_t msg,
                     platform::WParam wParam, platform::LParam lParam) {
    return std::string(who) + " " + std::to_string(hWnd) + " " + std::to_string(msg) + " " +
           std::to_string(wParam) + " " + std::to_string(lParam);
}

platform::LResult PELMORA_CALLBACK outerProc(platform::Hwnd hWnd, std::uint32_t msg,
                                             platform::WParam wParam, platform::LParam lParam) {
    procLog.seen.push_back(describe("outer", hWnd, msg, wParam, lParam));
    return procLog.chain->call(procLog.previous, hWnd, msg, wParam, lParam) + 1000;
}

platform::LResult PELMORA_CALLBACK innerProc(platform::Hwnd hWnd, std::uint32_t msg,
                                             platform::WParam wParam, platform::LParam lParam) {
    procLog.seen.push_back(describe("inner", hWnd, msg, wParam, lParam));
    return 7;
}

std::intptr_t value(platform::WndProc proc) {
    return reinterpret_cast<std::intptr_t>(proc);
}

// Two windows, each with an own procedure that notes what reaches it and answers 55.
struct TwoWindows final : ProcedureWindows {
    std::map<platform::Hwnd, std::intptr_t> current{{1, 0x1001}, {2, 0x1002}};
    Slot procedureSlot(platform::Hwnd hWnd) override {
        const auto it = current.find(hWnd);
        return it == current.end() ? Slot{nullptr, 0}
                                   : Slot{&it->second, static_cast<std::intptr_t>(0x1000 + hWnd)};
    }
    platform::LResult ownProcedure(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                                   platform::LParam lParam) override {
        procLog.seen.push_back(describe("own", hWnd, msg, wParam, lParam));
        return 55;
    }
};

struct Procedures : ::testing::Test {
    Procedures() {
        procLog = ProcLog{};
        procLog.chain = &chain;
    }
    TwoWindows windows;
    ProcedureChain chain{windows};
};

TEST_F(Procedures, InstallCallsThePreviousAndRestores) {
    const std::intptr_t own = chain.install(1, platform::GWL_WNDPROC, value(&innerProc));
    EXPECT_EQ(own, 0x1001);
    procLog.previous = chain.install(1, platform::GWL_WNDPROC, value(&outerProc));
    EXPECT_EQ(procLog.previous, value(&innerProc));
    EXPECT_EQ(chain.send(1, 2025, 5, 512), 1007);
    EXPECT_EQ(procLog.seen, (std::vector<std::string>{"outer 1 2025 5 512", "inner 1 2025 5 512"}));

    procLog.seen.clear();
    EXPECT_EQ(chain.call(own, 1, 2025, 0, 514), 55);
    EXPECT_EQ(chain.install(1, platform::GWL_WNDPROC, procLog.previous), value(&outerProc));
    EXPECT_EQ(chain.install(1, platform::GWL_WNDPROC, own), value(&innerProc));
    EXPECT_EQ(chain.send(1, 2025, 0, 514), 55);
    EXPECT_EQ(procLog.seen, (std::vector<std::string>{"own 1 2025 0 514", "own 1 2025 0 514"}));

    // Installed once, a procedure may be called for any window, as the OS does.
    procLog.seen.clear();
    EXPECT_EQ(chain.call(value(&innerProc), 2, 1, 2, 3), 7);
    EXPECT_EQ(procLog.seen, std::vector<std::string>{"inner 2 1 2 3"});
}

TEST_F(Procedures, BadWindowsIndexesAndValuesAreRefusedAndChangeNothing) {
    const struct {
        const char* what;
        std::function<std::intptr_t(ProcedureChain&)> call;
    } refusals[] = {
        {"install on an unknown window",
         [](ProcedureChain& c) { return c.install(3, platform::GWL_WNDPROC, value(&innerProc)); }},
        {"install at another index", [](ProcedureChain& c) { return c.install(1, -16, 0x5); }},
        {"install no procedure",
         [](ProcedureChain& c) { return c.install(1, platform::GWL_WNDPROC, 0); }},
        {"call a value never installed",
         [](ProcedureChain& c) { return c.call(value(&innerProc), 1, 1, 2, 3); }},
        {"call another window's own procedure",
         [](ProcedureChain& c) { return c.call(0x1002, 1, 1, 2, 3); }},
        {"call an own procedure of an unknown window",
         [](ProcedureChain& c) { return c.call(0x1003, 3, 1, 2, 3); }},
        {"send to an unknown window", [](ProcedureChain& c) { return c.send(3, 1, 2, 3); }},
    };
    for (const auto& refusal : refusals) {
        EXPECT_EQ(refusal.call(chain), 0) << refusal.what;
    }
    EXPECT_TRUE(procLog.seen.empty()) << "a refused value is never called";
    EXPECT_EQ(windows.current, (std::map<platform::Hwnd, std::intptr_t>{{1, 0x1001}, {2, 0x1002}}));
}

// ---------------------------------------------------------------------------------------------
// Memory status

TEST(MemoryStatus, OnlyARecordOfItsOwnSizeIsFilled) {
    const MemoryFigures figures{std::nullopt, 8000000ull << 10, 2000000ull << 10, 1000000ull << 10,
                                500000ull << 10};
    for (const std::uint32_t length : {0u, 32u, 63u, 65u, 0xFFFFFFFFu}) {
        platform::MEMORYSTATUSEX status{};
        status.dwLength = length;
        status.ullTotalPhys = 123;
        EXPECT_EQ(fillMemoryStatus(status, figures), 0) << length;
        EXPECT_EQ(status.ullTotalPhys, 123u);
        EXPECT_EQ(status.dwMemoryLoad, 0u);
    }
    platform::MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    ASSERT_EQ(fillMemoryStatus(status, figures), 1);
    EXPECT_EQ(status.dwLength, 64u);
    EXPECT_EQ(status.dwMemoryLoad, 75u);
    EXPECT_EQ(status.ullTotalPhys, 8000000ull << 10);
    EXPECT_EQ(status.ullAvailPhys, 2000000ull << 10);
    EXPECT_EQ(status.ullTotalPageFile, 9000000ull << 10);
    EXPECT_EQ(status.ullAvailPageFile, 2500000ull << 10);
    EXPECT_GE(status.ullTotalVirtual, status.ullAvailVirtual);
    EXPECT_EQ(status.ullAvailExtendedVirtual, 0u);

    // A load the system states is passed on as it is, even one out of range.
    MemoryFigures stated = figures;
    stated.load = 256;
    ASSERT_EQ(fillMemoryStatus(status, stated), 1);
    EXPECT_EQ(status.dwMemoryLoad, 256u);
}

TEST(MemoryStatus, LoadIsTheRoundedShareInUse) {
    const struct {
        std::uint64_t total;
        std::uint64_t available;
        std::uint32_t load;
    } cases[] = {
        {1000, 500, 50},
        {1000, 1000, 0},
        {1000, 0, 100},
        {200, 199, 1},
        {1000, 996, 0},
        {1000, 995, 1},
        {1000, 2000, 0},
        {3, 1, 67},
        {0, 0, 0},
        {UINT64_MAX, 0, 100},
        {UINT64_MAX, UINT64_MAX / 2, 50},
        {UINT64_MAX, UINT64_MAX / 4, 75},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(memoryLoadPercent(c.total, c.available), c.load) << c.total << " " << c.available;
    }
}

// ---------------------------------------------------------------------------------------------
// The calls over a layer's primitives

TEST(EmulatedOs, SetWindowPosReadsItsArgumentsAsWindowsDoes) {
    using Stacking = Placement::Stacking;
    constexpr std::uint32_t kKeepPlace = platform::SWP_NOMOVE | platform::SWP_NOSIZE;
    constexpr std::uint32_t kNoZOrder = 4;
    const struct {
        const char* what;
        std::intptr_t insertAfter;
        std::int32_t x, y, cx, cy;
        std::uint32_t flags;
        Placement placement;
    } cases[] = {
        {"on top, in place", platform::HWND_TOPMOST, 5, 6, 7, 8, kKeepPlace, {Stacking::Topmost}},
        {"off top", platform::HWND_NOTOPMOST, 0, 0, 0, 0, kKeepPlace, {Stacking::NotTopmost}},
        {"to the top", 0, 0, 0, 0, 0, kKeepPlace, {Stacking::Top}},
        {"to the bottom", 1, 0, 0, 0, 0, kKeepPlace, {Stacking::Bottom}},
        {"behind another window", 0x1234, 0, 0, 0, 0, kKeepPlace, {Stacking::Keep}},
        {"the order kept: where to insert is not read",
         platform::HWND_TOPMOST,
         0,
         0,
         0,
         0,
         kKeepPlace | kNoZOrder,
         {Stacking::Keep}},
        {"moved and sized",
         0x1234,
         -10,
         20,
         208,
         51,
         0,
         {Stacking::Keep, true, -10, 20, true, 208, 51}},
        {"no size is no size at all",
         platform::HWND_TOPMOST,
         3,
         4,
         0,
         51,
         0,
         {Stacking::Topmost, true, 3, 4}},
        {"sized only",
         0,
         10,
         20,
         208,
         51,
         platform::SWP_NOMOVE | kNoZOrder,
         {Stacking::Keep, false, 0, 0, true, 208, 51}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodePlacement(c.insertAfter, c.x, c.y, c.cx, c.cy, c.flags), c.placement)
            << c.what;
    }
}

TEST(EmulatedOs, AFailedMemoryQueryIsReportedOnceForEachCauseWhileItLasts) {
    recording::RecordingPlatform platform;
    recording::RecordingOs os{platform};
    const struct {
        const char* what;
        std::uint32_t length;
        const char* unavailable;
        std::int32_t result;
        std::string report;  // empty for none
    } steps[] = {
        {"a record of another size", 32, "", 0, "the record's dwLength is 32, not 64"},
        {"the same again", 32, "", 0, ""},
        {"no figures to be had", 64, "MemAvailable is missing", 0, "MemAvailable is missing"},
        {"the same again", 64, "MemAvailable is missing", 0, ""},
        {"another cause", 64, "MemTotal is 0", 0, "MemTotal is 0"},
        {"the figures are back", 64, "", 1, ""},
        {"the last cause, anew", 64, "MemTotal is 0", 0, "MemTotal is 0"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const std::size_t mark = platform.journal.mark();
        os.memoryUnavailable = step.unavailable;
        platform::MEMORYSTATUSEX status{};
        status.dwLength = step.length;
        EXPECT_EQ(os.GlobalMemoryStatusEx(status), step.result);
        EXPECT_EQ(status.ullTotalPhys, step.result != 0 ? recording::kMemoryFigures.totalPhys : 0);
        const platform::Error error(platform::ErrorCode::MemoryStatusUnavailable, step.report);
        EXPECT_EQ(platform.journal.entries({"report"}, mark),
                  step.report.empty()
                      ? std::vector<std::string>{}
                      : std::vector<std::string>{"report GlobalMemoryStatusEx: 31001 " +
                                                 error.description()});
    }
}

}  // namespace
}  // namespace pelmora::emulated

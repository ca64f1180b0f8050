// The OS calls as the Qt layer emulates them: window-procedure chains, the tray record,
// keeping on top, and the memory figures read from a meminfo file of the test's own.
#include <QFile>
#include <QSystemTrayIcon>
#include <cstring>
#include <fstream>

#include "backend_fixture.h"
#include "platform/emulated/window_procs.h"
#include "platform/linux/linux_meminfo.h"
#include "platform/win_constants.h"
#include "ui/about/about_layout.h"
#include "ui/main/main_layout.h"

namespace pelmora::qt::test {
namespace {

using linux_os::MemInfoFigures;
using linux_os::parseMemInfo;
using platform::GWL_WNDPROC;
using platform::Hwnd;
using platform::LParam;
using platform::LResult;
using platform::WParam;

// What the test's window procedures saw, and the procedure they pass messages on to.
struct ProcLog {
    std::vector<std::string> seen;
    platform::OsCalls* os = nullptr;
    std::intptr_t previous = 0;
    bool fail = false;
};
ProcLog procLog;

std::string describe(const char* who, std::uint32_t msg, WParam wParam, LParam lParam) {
    return std::string(who) + " " + std::to_string(msg) + " " + std::to_string(wParam) + " " +
           std::to_string(lParam);
}

LResult outerProc(Hwnd hWnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    procLog.seen.push_back(describe("outer", msg, wParam, lParam));
    if (procLog.fail) {
        throw platform::Error(91, "Object variable not set");
    }
    return procLog.os->CallWindowProcA(procLog.previous, hWnd, msg, wParam, lParam) + 1000;
}

LResult innerProc(Hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    procLog.seen.push_back(describe("inner", msg, wParam, lParam));
    return 7;
}

std::intptr_t value(platform::WndProc proc) {
    return reinterpret_cast<std::intptr_t>(proc);
}

class OsCallsTest : public BackendTest {
  protected:
    OsCallsTest() {
        procLog = ProcLog{};
        procLog.os = &os();
    }
    platform::Form& mainForm() {
        platform::Form& form = runtime().load(ui::kMainLayout, events);
        form.show(platform::ShowMode::Modeless);
        return form;
    }
    std::vector<std::string> trayLog() const {
        std::ifstream in(path("tray.log"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    RecordingEvents events;
};

TEST_F(OsCallsTest, ProceduresChainOnAFormsWindowOverItsOwnProcedure) {
    platform::Form& form = mainForm();
    const Hwnd h = form.hWnd();
    EXPECT_EQ(os().SetWindowLongA(h + 1, GWL_WNDPROC, value(&innerProc)), 0) << "unknown window";
    const std::intptr_t original = os().SetWindowLongA(h, GWL_WNDPROC, value(&innerProc));
    EXPECT_EQ(original, emulated::sharedOwnProcedure());
    procLog.previous = os().SetWindowLongA(h, GWL_WNDPROC, value(&outerProc));
    EXPECT_EQ(os().SendMessageA(h, 2025, 5, 512), 1007);
    EXPECT_EQ(procLog.seen, (std::vector<std::string>{"outer 2025 5 512", "inner 2025 5 512"}));

    // The form's own procedure answers 0 to what it does not handle.
    EXPECT_EQ(os().CallWindowProcA(original, h, 2025, 0, 514), 0);
    EXPECT_EQ(os().SetWindowLongA(h, GWL_WNDPROC, original), value(&outerProc));
    EXPECT_EQ(window(form).procedure(), original);
    EXPECT_EQ(os().SendMessageA(h + 1, 2025, 0, 514), 0) << "unknown window";
}

TEST_F(OsCallsTest, TrayClicksReachTheWindowProcedureAsItsCallbackMessage) {
    platform::Form& form = mainForm();
    const Hwnd h = form.hWnd();
    procLog.previous = os().SetWindowLongA(h, GWL_WNDPROC, value(&outerProc));
    auto add = trayRecord(h, platform::NIF_MESSAGE | platform::NIF_ICON, form.iconHandle(), "");
    ASSERT_EQ(os().Shell_NotifyIconA(platform::NIM_ADD, add), 1);

    struct Click {
        QSystemTrayIcon::ActivationReason reason;
        std::vector<std::string> expected;
    };
    const Click clicks[] = {
        {QSystemTrayIcon::Trigger, {"outer 2025 0 513", "outer 2025 0 514"}},
        {QSystemTrayIcon::Context, {"outer 2025 0 516", "outer 2025 0 517"}},
        {QSystemTrayIcon::DoubleClick, {"outer 2025 0 515"}},
    };
    for (const Click& click : clicks) {
        procLog.seen.clear();
        emit shownTrayIcon()->activated(click.reason);
        ASSERT_TRUE(waitFor([&] { return procLog.seen.size() >= click.expected.size(); }));
        EXPECT_EQ(procLog.seen, click.expected);
    }

    // A procedure that raises an error is reported at the edge; the program goes on.
    procLog.fail = true;
    procLog.seen.clear();
    emit shownTrayIcon()->activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(waitFor([&] { return procLog.seen.size() >= 2; }));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Pelmora: error in frmmain.WindowProc: 91 Object variable not set");
}

TEST_F(OsCallsTest, TheIconShowsTheRecordTipUpToItsNulInTheAnsiCodePage) {
    platform::Form& form = mainForm();
    auto add =
        trayRecord(form.hWnd(), platform::NIF_MESSAGE | platform::NIF_ICON, form.iconHandle(), "");
    ASSERT_EQ(os().Shell_NotifyIconA(platform::NIM_ADD, add), 1);
    struct Tip {
        std::string bytes;
        QString shown;
    };
    const Tip tips[] = {
        {std::string("abc\0", 4) + std::string(60, ' '), "abc"},
        {std::string(64, 'y'), QString(63, 'y')},
        {"Pelmora  ( Free RAM = 257 MB )" + std::string("\0", 1), "Pelmora  ( Free RAM = 257 MB )"},
        {std::string("\x80 \xE9\x9F\0", 5), QString::fromUtf8("\u20AC \u00E9\u0178")},
        {std::string("\0", 1) + std::string(63, ' '), ""},
    };
    for (const Tip& tip : tips) {
        auto data = trayRecord(form.hWnd(), platform::NIF_TIP, 0, "");
        std::memset(data.szTip, ' ', sizeof data.szTip);
        std::memcpy(data.szTip, tip.bytes.data(), std::min(tip.bytes.size(), sizeof data.szTip));
        ASSERT_EQ(os().Shell_NotifyIconA(platform::NIM_MODIFY, data), 1);
        ASSERT_NE(shownTrayIcon(), nullptr);
        EXPECT_EQ(shownTrayIcon()->toolTip(), tip.shown);
    }
}

TEST_F(OsCallsTest, TrayRequestsFollowTheShellsRules) {
    OsOptions options;
    options.trayLogPath = path("tray.log");
    start(options);
    procLog.os = &os();
    platform::Form& form = mainForm();
    const Hwnd h = form.hWnd();
    const std::uintptr_t icon = form.iconHandle();
    using platform::NIF_ICON;
    using platform::NIF_MESSAGE;
    using platform::NIF_TIP;
    using platform::NIM_ADD;
    using platform::NIM_DELETE;
    using platform::NIM_MODIFY;
    struct Request {
        const char* what;
        std::uint32_t message;
        platform::NOTIFYICONDATAA data;
        std::int32_t result;
        bool iconAfter;
    };
    // The shell's own rules are the emulated table's; these are what the tray host sees.
    const Request requests[] = {
        {"add for an unknown window", NIM_ADD, trayRecord(h + 4, NIF_MESSAGE | NIF_ICON, icon, ""),
         0, false},
        {"add with an unknown icon", NIM_ADD, trayRecord(h, NIF_MESSAGE | NIF_ICON, icon + 1, ""),
         0, false},
        {"add", NIM_ADD, trayRecord(h, NIF_MESSAGE | NIF_ICON, icon, "not sent"), 1, true},
        {"tip", NIM_MODIFY, trayRecord(h, NIF_TIP, 0, "Free RAM = 257 MB"), 1, true},
        {"the same tip", NIM_MODIFY, trayRecord(h, NIF_TIP, 0, "Free RAM = 257 MB"), 1, true},
        {"modify with an unknown icon", NIM_MODIFY,
         trayRecord(h, NIF_ICON | NIF_TIP, icon + 1, "x"), 0, true},
        {"another tip", NIM_MODIFY, trayRecord(h, NIF_TIP, 0, "Free RAM = 256 MB"), 1, true},
        {"delete", NIM_DELETE, trayRecord(h, 0, 0, ""), 1, false},
    };
    for (const Request& request : requests) {
        SCOPED_TRACE(request.what);
        auto data = request.data;
        EXPECT_EQ(os().Shell_NotifyIconA(request.message, data), request.result);
        QSystemTrayIcon* shown = shownTrayIcon();
        EXPECT_EQ(shown != nullptr, request.iconAfter);
        if (shown != nullptr && std::string_view(request.what) == "add") {
            EXPECT_TRUE(shown->isVisible()) << "kept visible, also with no tray host";
            EXPECT_EQ(shown->toolTip(), "") << "an add without NIF_TIP starts without a tip";
        }
        if (shown != nullptr && std::string_view(request.what) == "another tip") {
            EXPECT_EQ(shown->toolTip(), "Free RAM = 256 MB");
        }
    }
    EXPECT_EQ(trayLog(), (std::vector<std::string>{"add", "tip Free RAM = 257 MB",
                                                   "tip Free RAM = 256 MB", "delete"}));
}

TEST_F(OsCallsTest, TrayIconsGoWithTheirWindowOrWithTheProgram) {
    struct Ending {
        const char* how;
        std::function<void(platform::Form& main)> end;
        int quits;
    };
    const Ending endings[] = {
        {"the window is unloaded while another stays",
         [&](platform::Form& main) { runtime().unload(main); }, 0},
        {"the program ends", [&](platform::Form&) { runtime().end(); }, 1},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.how);
        OsOptions options;
        options.trayLogPath = path("tray.log");
        QFile::remove(QString::fromStdString(options.trayLogPath));
        start(options);
        quits = 0;
        RecordingEvents aboutEvents;
        runtime().load(ui::kAboutLayout, aboutEvents);
        platform::Form& form = mainForm();
        const Hwnd h = form.hWnd();
        auto add = trayRecord(h, platform::NIF_MESSAGE | platform::NIF_ICON, form.iconHandle(), "");
        ASSERT_EQ(os().Shell_NotifyIconA(platform::NIM_ADD, add), 1);
        ending.end(form);
        ASSERT_TRUE(waitFor([&] { return shownTrayIcon() == nullptr; }));
        EXPECT_EQ(platform().findWindow(h) == nullptr, ending.quits == 0)
            << "the icon went with the window, or at the end with the window still there";
        EXPECT_EQ(quits, ending.quits);
        EXPECT_EQ(trayLog(), (std::vector<std::string>{"add", "delete"}));
    }
}

TEST_F(OsCallsTest, KeepOnTopTogglesWithoutMovingOrResizing) {
    platform::Form& form = mainForm();
    const QRect before = widget(form).geometry();
    const std::uint32_t keep = platform::SWP_NOMOVE | platform::SWP_NOSIZE;
    EXPECT_EQ(os().SetWindowPos(form.hWnd(), platform::HWND_TOPMOST, 0, 0, 0, 0, keep), 1);
    EXPECT_TRUE(window(form).topmost());
    EXPECT_EQ(os().SetWindowPos(form.hWnd(), platform::HWND_NOTOPMOST, 0, 0, 0, 0, keep), 1);
    EXPECT_FALSE(window(form).topmost());
    EXPECT_EQ(widget(form).geometry(), before);
    EXPECT_EQ(os().ReleaseCapture(), 1);
    EXPECT_EQ(os().SetWindowPos(form.hWnd() + 1, platform::HWND_TOPMOST, 0, 0, 0, 0, keep), 0);
    EXPECT_FALSE(window(form).topmost()) << "an unknown window is refused";
}

// ---------------------------------------------------------------------------------------------
// Memory figures

constexpr const char* kMemInfo =
    "MemTotal:        8000000 kB\n"
    "MemFree:         1000000 kB\n"
    "MemAvailable:    2000000 kB\n"
    "Buffers:           10000 kB\n"
    "SwapTotal:       1000000 kB\n"
    "SwapFree:         500000 kB\n";

TEST(MemInfoParse, ReadsTheFiguresOrNamesWhatIsWrong) {
    struct Case {
        std::string text;
        bool ok;
        std::uint64_t total;
        std::uint64_t available;
        std::string reason;
    };
    const Case cases[] = {
        {kMemInfo, true, 8000000, 2000000, ""},
        {"MemAvailable: 5 kB\nMemTotal: 10 kB\n", true, 10, 5, ""},
        {"MemTotal: 10 kB\nMemFree: 5 kB\n", false, 0, 0, "MemAvailable is missing"},
        {"MemAvailable: 5 kB\n", false, 0, 0, "MemTotal is missing"},
        {"MemTotal: 0 kB\nMemAvailable: 0 kB\n", false, 0, 0, "MemTotal is 0"},
        {"MemTotal: lots\nMemAvailable: 5 kB\n", false, 0, 0, "MemTotal is not a number of kB"},
        {"MemTotal: 10 MB\nMemAvailable: 5 kB\n", false, 0, 0, "MemTotal is not a number of kB"},
        {"MemTotal: 99999999999999999999 kB\nMemAvailable: 5 kB\n", false, 0, 0,
         "MemTotal is not a number of kB"},
        {"XMemTotal: 10 kB\nMemAvailable: 5 kB\n", false, 0, 0, "MemTotal is missing"},
        {"", false, 0, 0, "MemTotal is missing"},
        // The first line of a name counts; later ones, good or bad, change nothing.
        {"MemTotal: 10 kB\nMemAvailable: 5 kB\nMemTotal: 20 kB\nMemAvailable: x\n", true, 10, 5,
         ""},
        {"MemTotal: x\nMemTotal: 10 kB\nMemAvailable: 5 kB\n", false, 0, 0,
         "MemTotal is not a number of kB"},
        // Names that only begin like a wanted one are other fields.
        {"MemTotalX: 1 kB\nMemTotal 2 kB\nMemTotal: 10 kB\nMemAvailable: 5 kB", true, 10, 5, ""},
        {"MemTotal:\t10 kB\nMemAvailable:5 kB", true, 10, 5, ""},
        // What is wrong with MemTotal is named before what is wrong with MemAvailable.
        {"MemAvailable: x\n", false, 0, 0, "MemTotal is missing"},
        {"MemAvailable: x\nMemTotal: 10 kB\n", false, 0, 0, "MemAvailable is not a number of kB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MemInfoFigures figures;
        std::string reason;
        EXPECT_EQ(parseMemInfo(c.text, figures, &reason), c.ok);
        EXPECT_EQ(reason, c.reason);
        if (c.ok) {
            EXPECT_EQ(figures.totalKb, c.total);
            EXPECT_EQ(figures.availableKb, c.available);
        }
    }
}

TEST(MemInfoParse, SwapFiguresCountOnlyWhenBothAreGood) {
    struct Case {
        std::string swap;
        std::uint64_t total;
        std::uint64_t free;
    };
    const Case cases[] = {
        {"SwapTotal: 100 kB\nSwapFree: 40 kB\n", 100, 40},
        {"SwapFree: 40 kB\nSwapTotal: 100 kB\n", 100, 40},
        {"SwapTotal: 100 kB\n", 0, 0},
        {"SwapTotal: 100 kB\nSwapFree: many\n", 0, 0},
        {"SwapTotal: 100 kB\nSwapFree: many\nSwapFree: 40 kB\n", 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.swap);
        MemInfoFigures figures;
        ASSERT_TRUE(
            parseMemInfo("MemTotal: 10 kB\nMemAvailable: 5 kB\n" + c.swap, figures, nullptr));
        EXPECT_EQ(figures.swapTotalKb, c.total);
        EXPECT_EQ(figures.swapFreeKb, c.free);
    }
}

TEST_F(OsCallsTest, MemoryStatusComesFromMeminfoInBytes) {
    OsOptions options;
    options.memInfoPath = path("meminfo");
    options.memInfoMaxAge = {};
    std::ofstream(options.memInfoPath) << kMemInfo;
    start(options);
    platform::MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    ASSERT_EQ(os().GlobalMemoryStatusEx(status), 1);
    EXPECT_EQ(status.dwMemoryLoad, 75u);
    EXPECT_EQ(status.ullTotalPhys, 8000000ull * 1024);
    EXPECT_EQ(status.ullAvailPhys, 2000000ull * 1024);
    EXPECT_EQ(status.ullTotalPageFile, 9000000ull * 1024);
    EXPECT_EQ(status.ullAvailPageFile, 2500000ull * 1024);

    // With no age allowed, the file is read anew at every call.
    std::ofstream(options.memInfoPath) << "MemTotal: 4000000 kB\nMemAvailable: 3000000 kB\n";
    ASSERT_EQ(os().GlobalMemoryStatusEx(status), 1);
    EXPECT_EQ(status.ullTotalPhys, 4000000ull * 1024);
    EXPECT_EQ(status.dwMemoryLoad, 25u);
    EXPECT_TRUE(reports.empty());
}

TEST_F(OsCallsTest, AnUnreadableOrIncompleteFileFailsLeavesTheRecordAndIsReportedOnce) {
    OsOptions options;
    options.memInfoPath = path("meminfo");
    start(options);
    platform::MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    status.ullTotalPhys = 123;
    EXPECT_EQ(os().GlobalMemoryStatusEx(status), 0);
    EXPECT_EQ(os().GlobalMemoryStatusEx(status), 0);
    EXPECT_EQ(status.ullTotalPhys, 123u);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("GlobalMemoryStatusEx: 31001"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("No such file"), std::string::npos) << reports[0];

    std::ofstream(options.memInfoPath) << kMemInfo;
    EXPECT_EQ(os().GlobalMemoryStatusEx(status), 1);
}

TEST_F(OsCallsTest, MemoryStatusFailuresNameTheirCause) {
    struct Case {
        const char* text;
        const char* cause;
    };
    const Case cases[] = {
        {"MemTotal: 4000000 kB\n", "MemAvailable is missing"},
        {"MemTotal: 0 kB\nMemAvailable: 0 kB\n", "MemTotal is 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        OsOptions options;
        options.memInfoPath = path("meminfo");
        std::ofstream(options.memInfoPath) << c.text;
        reports.clear();
        start(options);
        platform::MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        EXPECT_EQ(os().GlobalMemoryStatusEx(status), 0);
        EXPECT_EQ(status.ullTotalPhys, 0u);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find(c.cause), std::string::npos) << reports[0];
    }
}

}  // namespace
}  // namespace pelmora::qt::test

// The OS calls on Windows: the window-procedure hook on a real window, the memory
// status, the 88-byte tray record widened to the native one, and the keeper that adds
// the icon again after a shell restart and takes a leftover away.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "backend_support.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/win32_tray.h"
#include "platform/win32/win32_window.h"

namespace pelmora::win32::test {
namespace {

constexpr platform::FormDef hookedForm() {
    platform::FormDef def{};
    def.name = "frmHooked";
    return def;
}
constexpr platform::FormDef kHooked = hookedForm();

LRESULT CALLBACK answeringProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 7) {
        return 77;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(OsCallsTest, TheHookRoundTripsAndANullProcedureIsRefused) {
    Win32Platform platform(::GetModuleHandleA(nullptr));
    RecordingInput input;
    auto window = platform.createWindow(core::WindowSpec{&kHooked, 100, 40}, input);
    window->build({});
    const platform::Hwnd hwnd = window->handle();
    const HWND native = reinterpret_cast<HWND>(hwnd);
    const std::intptr_t original = ::GetWindowLongPtrA(native, GWLP_WNDPROC);
    Win32OsCalls os;

    EXPECT_EQ(os.SetWindowLongA(hwnd, GWLP_WNDPROC, 0), 0);
    EXPECT_EQ(::GetWindowLongPtrA(native, GWLP_WNDPROC), original);

    const std::intptr_t previous =
        os.SetWindowLongA(hwnd, GWLP_WNDPROC, reinterpret_cast<std::intptr_t>(&answeringProc));
    EXPECT_EQ(previous, original);
    EXPECT_EQ(os.SendMessageA(hwnd, WM_USER + 7, 0, 0), 77);
    // Passed on to the window's own procedure, a press still reaches the core.
    os.CallWindowProcA(previous, hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6));
    EXPECT_EQ(input.log, std::vector<std::string>{"press - left - 5,6"});
    os.SetWindowLongA(hwnd, GWLP_WNDPROC, previous);
    EXPECT_EQ(::GetWindowLongPtrA(native, GWLP_WNDPROC), original);
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

TEST(TrayRecordTest, OnlyAModifyOfWhatTheShellAlreadyShowsIsARepeat) {
    const auto withIcon = [](std::uint32_t hwnd, std::uint32_t flags, const char* tip,
                             std::uint32_t icon) {
        platform::NOTIFYICONDATAA r = record(hwnd, flags, tip);
        r.hIcon = icon;
        return r;
    };
    const struct Case {
        const char* what;
        bool accepted;  // the shell's answer to the last tip
        DWORD message;
        platform::NOTIFYICONDATAA request;
        bool repeat;
    } cases[] = {
        {"the same tip", true, NIM_MODIFY, record(0x22, NIF_TIP, "Free RAM = 257 MB"), true},
        {"the same tip and icon", true, NIM_MODIFY,
         record(0x22, NIF_TIP | NIF_ICON | NIF_MESSAGE, "Free RAM = 257 MB"), true},
        {"another tip", true, NIM_MODIFY, record(0x22, NIF_TIP, "Free RAM = 258 MB"), false},
        {"another icon", true, NIM_MODIFY, withIcon(0x22, NIF_ICON, "", 0x80004321u), false},
        {"another window's icon", true, NIM_MODIFY, record(0x99, NIF_TIP, "Free RAM = 257 MB"),
         false},
        {"an add", true, NIM_ADD, record(0x22, NIF_TIP, "Free RAM = 257 MB"), false},
        {"a modify of nothing", true, NIM_MODIFY, record(0x22, 0, "Free RAM = 257 MB"), false},
        {"a flag the keeper does not know", true, NIM_MODIFY,
         record(0x22, NIF_TIP | NIF_STATE, "Free RAM = 257 MB"), false},
        {"the same tip, refused last time", false, NIM_MODIFY,
         record(0x22, NIF_TIP, "Free RAM = 257 MB"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayIconKeeper keeper([](DWORD, platform::NOTIFYICONDATAA&) { return TRUE; });
        keeper.noteRequest(NIM_ADD, record(0x22, NIF_MESSAGE | NIF_ICON, ""));
        EXPECT_FALSE(keeper.repeatsShown(NIM_MODIFY, record(0x22, NIF_TIP, "")));  // no tip yet
        keeper.noteRequest(NIM_MODIFY, record(0x22, NIF_TIP, "Free RAM = 257 MB"), c.accepted);
        platform::NOTIFYICONDATAA request = c.request;
        EXPECT_EQ(keeper.repeatsShown(c.message, request), c.repeat);
    }

    // After the shell restarts, the icon is shown only if adding it again succeeded.
    bool addSucceeds = false;
    TrayIconKeeper keeper([&](DWORD, platform::NOTIFYICONDATAA&) { return addSucceeds; });
    keeper.noteRequest(NIM_ADD, record(0x22, NIF_MESSAGE | NIF_ICON | NIF_TIP, "tip"));
    const platform::NOTIFYICONDATAA same = record(0x22, NIF_TIP, "tip");
    EXPECT_TRUE(keeper.repeatsShown(NIM_MODIFY, same));
    keeper.shellRestarted(0x22);
    EXPECT_FALSE(keeper.repeatsShown(NIM_MODIFY, same));
    addSucceeds = true;
    keeper.shellRestarted(0x22);
    EXPECT_TRUE(keeper.repeatsShown(NIM_MODIFY, same));
    keeper.noteRequest(NIM_DELETE, record(0x22, 0, ""));
    EXPECT_FALSE(keeper.repeatsShown(NIM_MODIFY, same));
}

}  // namespace
}  // namespace pelmora::win32::test

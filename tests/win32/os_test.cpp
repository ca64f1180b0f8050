// The OS calls on Windows: the window-procedure hook on a real window, the memory
// status, the tray record widened to the native one, and the shell's table that adds the
// icon again after a shell restart, takes a leftover away and spares the shell repeats.
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
    auto window = platform.createWindow(core::WindowSpec{&kHooked, 100, 40, {}}, input);
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

TEST(OsCallsTest, MemoryStatusIsFilledOnlyForARecordOfItsOwnSize) {
    Win32OsCalls os;
    platform::MEMORYSTATUSEX status{};
    for (const std::uint32_t length : {0u, 32u, 65u}) {
        status.dwLength = length;
        ::SetLastError(0);
        EXPECT_EQ(os.GlobalMemoryStatusEx(status), 0) << length;
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(status.ullTotalPhys, 0u);
    }
    status.dwLength = sizeof(status);
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

TEST(TrayRecordTest, WidensToTheNativeRecordOfTheFirstForm) {
    emulated::TrayIcon icon{NIF_TIP | NIF_ICON, 2025, 0x80001234u, {}};
    std::memcpy(icon.tip.data(), "abc", 4);
    const ::NOTIFYICONDATAA native = toNativeTrayRecord({0x00010022u, 5}, icon, NIF_TIP);
    EXPECT_EQ(native.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(native.hWnd), 0x00010022u);
    EXPECT_EQ(native.uID, 5u);
    EXPECT_EQ(native.uFlags, static_cast<UINT>(NIF_TIP));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(native.hIcon), platform::widenHandle(0x80001234u));
    EXPECT_EQ(native.uCallbackMessage, 2025u);
    EXPECT_EQ(std::memcmp(native.szTip, "abc\0\0", 5), 0);
    icon.tip.fill('x');  // no NUL at all
    EXPECT_EQ(toNativeTrayRecord({1, 0}, icon, NIF_TIP).szTip[63], '\0');
}

// What reached the shell, one line a request: the request, the flags and the tip.
struct ShellLog {
    std::vector<std::pair<DWORD, std::string>> sent;
    BOOL answer = TRUE;
    ShellTray::Send send() {
        return [this](DWORD message, ::NOTIFYICONDATAA& r) {
            sent.emplace_back(message, std::to_string(r.uFlags) + " " + r.szTip);
            return answer;
        };
    }
};

TEST(TrayRecordTest, TheIconIsAddedAgainWithItsLastTipAfterAShellRestart) {
    ShellLog shell;
    ShellTray tray(shell.send());
    EXPECT_EQ(tray.notify(NIM_MODIFY, record(0, NIF_TIP, "before add")), 0);  // no icon yet
    tray.shellRestarted(0x22);
    EXPECT_TRUE(shell.sent.empty());

    EXPECT_EQ(tray.notify(NIM_ADD, record(0x22, NIF_MESSAGE | NIF_ICON, "not flagged")), 1);
    tray.shellRestarted(0x22);
    EXPECT_EQ(tray.notify(NIM_MODIFY, record(0x22, NIF_TIP, "Free RAM = 257 MB")), 1);
    EXPECT_EQ(tray.notify(NIM_MODIFY, record(0x22, NIF_TIP, "Free RAM = 257 MB")), 1);  // shown
    tray.shellRestarted(0x99);  // not this window's icon
    tray.shellRestarted(0x22);
    EXPECT_EQ(shell.sent,
              (std::vector<std::pair<DWORD, std::string>>{{NIM_ADD, "3 "},
                                                          {NIM_ADD, "3 "},
                                                          {NIM_MODIFY, "4 Free RAM = 257 MB"},
                                                          {NIM_ADD, "7 Free RAM = 257 MB"}}));

    shell.sent.clear();
    EXPECT_EQ(tray.notify(NIM_DELETE, record(0x22, 0, "")), 1);
    tray.shellRestarted(0x22);
    tray.removeLeftover();
    EXPECT_EQ(shell.sent, (std::vector<std::pair<DWORD, std::string>>{{NIM_DELETE, "0 "}}));

    shell.sent.clear();
    EXPECT_EQ(tray.notify(NIM_ADD, record(0x22, NIF_MESSAGE | NIF_ICON, "")), 1);
    tray.removeLeftover();
    tray.removeLeftover();
    ASSERT_EQ(shell.sent.size(), 2u);
    EXPECT_EQ(shell.sent[1].first, static_cast<DWORD>(NIM_DELETE));
}

}  // namespace
}  // namespace pelmora::win32::test

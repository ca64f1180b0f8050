// What the system and its shell do to a running program that a display under Wine cannot
// do by itself, for the end-to-end tests: the tray host loses the program's icon and
// announces itself again, as one that restarted does; the desktop shrinks to another
// resolution; a window is told that the screen it is on has another DPI. Runs under Wine
// beside the program; prints one line of what it did, or why it could not.
//
//   shell_events forget-icon          the tray host drops the main window's icon
//   shell_events taskbar-created      tells every window the tray host is (back) there
//   shell_events resolution W H       sets the desktop's resolution, as display settings do
//   shell_events dpi-changed DPI LEFT TOP RIGHT BOTTOM
//                                     tells the main window that its screen now has that
//                                     DPI, and where the system suggests it goes
//   shell_events minimize TITLE       minimises the window of that caption, as its taskbar
//                                     button does
//   shell_events state TITLE          prints "minimized", "shown" or "hidden" for the window
//                                     of that caption
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/win32_handles.h"

namespace {

using pelmora::win32::KernelHandle;

constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED
constexpr DWORD kPatienceMs = 10000;

int fail(const char* what) {
    std::printf("shell_events: %s (error %lu)\n", what, ::GetLastError());
    return 1;
}

// The program's main window: the visible one of its form class without a caption.
HWND mainWindow() {
    HWND found = nullptr;
    while ((found = ::FindWindowExA(nullptr, found, "PelmoraForm", nullptr)) != nullptr) {
        const LONG style = ::GetWindowLongA(found, GWL_STYLE);
        if (::IsWindowVisible(found) && (style & WS_CAPTION) != WS_CAPTION) {
            return found;
        }
    }
    return nullptr;
}

// The tray host loses the program's icon, as a host that restarted has lost it.
int forgetIcon() {
    const HWND window = mainWindow();
    if (window == nullptr) {
        return fail("no main window");
    }
    NOTIFYICONDATAA gone{};
    gone.cbSize = NOTIFYICONDATAA_V1_SIZE;
    gone.hWnd = window;
    gone.uID = 0;
    if (!::Shell_NotifyIconA(NIM_DELETE, &gone)) {
        return fail("the tray host had no icon of the program");
    }
    std::printf("the tray host forgot the program's icon\n");
    return 0;
}

int taskbarCreated() {
    const UINT message = ::RegisterWindowMessageA("TaskbarCreated");
    if (message == 0 || !::PostMessageA(HWND_BROADCAST, message, 0, 0)) {
        return fail("cannot announce the tray");
    }
    std::printf("announced the tray\n");
    return 0;
}

// The suggested rectangle travels by address, as the system's own message carries it: it is
// written into the program's memory first.
int setResolution(int width, int height) {
    DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    const LONG result = ::ChangeDisplaySettingsExA(nullptr, &mode, nullptr, 0, nullptr);
    if (result != DISP_CHANGE_SUCCESSFUL) {
        std::printf("shell_events: the screen refused %dx%d (%ld)\n", width, height, result);
        return 1;
    }
    std::printf("screen now %dx%d\n", width, height);
    return 0;
}

int dpiChanged(int dpi, const RECT& suggested) {
    const HWND window = mainWindow();
    DWORD pid = 0;
    if (window == nullptr || ::GetWindowThreadProcessId(window, &pid) == 0) {
        return fail("no main window");
    }
    KernelHandle program(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid));
    if (!program) {
        return fail("cannot open the program");
    }
    void* remote = ::VirtualAllocEx(program.get(), nullptr, sizeof(suggested),
                                    MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr ||
        !::WriteProcessMemory(program.get(), remote, &suggested, sizeof(suggested), nullptr)) {
        return fail("cannot hand the suggested rectangle over");
    }
    DWORD_PTR result = 0;
    const LRESULT sent = ::SendMessageTimeoutA(window, kDpiChanged, MAKEWPARAM(dpi, dpi),
                                               reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                                               kPatienceMs, &result);
    ::VirtualFreeEx(program.get(), remote, 0, MEM_RELEASE);
    if (sent == 0) {
        return fail("the window did not answer");
    }
    std::printf("told the main window of %d DPI\n", dpi);
    return 0;
}

// The user minimises a window from outside the program.
int minimize(const char* title) {
    const HWND window = ::FindWindowA("PelmoraForm", title);
    if (window == nullptr) {
        return fail("no such window");
    }
    ::ShowWindowAsync(window, SW_MINIMIZE);
    std::printf("minimised %s\n", title);
    return 0;
}

int state(const char* title) {
    const HWND window = ::FindWindowA("PelmoraForm", title);
    if (window == nullptr) {
        return fail("no such window");
    }
    std::printf("%s\n", ::IsIconic(window)          ? "minimized"
                        : ::IsWindowVisible(window) ? "shown"
                                                    : "hidden");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "forget-icon" && argc == 2) {
        return forgetIcon();
    }
    if (command == "taskbar-created" && argc == 2) {
        return taskbarCreated();
    }
    if (command == "resolution" && argc == 4) {
        return setResolution(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    if (command == "dpi-changed" && argc == 7) {
        const RECT suggested{std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                             std::atoi(argv[6])};
        return dpiChanged(std::atoi(argv[2]), suggested);
    }
    if (command == "minimize" && argc == 3) {
        return minimize(argv[2]);
    }
    if (command == "state" && argc == 3) {
        return state(argv[2]);
    }
    std::printf(
        "usage: shell_events forget-icon | taskbar-created | resolution W H |\n"
        "       dpi-changed DPI LEFT TOP RIGHT BOTTOM | minimize TITLE | state TITLE\n");
    return 2;
}

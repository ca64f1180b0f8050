// The floor Pelmora.exe is held against: the least a Win32 program of the same shape does.
// A 208 x 51 popup tool window painted in one flat colour, a tray icon with a tip, and a
// 30 ms SetTimer whose tick asks GlobalMemoryStatusEx once and counts.
//
//     bare_win32.exe [--at X,Y] [--counter FILE]
//
// --at places the window; --counter names a file the tick count is kept in, as one
// little-endian 64-bit number in a shared mapping, so that the bench reads it without
// costing the program a call.
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The colour both bare programs fill their window with; the bench recognises a first paint
// by it.
constexpr COLORREF kFill = RGB(0x1f, 0x6b, 0x2a);
constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;

std::uint64_t* ticks = nullptr;
volatile DWORDLONG sink = 0;
HBRUSH fill = nullptr;
NOTIFYICONDATAA trayIcon{};

std::uint64_t* mapCounter(const char* path) {
    static std::uint64_t local = 0;
    if (path == nullptr) {
        return &local;
    }
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "bare_win32: cannot create %s\n", path);
        std::exit(2);
    }
    HANDLE mapping =
        CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, sizeof(std::uint64_t), nullptr);
    void* view = mapping != nullptr
                     ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(std::uint64_t))
                     : nullptr;
    if (view == nullptr) {
        std::fprintf(stderr, "bare_win32: cannot map %s\n", path);
        std::exit(2);
    }
    CloseHandle(mapping);
    CloseHandle(file);
    return static_cast<std::uint64_t*>(view);
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TIMER: {
            MEMORYSTATUSEX status;
            status.dwLength = sizeof status;
            if (GlobalMemoryStatusEx(&status)) {
                sink = status.ullAvailPhys;
            }
            ++*ticks;
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(hwnd, &paint);
            FillRect(dc, &paint.rcPaint, fill);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_DESTROY:
            KillTimer(hwnd, kTimerId);
            Shell_NotifyIconA(NIM_DELETE, &trayIcon);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const char* counterPath = nullptr;
    int x = CW_USEDEFAULT;
    int y = 0;
    for (int i = 1; i < __argc; ++i) {
        if (std::strcmp(__argv[i], "--at") == 0 && i + 1 < __argc) {
            if (std::sscanf(__argv[++i], "%d,%d", &x, &y) != 2) {
                return 2;
            }
        } else if (std::strcmp(__argv[i], "--counter") == 0 && i + 1 < __argc) {
            counterPath = __argv[++i];
        } else {
            return 2;
        }
    }
    ticks = mapCounter(counterPath);
    fill = CreateSolidBrush(kFill);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "BareWin32";
    if (RegisterClassA(&windowClass) == 0) {
        return 1;
    }
    HWND hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, "BareWin32", "bare_win32", WS_POPUP, x, y, 208,
                                51, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) {
        return 1;
    }

    trayIcon.cbSize = sizeof trayIcon;
    trayIcon.hWnd = hwnd;
    trayIcon.uID = 1;
    trayIcon.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    trayIcon.uCallbackMessage = kTrayMessage;
    trayIcon.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    std::strcpy(trayIcon.szTip, "bare_win32");
    Shell_NotifyIconA(NIM_ADD, &trayIcon);

    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    SetTimer(hwnd, kTimerId, 30, nullptr);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DeleteObject(fill);
    return static_cast<int>(msg.wParam);
}

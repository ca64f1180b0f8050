// The OS calls the program makes by name, with their records in the exact layout
// the OS expects. Backends either pass them to the real API or emulate them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace pelmora::platform {

// The 64-bit memory status record.
struct MEMORYSTATUSEX {
    std::uint32_t dwLength;
    std::uint32_t dwMemoryLoad;
    std::uint64_t ullTotalPhys;
    std::uint64_t ullAvailPhys;
    std::uint64_t ullTotalPageFile;
    std::uint64_t ullAvailPageFile;
    std::uint64_t ullTotalVirtual;
    std::uint64_t ullAvailVirtual;
    std::uint64_t ullAvailExtendedVirtual;
};
static_assert(sizeof(MEMORYSTATUSEX) == 64);
static_assert(offsetof(MEMORYSTATUSEX, dwMemoryLoad) == 4);
static_assert(offsetof(MEMORYSTATUSEX, ullTotalPhys) == 8);
static_assert(offsetof(MEMORYSTATUSEX, ullAvailPhys) == 16);

// The tray icon record in its first, 88-byte form, as passed to Shell_NotifyIconA.
struct NOTIFYICONDATAA {
    std::uint32_t cbSize;
    std::uint32_t hWnd;
    std::uint32_t uID;
    std::uint32_t uFlags;
    std::uint32_t uCallbackMessage;
    std::uint32_t hIcon;
    char szTip[64];
};
static_assert(sizeof(NOTIFYICONDATAA) == 88);
static_assert(offsetof(NOTIFYICONDATAA, cbSize) == 0);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == 4);
static_assert(offsetof(NOTIFYICONDATAA, uID) == 8);
static_assert(offsetof(NOTIFYICONDATAA, uFlags) == 12);
static_assert(offsetof(NOTIFYICONDATAA, uCallbackMessage) == 16);
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == 20);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == 24);

// Handles kept in 32-bit record fields go back to full width with sign extension.
constexpr std::uintptr_t widenHandle(std::uint32_t handle) noexcept {
    return static_cast<std::uintptr_t>(
        static_cast<std::intptr_t>(static_cast<std::int32_t>(handle)));
}

class OsCalls {
  public:
    OsCalls() = default;
    OsCalls(const OsCalls&) = delete;
    OsCalls& operator=(const OsCalls&) = delete;
    virtual ~OsCalls() = default;

    // Fills the record; returns non-zero on success. A failing backend may throw Error.
    virtual std::int32_t GlobalMemoryStatusEx(MEMORYSTATUSEX& status) = 0;
    virtual std::int32_t Shell_NotifyIconA(std::uint32_t dwMessage, NOTIFYICONDATAA& data) = 0;
    // With GWL_WNDPROC: installs dwNewLong (a WndProc, or a value returned before) as the
    // window's procedure and returns the one that was in place (0 on failure).
    virtual std::intptr_t SetWindowLongA(Hwnd hWnd, std::int32_t nIndex,
                                         std::intptr_t dwNewLong) = 0;
    virtual LResult CallWindowProcA(std::intptr_t lpPrevWndFunc, Hwnd hWnd, std::uint32_t msg,
                                    WParam wParam, LParam lParam) = 0;
    virtual std::int32_t SetWindowPos(Hwnd hWnd, std::intptr_t hWndInsertAfter, std::int32_t x,
                                      std::int32_t y, std::int32_t cx, std::int32_t cy,
                                      std::uint32_t uFlags) = 0;
    virtual std::int32_t ReleaseCapture() = 0;
    virtual LResult SendMessageA(Hwnd hWnd, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
};

}  // namespace pelmora::platform

#include "platform/win32/win32_os.h"

#include <cstring>

#include "platform/emulated/memory_status.h"

namespace pelmora::win32 {

namespace {

HWND toHwnd(platform::Hwnd hwnd) noexcept {
    return reinterpret_cast<HWND>(hwnd);
}

}  // namespace

Win32OsCalls::Win32OsCalls()
    : tray_([](DWORD message, ::NOTIFYICONDATAA& record) {
          return ::Shell_NotifyIconA(message, &record);
      }) {}

std::int32_t Win32OsCalls::GlobalMemoryStatusEx(platform::MEMORYSTATUSEX& status) {
    ::MEMORYSTATUSEX native{};
    native.dwLength = sizeof(native);
    if (!emulated::acceptsMemoryRecord(status)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!::GlobalMemoryStatusEx(&native)) {
        return 0;
    }
    // The record has the native layout, field for field.
    static_assert(sizeof(native) == sizeof(status));
    std::memcpy(&status, &native, sizeof(status));
    return 1;
}

std::int32_t Win32OsCalls::Shell_NotifyIconA(std::uint32_t dwMessage,
                                             platform::NOTIFYICONDATAA& data) {
    return tray_.notify(dwMessage, data);
}

std::intptr_t Win32OsCalls::SetWindowLongA(platform::Hwnd hWnd, std::int32_t nIndex,
                                           std::intptr_t dwNewLong) {
    // A window left without a procedure takes the process down at its next message.
    if (nIndex == GWLP_WNDPROC && dwNewLong == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return ::SetWindowLongPtrA(toHwnd(hWnd), nIndex, static_cast<LONG_PTR>(dwNewLong));
}

platform::LResult Win32OsCalls::CallWindowProcA(std::intptr_t lpPrevWndFunc, platform::Hwnd hWnd,
                                                std::uint32_t msg, platform::WParam wParam,
                                                platform::LParam lParam) {
    if (lpPrevWndFunc == 0) {
        return ::DefWindowProcA(toHwnd(hWnd), msg, wParam, lParam);
    }
    return ::CallWindowProcA(reinterpret_cast<WNDPROC>(lpPrevWndFunc), toHwnd(hWnd), msg, wParam,
                             lParam);
}

std::int32_t Win32OsCalls::SetWindowPos(platform::Hwnd hWnd, std::intptr_t hWndInsertAfter,
                                        std::int32_t x, std::int32_t y, std::int32_t cx,
                                        std::int32_t cy, std::uint32_t uFlags) {
    return ::SetWindowPos(toHwnd(hWnd), reinterpret_cast<HWND>(hWndInsertAfter), x, y, cx, cy,
                          uFlags);
}

std::int32_t Win32OsCalls::ReleaseCapture() {
    return ::ReleaseCapture();
}

platform::LResult Win32OsCalls::SendMessageA(platform::Hwnd hWnd, std::uint32_t msg,
                                             platform::WParam wParam, platform::LParam lParam) {
    return ::SendMessageA(toHwnd(hWnd), msg, wParam, lParam);
}

}  // namespace pelmora::win32

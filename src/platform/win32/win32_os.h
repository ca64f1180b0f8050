// The OS calls the program makes by name, passed to the real Windows API.
#pragma once

#include <windows.h>

#include "platform/os_calls.h"
#include "platform/win32/win32_tray.h"

namespace pelmora::win32 {

class Win32OsCalls final : public platform::OsCalls {
  public:
    Win32OsCalls();

    std::int32_t GlobalMemoryStatusEx(platform::MEMORYSTATUSEX& status) override;
    std::int32_t Shell_NotifyIconA(std::uint32_t dwMessage,
                                   platform::NOTIFYICONDATAA& data) override;
    std::intptr_t SetWindowLongA(platform::Hwnd hWnd, std::int32_t nIndex,
                                 std::intptr_t dwNewLong) override;
    platform::LResult CallWindowProcA(std::intptr_t lpPrevWndFunc, platform::Hwnd hWnd,
                                      std::uint32_t msg, platform::WParam wParam,
                                      platform::LParam lParam) override;
    std::int32_t SetWindowPos(platform::Hwnd hWnd, std::intptr_t hWndInsertAfter, std::int32_t x,
                              std::int32_t y, std::int32_t cx, std::int32_t cy,
                              std::uint32_t uFlags) override;
    std::int32_t ReleaseCapture() override;
    platform::LResult SendMessageA(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                                   platform::LParam lParam) override;

    ShellTray& tray() noexcept { return tray_; }

  private:
    ShellTray tray_;
};

}  // namespace pelmora::win32

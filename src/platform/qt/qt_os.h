// The OS calls on Linux, emulated as Windows behaves: memory from /proc/meminfo, the shell's
// tray table shown on QSystemTrayIcons, window procedures per window, the caption drag and
// "topmost". Windows are found through the platform's registry of live windows.
#pragma once

#include <string>

#include "platform/emulated/tray_table.h"
#include "platform/emulated/window_procs.h"
#include "platform/forms.h"
#include "platform/linux/linux_meminfo.h"
#include "platform/os_calls.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_tray.h"

namespace pelmora::qt {

struct OsOptions {
    std::string memInfoPath = linux_os::kMemInfoPath;
    linux_os::MemInfoReader::Clock::duration memInfoMaxAge = linux_os::kMemInfoMaxAge;
    // Every tray request is written to this file when it is set.
    std::string trayLogPath;
};

class QtOsCalls final : public platform::OsCalls,
                        private WindowObserver,
                        private emulated::ProcedureWindows {
  public:
    // Errors the calls meet on the way are told to the runtime's reporter.
    QtOsCalls(QtPlatform& platform, platform::FormsRuntime& runtime, const OsOptions& options = {});
    ~QtOsCalls() override;

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

  private:
    void windowDestroyed(platform::Hwnd hWnd) noexcept override;
    void programEnded() noexcept override;
    Slot procedureSlot(platform::Hwnd hWnd) override;
    platform::LResult ownProcedure(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                                   platform::LParam lParam) override;
    // A mouse event on a tray icon, as its callback message to the icon's window.
    void trayMouse(const emulated::TrayIconKey& key, std::uint32_t mouse);
    void memoryUnavailable(const std::string& reason);

    QtPlatform& platform_;
    platform::FormsRuntime& runtime_;
    linux_os::MemInfoReader memInfo_;
    emulated::ProcedureChain procedures_{*this};
    TrayIcons trayIcons_;
    emulated::TrayTable tray_{trayIcons_};
    std::string memoryProblem_;
};

}  // namespace pelmora::qt

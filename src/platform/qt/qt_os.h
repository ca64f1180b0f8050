// The OS calls on Linux, emulated as Windows behaves: memory from /proc/meminfo, the shell's
// tray icons shown on QSystemTrayIcons, window procedures per window, the caption drag and
// "topmost". Windows are found through the platform's registry of live windows.
#pragma once

#include <string>

#include "platform/emulated/emulated_os.h"
#include "platform/forms.h"
#include "platform/linux/linux_meminfo.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_tray.h"

namespace pelmora::qt {

struct OsOptions {
    std::string memInfoPath = linux_os::kMemInfoPath;
    linux_os::MemInfoReader::Clock::duration memInfoMaxAge = linux_os::kMemInfoMaxAge;
    // Every tray request is written to this file when it is set.
    std::string trayLogPath;
};

// The tray host, made before the OS calls that show their icons on it.
struct QtTrayHost {
    TrayIcons trayIcons;
};

class QtOsCalls final : private QtTrayHost, public emulated::EmulatedOs, private WindowObserver {
  public:
    // Errors the calls meet on the way are told to the runtime's reporter.
    QtOsCalls(QtPlatform& platform, platform::FormsRuntime& runtime, const OsOptions& options = {});
    ~QtOsCalls() override;

  private:
    void windowDestroyed(platform::Hwnd hWnd) noexcept override { removeIconsOf(hWnd); }
    void programEnded() noexcept override { removeAllIcons(); }
    Slot procedureSlot(platform::Hwnd hWnd) override;
    platform::LResult ownProcedure(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                                   platform::LParam lParam) override;
    bool readMemory(emulated::MemoryFigures& figures, std::string& reason) override;
    bool placeWindow(platform::Hwnd hWnd, const emulated::Placement& placement) override;
    void releaseMouse() override;
    void reportError(std::string_view call, const platform::Error& error) override {
        runtime_.reportError(call, error);
    }
    // A mouse event on a tray icon, as its callback message to the icon's window.
    void trayMouse(const emulated::TrayIconKey& key, std::uint32_t mouse);

    QtPlatform& platform_;
    platform::FormsRuntime& runtime_;
    linux_os::MemInfoReader memInfo_;
};

}  // namespace pelmora::qt

// The OS calls of the recording layer: the emulated OS over the recording platform's windows.
// Memory figures are whatever the test sets; the one icon the tray shows is kept for the test;
// procedures are named for the journal; topmost and caption drags are window state. Every call
// is recorded in the platform's journal and can be made to fail there.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/emulated/emulated_os.h"
#include "support/recording_platform.h"

namespace pelmora::recording {

// The figures the memory query reports; by default 512 MB with half free, 1 GB of swap, and
// 49% in use.
using MemoryFigures = emulated::MemoryFigures;
inline constexpr MemoryFigures kMemoryFigures{49, 512ull << 20, 256ull << 20, 1024ull << 20,
                                              768ull << 20};

// The tray icon as the shell shows it.
struct TrayIcon {
    bool present = false;
    std::uint32_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t callbackMessage = 0;
    std::uint32_t hIcon = 0;
    std::string tip;
    bool tipUnterminated = false;  // a tip field without a NUL was ever received
};

struct TrayRequest {
    std::uint32_t message = 0;
    platform::NOTIFYICONDATAA data{};
    std::int32_t result = 0;
};

using WindowMessage = emulated::WindowMessage;

class RecordingOs final : private emulated::TrayShell, public emulated::EmulatedOs {
  public:
    // What the tray shows is logged to trayLogPath when one is given.
    explicit RecordingOs(RecordingPlatform& platform, const std::string& trayLogPath = {});
    ~RecordingOs() override;

    MemoryFigures memory = kMemoryFigures;
    // When set, the figures cannot be had, for this reason.
    std::string memoryUnavailable;
    // What a window's own default procedure returns.
    platform::LResult defaultProcResult = 0;

    // Gives a window procedure a readable name in the journal.
    void nameProc(std::intptr_t proc, std::string name);
    std::string procText(std::intptr_t proc) const;

    // A message sent to a window by the system, through its procedure chain.
    platform::LResult sendToWindow(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                                   platform::LParam lParam);
    // A mouse event on the tray icon as the shell reports it; none without an icon or once
    // the program has quit.
    std::optional<platform::LResult> trayMouse(platform::LParam event);

    const TrayIcon& trayIcon() const noexcept { return tray_; }
    const std::vector<TrayRequest>& trayRequests() const noexcept { return trayRequests_; }
    // Messages that reached a window's own default procedure.
    const std::vector<WindowMessage>& defaultProcMessages() const noexcept {
        return defaultMessages_;
    }

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
    std::string windowText(platform::Hwnd hWnd) const;
    bool showIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon) override;
    bool updateIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon,
                    std::uint32_t changed) override;
    bool removeIcon(const emulated::TrayIconKey& key) override;
    bool showsIcon(const emulated::TrayIconKey& key) const noexcept;
    Slot procedureSlot(platform::Hwnd hWnd) override;
    // The window's own procedure: a press on the caption starts a move.
    platform::LResult ownProcedure(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                                   platform::LParam lParam) override;
    bool readMemory(MemoryFigures& figures, std::string& reason) override;
    bool placeWindow(platform::Hwnd hWnd, const emulated::Placement& placement) override;
    void releaseMouse() override {}
    void reportError(std::string_view call, const platform::Error& error) override;

    RecordingPlatform& platform_;
    std::map<std::intptr_t, std::string> procNames_;
    std::vector<TrayRequest> trayRequests_;
    std::vector<WindowMessage> defaultMessages_;
    TrayIcon tray_;
};

}  // namespace pelmora::recording

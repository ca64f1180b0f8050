// The OS calls of the recording layer. Memory figures are whatever the test sets; the tray
// icon is kept as the shell keeps it; each window's procedure chain is kept as the OS keeps
// it, with procedures named for the journal; topmost and caption drags are window state.
// Every call is recorded in the platform's journal and can be made to fail there.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/os_calls.h"
#include "support/recording_platform.h"

namespace pelmora::recording {

// The figures the memory query reports.
struct MemoryFigures {
    std::uint32_t load = 49;
    std::uint64_t totalPhys = 512ull << 20;
    std::uint64_t availPhys = 256ull << 20;
    std::uint64_t totalPageFile = 1536ull << 20;
    std::uint64_t availPageFile = 1024ull << 20;
    std::uint64_t totalVirtual = 2048ull << 20;
    std::uint64_t availVirtual = 1900ull << 20;
    std::uint64_t availExtendedVirtual = 0;
};

// The tray icon as the shell keeps it.
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

struct WindowMessage {
    platform::Hwnd hWnd = 0;
    std::uint32_t msg = 0;
    platform::WParam wParam = 0;
    platform::LParam lParam = 0;
    bool operator==(const WindowMessage&) const = default;
};

class RecordingOs final : public platform::OsCalls {
  public:
    explicit RecordingOs(RecordingPlatform& platform);
    ~RecordingOs() override;

    MemoryFigures memory;
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
    platform::LResult invoke(std::intptr_t proc, platform::Hwnd hWnd, std::uint32_t msg,
                             platform::WParam wParam, platform::LParam lParam);

    RecordingPlatform& platform_;
    std::map<std::intptr_t, std::string> procNames_;
    std::set<std::intptr_t> installed_;  // only procedures once installed are ever called
    std::vector<TrayRequest> trayRequests_;
    std::vector<WindowMessage> defaultMessages_;
    TrayIcon tray_;
};

}  // namespace pelmora::recording

// The OS calls as Windows answers them, for a layer with no Windows under it. They are written
// once here, over what the layer can do: read its system's memory figures, show tray icons,
// find its windows and their procedures, stack, move and size a window, let go of the mouse,
// and tell of an error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/emulated/memory_status.h"
#include "platform/emulated/tray_host.h"
#include "platform/emulated/tray_table.h"
#include "platform/emulated/window_procs.h"
#include "platform/errors.h"
#include "platform/os_calls.h"

namespace pelmora::emulated {

// Where SetWindowPos puts a window, its arguments decoded.
struct Placement {
    enum class Stacking : std::uint8_t { Keep, Topmost, NotTopmost, Top, Bottom };
    Stacking stacking = Stacking::Keep;
    bool move = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool resize = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const Placement&) const = default;
};

Placement decodePlacement(std::intptr_t insertAfter, std::int32_t x, std::int32_t y,
                          std::int32_t cx, std::int32_t cy, std::uint32_t flags) noexcept;

// A layer gives the procedures of its windows (ProcedureWindows) and the primitives below.
class EmulatedOs : public platform::OsCalls, protected ProcedureWindows {
  public:
    // The shell shows the icons of the tray table; what it took is logged to trayLogPath
    // when one is given.
    explicit EmulatedOs(TrayShell& shell, const std::string& trayLogPath = {})
        : log_(shell, trayLogPath) {}

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

    // The message a mouse event on a tray icon sends its window, if any; SendMessageA takes
    // it there.
    std::optional<WindowMessage> trayMessage(const TrayIconKey& key, std::uint32_t mouse) const {
        return tray_.callback(key, mouse);
    }
    // The icons of a window that has gone go with it; all of them when the program ends.
    void removeIconsOf(platform::Hwnd hWnd) noexcept;
    void removeAllIcons() noexcept;
    // A tray took an icon's window, showing this tip.
    void trayDocked(std::string_view tip) { log_.docked(tip); }

  protected:
    // The system's memory figures; false, with the reason, when there are none to be had.
    virtual bool readMemory(MemoryFigures& figures, std::string& reason) = 0;
    // False for a window that does not exist.
    virtual bool placeWindow(platform::Hwnd hWnd, const Placement& placement) = 0;
    virtual void releaseMouse() = 0;
    // An error met on the way; each cause is told once while it lasts.
    virtual void reportError(std::string_view call, const platform::Error& error) = 0;

  private:
    void memoryUnavailable(const std::string& reason);

    ProcedureChain procedures_{*this};
    TrayRequestLog log_;
    TrayTable tray_{log_};
    std::string memoryProblem_;
};

}  // namespace pelmora::emulated

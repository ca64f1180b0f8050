// The tray icons on the real shell. The shell's table is kept here as well: an icon is added
// again with its last tip when the shell restarts, taken away if the program ends with it
// still there, and a change that the shell shows already is not sent again.
#pragma once

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <cstdint>
#include <functional>

#include "platform/emulated/tray_table.h"
#include "platform/os_calls.h"

namespace pelmora::win32 {

// The native record of one icon: the first form's fields, handles sign-extended, the tip
// ending in its NUL, and the first form's native size.
::NOTIFYICONDATAA toNativeTrayRecord(const emulated::TrayIconKey& key,
                                     const emulated::TrayIcon& icon, std::uint32_t flags) noexcept;

class ShellTray final : private emulated::TrayShell {
  public:
    using Send = std::function<BOOL(DWORD message, ::NOTIFYICONDATAA& record)>;

    explicit ShellTray(Send send) : send_(std::move(send)) {}

    std::int32_t notify(DWORD message, const platform::NOTIFYICONDATAA& record) {
        return table_.notify(message, record);
    }
    // The shell has restarted: adds the icons of this window again, as they last were.
    void shellRestarted(platform::Hwnd hwnd) { table_.showAgain(hwnd); }
    // Deletes the icons still there.
    void removeLeftover() { table_.removeAll(); }

  private:
    bool showIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon) override;
    bool updateIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon,
                    std::uint32_t changed) override;
    bool removeIcon(const emulated::TrayIconKey& key) override;
    bool send(DWORD message, const emulated::TrayIconKey& key, const emulated::TrayIcon& icon,
              std::uint32_t flags);

    Send send_;
    emulated::TrayTable table_{*this};
};

}  // namespace pelmora::win32

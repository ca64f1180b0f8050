// The tray icon as the shell sees it: the 88-byte record widened to the native
// one, and a keeper that remembers the icon so it can be added again when the
// shell restarts, and taken away if the program ends with it still there.
#pragma once

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/os_calls.h"

namespace pelmora::win32 {

// The record as the native API takes it: the six fields widened (handles sign-extended)
// and the size in the first form's native size when the caller gave the 88-byte size.
::NOTIFYICONDATAA toNativeTrayRecord(const platform::NOTIFYICONDATAA& record) noexcept;

// Remembers the icon that the program asked the shell to show.
class TrayIconKeeper {
  public:
    using Send = std::function<BOOL(DWORD message, platform::NOTIFYICONDATAA& record)>;

    explicit TrayIconKeeper(Send send) : send_(std::move(send)) {}

    // Notes a request that was passed to the shell, and whether the shell accepted it.
    void noteRequest(DWORD message, const platform::NOTIFYICONDATAA& record, bool accepted = true);
    // Whether a request only repeats what the shell last accepted for this icon: a modify
    // whose every field the shell shows already.
    bool repeatsShown(DWORD message, const platform::NOTIFYICONDATAA& record) const noexcept;
    // The shell has restarted: adds the icon owned by this window again, with its last tip.
    void shellRestarted(platform::Hwnd hwnd);
    // Deletes an icon that is still shown; nothing when none is.
    void removeLeftover();

    bool hasIcon() const noexcept { return icon_.has_value(); }
    const std::optional<platform::NOTIFYICONDATAA>& icon() const noexcept { return icon_; }

  private:
    bool sameIcon(const platform::NOTIFYICONDATAA& record) const noexcept;

    Send send_;
    std::optional<platform::NOTIFYICONDATAA> icon_;
    bool hasTip_ = false;
    // The shell accepted the last request that added or changed the icon.
    bool shown_ = false;
};

}  // namespace pelmora::win32

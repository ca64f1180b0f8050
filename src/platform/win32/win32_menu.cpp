#include <string>

#include "platform/errors.h"
#include "platform/win32/win32_window.h"

namespace pelmora::win32 {

std::optional<std::size_t> Win32Window::popupMenu(std::span<const core::PopupRow> rows,
                                                  std::optional<core::PixelPoint> at) {
    if (!hwnd_) {
        throw platform::Error(platform::ErrorCode::ObjectUnloaded, std::string(plan_.name));
    }
    MenuHandle menu(::CreatePopupMenu());
    if (!menu) {
        throw platform::Error(platform::ErrorCode::CannotCreateWindow, "a popup menu");
    }
    // Row i has the command i + 1: TrackPopupMenu returns 0 for no choice.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const core::PopupRow& row = rows[i];
        BOOL added = FALSE;
        if (row.separator) {
            added = ::AppendMenuA(menu.get(), MF_SEPARATOR, i + 1, nullptr);
        } else {
            const std::string caption(row.caption);
            UINT flags = MF_STRING | (row.checked ? MF_CHECKED : MF_UNCHECKED);
            flags |= row.enabled ? MF_ENABLED : MF_GRAYED;
            added = ::AppendMenuA(menu.get(), flags, i + 1, caption.c_str());
        }
        if (!added) {
            throw platform::Error(platform::ErrorCode::CannotCreateWindow,
                                  "the menu row " + std::string(row.caption));
        }
    }
    POINT where{};
    if (at) {
        where = {at->x, at->y};
    } else {
        ::GetCursorPos(&where);
    }
    // Without the foreground the menu would not close on a click elsewhere (tray menus).
    ::SetForegroundWindow(hwnd_.get());
    const UINT flags =
        TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_NONOTIFY;
    const int chosen = static_cast<int>(
        ::TrackPopupMenu(menu.get(), flags, where.x, where.y, 0, hwnd_.get(), nullptr));
    // Lets the window see a message so that the next popup opens at the first click.
    ::PostMessageA(hwnd_.get(), WM_NULL, 0, 0);
    if (chosen <= 0 || static_cast<std::size_t>(chosen) > rows.size()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(chosen - 1);
}

}  // namespace pelmora::win32

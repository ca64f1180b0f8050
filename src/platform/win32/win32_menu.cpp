#include <stdexcept>
#include <string>

#include "platform/win32/win32_window.h"

namespace pelmora::win32 {

std::optional<std::size_t> Win32Window::popupMenu(std::span<const core::PopupRow> rows,
                                                  std::optional<core::PixelPoint> at) {
    const HWND self = live();
    MenuHandle menu(::CreatePopupMenu());
    if (!menu) {
        throw std::runtime_error("the system made no popup menu");
    }
    // Row i has the command i + 1: TrackPopupMenu returns 0 for no choice.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const core::PopupRow& row = rows[i];
        const std::string caption(row.caption);
        const UINT flags = row.separator ? MF_SEPARATOR
                                         : MF_STRING | (row.checked ? MF_CHECKED : MF_UNCHECKED) |
                                               (row.enabled ? MF_ENABLED : MF_GRAYED);
        if (!::AppendMenuA(menu.get(), flags, i + 1, row.separator ? nullptr : caption.c_str())) {
            throw std::runtime_error("the menu row " + caption + " was not added");
        }
    }
    POINT where{};
    if (at) {
        where = {at->x, at->y};
    } else {
        ::GetCursorPos(&where);
    }
    // Without the foreground the menu would not close on a click elsewhere (tray menus).
    ::SetForegroundWindow(self);
    const UINT flags =
        TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_NONOTIFY;
    const int chosen =
        static_cast<int>(::TrackPopupMenu(menu.get(), flags, where.x, where.y, 0, self, nullptr));
    // Lets the window see a message so that the next popup opens at the first click.
    ::PostMessageA(self, WM_NULL, 0, 0);
    if (chosen <= 0 || static_cast<std::size_t>(chosen) > rows.size()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(chosen - 1);
}

}  // namespace pelmora::win32

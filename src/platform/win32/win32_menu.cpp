#include "platform/win32/win32_menu.h"

#include <string>

#include "platform/errors.h"
#include "platform/win32/win32_runtime.h"

namespace pelmora::win32 {

Win32Menu::Win32Menu(const platform::MenuDef& def) : def_(def), menu_(::CreatePopupMenu()) {
    if (!menu_) {
        throw platform::Error(errnum::CannotCreateWindow,
                              "Cannot create the menu '" + std::string(def.name) + "'");
    }
}

Win32MenuItem::Win32MenuItem(const platform::MenuDef& def, UINT id, HMENU parent)
    : def_(def), id_(id), parent_(parent), checked_(def.checked) {
    if (!def.visible || parent == nullptr) {
        return;
    }
    BOOL added = FALSE;
    if (isSeparator()) {
        added = ::AppendMenuA(parent, MF_SEPARATOR, id, nullptr);
    } else {
        const std::string caption(def.caption);
        UINT flags = MF_STRING | (checked_ ? MF_CHECKED : MF_UNCHECKED);
        flags |= def.enabled ? MF_ENABLED : MF_GRAYED;
        added = ::AppendMenuA(parent, flags, id, caption.c_str());
    }
    if (!added) {
        throw platform::Error(errnum::CannotCreateWindow,
                              "Cannot add the menu item '" + std::string(def.caption) + "'");
    }
}

void Win32MenuItem::setChecked(platform::Bool16 value) {
    checked_ = value != 0;
    if (def_.visible && parent_ != nullptr && !isSeparator()) {
        ::CheckMenuItem(parent_, id_, MF_BYCOMMAND | (checked_ ? MF_CHECKED : MF_UNCHECKED));
    }
}

UINT trackPopupMenu(HWND owner, HMENU menu) {
    POINT at{};
    ::GetCursorPos(&at);
    // Without the foreground the menu would not close on a click elsewhere.
    ::SetForegroundWindow(owner);
    const UINT flags =
        TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_NONOTIFY;
    const BOOL chosen = ::TrackPopupMenu(menu, flags, at.x, at.y, 0, owner, nullptr);
    // Lets the window see a message so the next popup opens at the first click.
    ::PostMessageA(owner, WM_NULL, 0, 0);
    return static_cast<UINT>(chosen);
}

}  // namespace pelmora::win32

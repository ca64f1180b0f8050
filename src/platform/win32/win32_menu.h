// A form's menus on Windows: popup menus built from the layout's menu table,
// their items with check marks, and showing one at the mouse pointer.
#pragma once

#include <windows.h>

#include <string_view>

#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/win32/win32_handles.h"

namespace pelmora::win32 {

class Win32Form;

class Win32Menu final : public platform::Menu {
  public:
    explicit Win32Menu(const platform::MenuDef& def);

    const platform::MenuDef& def() const noexcept { return def_; }
    HMENU handle() const noexcept { return menu_.get(); }
    // A menu inside another gives its handle to the parent, which destroys it.
    void handOver() noexcept { menu_.release(); }

  private:
    const platform::MenuDef& def_;
    MenuHandle menu_;
};

class Win32MenuItem final : public platform::MenuItem {
  public:
    Win32MenuItem(const platform::MenuDef& def, UINT id, HMENU parent);

    platform::Bool16 checked() const override { return platform::toBool16(checked_); }
    void setChecked(platform::Bool16 value) override;

    const platform::MenuDef& def() const noexcept { return def_; }
    UINT id() const noexcept { return id_; }
    bool isSeparator() const noexcept { return def_.caption == "-"; }

  private:
    const platform::MenuDef& def_;
    UINT id_;
    HMENU parent_;
    bool checked_;
};

// Shows the menu at the mouse pointer for the window and returns the chosen item's
// id, 0 when the menu closed without a choice.
UINT trackPopupMenu(HWND owner, HMENU menu);

}  // namespace pelmora::win32

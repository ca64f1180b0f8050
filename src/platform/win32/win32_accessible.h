// What assistive technology reads of a window on Windows (MSAA): a surface (a form or a
// picture box) answers WM_GETOBJECT with an IAccessible built on the system's own object for
// the window, telling what the core decided of the surface and of the widgets painted on it,
// which have no window of their own.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/core/native.h"
#include "platform/win32/win32_widgets.h"

namespace pelmora::win32 {

// The answer to WM_GETOBJECT for the window or the client area of a surface, or 0 for the
// system's own.
LRESULT answerAccessible(HWND surface, WPARAM wParam, LPARAM lParam, const core::Accessible& told,
                         const std::vector<Widget*>& painted) noexcept;

// A control of the system's own class (a button) answers as the core told it, too.
void answerAccessibleFor(HWND control, const core::Accessible& told);

// The simple child that a painted widget is on its surface (1 onwards), or 0 when it is none.
LONG accessibleChild(const std::vector<Widget*>& painted, const Widget& widget) noexcept;

// Announces a change of what a surface or one of its painted children tells.
void announceAccessible(HWND surface, LONG child, const core::Accessible& before,
                        const core::Accessible& now) noexcept;

}  // namespace pelmora::win32

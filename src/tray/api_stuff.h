// The tray icon, its tip and the window-procedure hook that turns the icon's mouse
// events into actions. Everything they share lives in one module state.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/forms.h"
#include "platform/os_calls.h"
#include "platform/types.h"

namespace pelmora::tray {

// The message with which the shell reports mouse events on the tray icon.
inline constexpr std::uint32_t TRAY_CALLBACK = 2025;

// The module state: zero at start, bound to the runtime and the OS calls by Main.
struct ApiStuff {
    platform::FormsRuntime* runtime = nullptr;
    platform::OsCalls* os = nullptr;
    platform::Form* hookedForm = nullptr;
    platform::Menu* trayMenu = nullptr;
    std::intptr_t prevWndProc = 0;
    platform::NOTIFYICONDATAA trayData{};
};

// The one module state of the process: the OS calls Tray_WndProc without context.
ApiStuff& apiStuff() noexcept;

// Clears the module state and binds it to the runtime and OS calls of this run.
void bindModule(platform::FormsRuntime& runtime, platform::OsCalls& os) noexcept;

// Stores text in the tip field: at most 63 characters, a NUL, then blanks to the end.
void storeTip(char (&szTip)[64], std::string_view text) noexcept;

// Hooks form's window procedure, then adds the icon with its callback message and
// icon but no tip; menu pops up on a right click on the icon.
void Tray_Add(platform::Form& form, platform::Menu& menu);

// Stores the tip and asks the shell to show it.
void Tray_SetTip(std::string_view text);

// Deletes the icon, then puts the previous window procedure back (unless the hook
// was never installed) and lets go of the hooked form and menu.
void Tray_Remove();

// The hook: a left release on the icon restores and focuses the window, a right
// release pops up the menu, everything else goes on to the previous procedure.
platform::LResult PELMORA_CALLBACK Tray_WndProc(platform::Hwnd hWnd, std::uint32_t uMsg,
                                                platform::WParam wParam, platform::LParam lParam);

}  // namespace pelmora::tray

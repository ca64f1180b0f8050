// The tray icons as the shell keeps them, one per window and identifier, from the requests of
// Shell_NotifyIconA. The record is read in its first, 88-byte form whatever cbSize says, as the
// shell reads a record of a size it does not know. A layer shows the icons through TrayShell.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

#include "platform/os_calls.h"

namespace pelmora::emulated {

struct TrayIconKey {
    platform::Hwnd hWnd = 0;
    std::uint32_t uID = 0;
    auto operator<=>(const TrayIconKey&) const = default;
};

// What the shell holds for one icon: the fields it was given, and which.
struct TrayIcon {
    std::uint32_t flags = 0;  // NIF_MESSAGE, NIF_ICON, NIF_TIP once given
    std::uint32_t callbackMessage = 0;
    std::uint32_t hIcon = 0;
    std::array<char, 64> tip{};
};

// The tip as the shell shows it: the text up to its NUL, at most 63 characters.
std::string_view tipText(const std::array<char, 64>& tip) noexcept;

// A message for a window.
struct WindowMessage {
    platform::Hwnd hWnd = 0;
    std::uint32_t msg = 0;
    platform::WParam wParam = 0;
    platform::LParam lParam = 0;
    bool operator==(const WindowMessage&) const = default;
};

// What shows the icons: a tray host, or the real shell. Each answers whether it took the
// request (an unknown window or image is refused).
class TrayShell {
  public:
    virtual bool showIcon(const TrayIconKey& key, const TrayIcon& icon) = 0;
    // changed: the flags of the fields the request sets to other values than the shell holds
    // (all it sets, when the shell refused them before).
    virtual bool updateIcon(const TrayIconKey& key, const TrayIcon& icon,
                            std::uint32_t changed) = 0;
    virtual bool removeIcon(const TrayIconKey& key) = 0;

  protected:
    ~TrayShell() = default;
};

class TrayTable {
  public:
    explicit TrayTable(TrayShell& shell) : shell_(shell) {}

    // One request: NIM_ADD, NIM_MODIFY or NIM_DELETE; anything else is refused with 0.
    std::int32_t notify(std::uint32_t message, const platform::NOTIFYICONDATAA& data);
    // The message a mouse event on an icon sends its window; none when the icon is gone or
    // asked for no messages.
    std::optional<WindowMessage> callback(const TrayIconKey& key, std::uint32_t mouse) const;
    // The shell has started again: the window's icons are shown anew, as they last were.
    void showAgain(platform::Hwnd hWnd);
    // The icons of a window that has gone, or of a program that ends, go too.
    void removeWindow(platform::Hwnd hWnd);
    void removeAll();

  private:
    struct Entry {
        TrayIcon icon;  // as the program last asked for it
        TrayIcon held;  // as the shell last took it
        // The shell took the last request that showed or changed the icon.
        bool shown = false;
    };
    bool show(const TrayIconKey& key, Entry& entry);
    std::int32_t modify(const TrayIconKey& key, Entry& entry,
                        const platform::NOTIFYICONDATAA& data);
    void remove(std::map<TrayIconKey, Entry>::iterator it);

    TrayShell& shell_;
    std::map<TrayIconKey, Entry> icons_;
};

}  // namespace pelmora::emulated

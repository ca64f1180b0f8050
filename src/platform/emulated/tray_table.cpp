#include "platform/emulated/tray_table.h"

#include <algorithm>
#include <cstring>

#include "platform/win_constants.h"

namespace pelmora::emulated {

namespace {

// The fields of the first form; other flags name fields the record does not have.
constexpr std::uint32_t kFields = platform::NIF_MESSAGE | platform::NIF_ICON | platform::NIF_TIP;

// Sets the fields named from another icon.
void take(TrayIcon& icon, const TrayIcon& from, std::uint32_t fields) {
    if ((fields & platform::NIF_MESSAGE) != 0) {
        icon.callbackMessage = from.callbackMessage;
    }
    if ((fields & platform::NIF_ICON) != 0) {
        icon.hIcon = from.hIcon;
    }
    if ((fields & platform::NIF_TIP) != 0) {
        icon.tip = from.tip;
    }
    icon.flags |= fields;
}

// Of the fields named, those the two icons give differently or only one of them gives.
std::uint32_t differing(const TrayIcon& a, const TrayIcon& b, std::uint32_t fields) {
    std::uint32_t differ = (a.flags ^ b.flags) & fields;
    differ |= a.callbackMessage != b.callbackMessage ? platform::NIF_MESSAGE : 0;
    differ |= a.hIcon != b.hIcon ? platform::NIF_ICON : 0;
    differ |= a.tip != b.tip ? platform::NIF_TIP : 0;
    return differ & fields;
}

// The icon a request describes, with the fields it names.
TrayIcon described(const platform::NOTIFYICONDATAA& data) {
    TrayIcon record{0, data.uCallbackMessage, data.hIcon, {}};
    std::memcpy(record.tip.data(), data.szTip, sizeof data.szTip);
    // Bytes after the NUL are not part of the tip.
    const std::string_view text = tipText(record.tip);
    std::fill(record.tip.begin() + static_cast<std::ptrdiff_t>(text.size()), record.tip.end(),
              '\0');
    TrayIcon icon;
    take(icon, record, data.uFlags & kFields);
    return icon;
}

}  // namespace

std::string_view tipText(const std::array<char, 64>& tip) noexcept {
    const auto end = std::find(tip.begin(), tip.end() - 1, '\0');
    return std::string_view(tip.data(), static_cast<std::size_t>(end - tip.begin()));
}

std::int32_t TrayTable::notify(std::uint32_t message, const platform::NOTIFYICONDATAA& data) {
    const TrayIconKey key{platform::widenHandle(data.hWnd), data.uID};
    const auto it = icons_.find(key);
    switch (message) {
        case platform::NIM_ADD: {
            if (it != icons_.end() && it->second.shown) {
                return 0;
            }
            // Kept although the shell refuses it: it is added again when the shell starts.
            Entry& entry = it != icons_.end() ? it->second : icons_[key];
            entry.icon = described(data);
            return show(key, entry) ? 1 : 0;
        }
        case platform::NIM_MODIFY:
            return it != icons_.end() ? modify(key, it->second, data) : 0;
        case platform::NIM_DELETE:
            if (it == icons_.end()) {
                return 0;
            }
            icons_.erase(it);
            return shell_.removeIcon(key) ? 1 : 0;
        default:
            return 0;
    }
}

std::int32_t TrayTable::modify(const TrayIconKey& key, Entry& entry,
                               const platform::NOTIFYICONDATAA& data) {
    const std::uint32_t fields = data.uFlags & kFields;
    take(entry.icon, described(data), fields);
    const std::uint32_t changed = differing(entry.icon, entry.held, fields);
    // Most refreshes repeat what the shell shows already: those cost the shell nothing.
    if (changed == 0 && entry.shown) {
        return 1;
    }
    entry.shown = shell_.updateIcon(key, entry.icon, changed);
    if (entry.shown) {
        take(entry.held, entry.icon, changed);
    }
    return entry.shown ? 1 : 0;
}

bool TrayTable::show(const TrayIconKey& key, Entry& entry) {
    entry.shown = shell_.showIcon(key, entry.icon);
    entry.held = entry.shown ? entry.icon : TrayIcon{};
    return entry.shown;
}

std::optional<WindowMessage> TrayTable::callback(const TrayIconKey& key,
                                                 std::uint32_t mouse) const {
    const auto it = icons_.find(key);
    if (it == icons_.end() || !it->second.shown ||
        (it->second.icon.flags & platform::NIF_MESSAGE) == 0) {
        return std::nullopt;
    }
    return WindowMessage{key.hWnd, it->second.icon.callbackMessage, key.uID,
                         static_cast<platform::LParam>(mouse)};
}

void TrayTable::showAgain(platform::Hwnd hWnd) {
    for (auto& [key, entry] : icons_) {
        if (key.hWnd == hWnd) {
            show(key, entry);
        }
    }
}

void TrayTable::remove(std::map<TrayIconKey, Entry>::iterator it) {
    const TrayIconKey key = it->first;
    icons_.erase(it);
    shell_.removeIcon(key);
}

void TrayTable::removeWindow(platform::Hwnd hWnd) {
    for (auto it = icons_.begin(); it != icons_.end();) {
        if (it->first.hWnd == hWnd) {
            remove(it++);
        } else {
            ++it;
        }
    }
}

void TrayTable::removeAll() {
    while (!icons_.empty()) {
        remove(icons_.begin());
    }
}

}  // namespace pelmora::emulated

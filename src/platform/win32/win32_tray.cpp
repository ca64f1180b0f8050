#include "platform/win32/win32_tray.h"

#include <cstring>

namespace pelmora::win32 {

::NOTIFYICONDATAA toNativeTrayRecord(const emulated::TrayIconKey& key,
                                     const emulated::TrayIcon& icon, std::uint32_t flags) noexcept {
    ::NOTIFYICONDATAA native{};
    native.cbSize = NOTIFYICONDATAA_V1_SIZE;
    native.hWnd = reinterpret_cast<HWND>(key.hWnd);
    native.uID = key.uID;
    native.uFlags = flags;
    native.uCallbackMessage = icon.callbackMessage;
    native.hIcon = reinterpret_cast<HICON>(platform::widenHandle(icon.hIcon));
    const std::string_view tip = emulated::tipText(icon.tip);
    std::memcpy(native.szTip, tip.data(), tip.size());
    return native;
}

bool ShellTray::send(DWORD message, const emulated::TrayIconKey& key,
                     const emulated::TrayIcon& icon, std::uint32_t flags) {
    ::NOTIFYICONDATAA native = toNativeTrayRecord(key, icon, flags);
    return send_(message, native) != FALSE;
}

bool ShellTray::showIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon) {
    return send(NIM_ADD, key, icon, icon.flags);
}

bool ShellTray::updateIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon,
                           std::uint32_t changed) {
    return send(NIM_MODIFY, key, icon, changed);
}

bool ShellTray::removeIcon(const emulated::TrayIconKey& key) {
    return send(NIM_DELETE, key, emulated::TrayIcon{}, 0);
}

}  // namespace pelmora::win32

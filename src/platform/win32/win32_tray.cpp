#include "platform/win32/win32_tray.h"

#include <cstring>

namespace pelmora::win32 {

namespace {
constexpr std::uint32_t kFirstFormSize = sizeof(platform::NOTIFYICONDATAA);
}  // namespace

::NOTIFYICONDATAA toNativeTrayRecord(const platform::NOTIFYICONDATAA& record) noexcept {
    ::NOTIFYICONDATAA native{};
    // A size the caller did not mean as the first form (zero, say) is passed on as it is,
    // so the shell refuses it just as it would refuse the 88-byte record.
    native.cbSize = record.cbSize == kFirstFormSize ? NOTIFYICONDATAA_V1_SIZE : record.cbSize;
    native.hWnd = reinterpret_cast<HWND>(platform::widenHandle(record.hWnd));
    native.uID = record.uID;
    native.uFlags = record.uFlags;
    native.uCallbackMessage = record.uCallbackMessage;
    native.hIcon = reinterpret_cast<HICON>(platform::widenHandle(record.hIcon));
    std::memcpy(native.szTip, record.szTip, sizeof(record.szTip));
    // The shell reads the tip up to its NUL; the last byte is always one.
    native.szTip[sizeof(record.szTip) - 1] = '\0';
    return native;
}

bool TrayIconKeeper::sameIcon(const platform::NOTIFYICONDATAA& record) const noexcept {
    return icon_ && icon_->hWnd == record.hWnd && icon_->uID == record.uID;
}

bool TrayIconKeeper::repeatsShown(DWORD message,
                                  const platform::NOTIFYICONDATAA& record) const noexcept {
    constexpr UINT kKnown = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    const UINT flags = record.uFlags;
    if (message != NIM_MODIFY || !shown_ || !sameIcon(record) || flags == 0 ||
        (flags & ~kKnown) != 0 || record.cbSize != icon_->cbSize) {
        return false;
    }
    if ((flags & NIF_MESSAGE) != 0 && record.uCallbackMessage != icon_->uCallbackMessage) {
        return false;
    }
    if ((flags & NIF_ICON) != 0 && record.hIcon != icon_->hIcon) {
        return false;
    }
    return (flags & NIF_TIP) == 0 ||
           (hasTip_ && std::memcmp(record.szTip, icon_->szTip, sizeof(record.szTip)) == 0);
}

void TrayIconKeeper::noteRequest(DWORD message, const platform::NOTIFYICONDATAA& record,
                                 bool accepted) {
    switch (message) {
        case NIM_ADD:
            if (record.hWnd == 0) {
                return;
            }
            icon_ = record;
            hasTip_ = (record.uFlags & NIF_TIP) != 0;
            shown_ = accepted;
            return;
        case NIM_MODIFY:
            if (!sameIcon(record)) {
                return;
            }
            shown_ = accepted;
            if ((record.uFlags & NIF_MESSAGE) != 0) {
                icon_->uCallbackMessage = record.uCallbackMessage;
            }
            if ((record.uFlags & NIF_ICON) != 0) {
                icon_->hIcon = record.hIcon;
            }
            if ((record.uFlags & NIF_TIP) != 0) {
                std::memcpy(icon_->szTip, record.szTip, sizeof(record.szTip));
                hasTip_ = true;
            }
            return;
        case NIM_DELETE:
            if (sameIcon(record)) {
                icon_.reset();
                hasTip_ = false;
                shown_ = false;
            }
            return;
        default:
            return;
    }
}

void TrayIconKeeper::shellRestarted(platform::Hwnd hwnd) {
    if (!icon_ || platform::widenHandle(icon_->hWnd) != hwnd) {
        return;
    }
    platform::NOTIFYICONDATAA again = *icon_;
    again.uFlags = NIF_MESSAGE | NIF_ICON | (hasTip_ ? NIF_TIP : 0u);
    shown_ = send_(NIM_ADD, again) != FALSE;
}

void TrayIconKeeper::removeLeftover() {
    if (!icon_) {
        return;
    }
    platform::NOTIFYICONDATAA gone = *icon_;
    gone.uFlags = 0;
    icon_.reset();
    hasTip_ = false;
    shown_ = false;
    send_(NIM_DELETE, gone);
}

}  // namespace pelmora::win32

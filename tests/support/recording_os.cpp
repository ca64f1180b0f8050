#include "support/recording_os.h"

#include <algorithm>
#include <utility>

#include "platform/win_constants.h"

namespace pelmora::recording {

namespace {

std::string messageText(std::uint32_t msg) {
    switch (msg) {
        case platform::WM_NCLBUTTONDOWN:
            return "WM_NCLBUTTONDOWN";
        case platform::WM_MOUSEMOVE:
            return "WM_MOUSEMOVE";
        case platform::WM_LBUTTONDOWN:
            return "WM_LBUTTONDOWN";
        case platform::WM_LBUTTONUP:
            return "WM_LBUTTONUP";
        case platform::WM_RBUTTONDOWN:
            return "WM_RBUTTONDOWN";
        case platform::WM_RBUTTONUP:
            return "WM_RBUTTONUP";
        default:
            return std::to_string(msg);
    }
}

std::string insertAfterText(std::intptr_t value) {
    if (value == platform::HWND_TOPMOST) {
        return "HWND_TOPMOST";
    }
    if (value == platform::HWND_NOTOPMOST) {
        return "HWND_NOTOPMOST";
    }
    return std::to_string(value);
}

std::string swpText(std::uint32_t flags) {
    std::string out;
    const auto add = [&](std::uint32_t bit, const char* name) {
        if ((flags & bit) != 0) {
            out += out.empty() ? "" : "|";
            out += name;
            flags &= ~bit;
        }
    };
    add(platform::SWP_NOMOVE, "SWP_NOMOVE");
    add(platform::SWP_NOSIZE, "SWP_NOSIZE");
    if (flags != 0 || out.empty()) {
        out += out.empty() ? "" : "|";
        out += std::to_string(flags);
    }
    return out;
}

}  // namespace

RecordingOs::RecordingOs(RecordingPlatform& platform, const std::string& trayLogPath)
    : EmulatedOs(static_cast<emulated::TrayShell&>(*this), trayLogPath), platform_(platform) {
    platform_.windowDestroyed = [this](platform::Hwnd hWnd) {
        const bool shown = tray_.present;
        removeIconsOf(hWnd);
        if (shown && !tray_.present) {
            platform_.journal.note("shell drops the tray icon of " + hex(hWnd));
        }
    };
}

RecordingOs::~RecordingOs() {
    platform_.windowDestroyed = nullptr;
}

void RecordingOs::nameProc(std::intptr_t proc, std::string name) {
    procNames_[proc] = std::move(name);
}

std::string RecordingOs::procText(std::intptr_t proc) const {
    if (proc == 0) {
        return "0";
    }
    const auto it = procNames_.find(proc);
    if (it != procNames_.end()) {
        return it->second;
    }
    for (const RecordingWindow* w : platform_.windows()) {
        if (w->defaultProc == proc) {
            return "DefProc(" + w->name + ")";
        }
    }
    return hex(static_cast<std::uint64_t>(proc));
}

std::string RecordingOs::windowText(platform::Hwnd hWnd) const {
    const RecordingWindow* w = platform_.windowByHandle(hWnd);
    return w != nullptr ? w->name : hex(hWnd);
}

platform::LResult RecordingOs::sendToWindow(platform::Hwnd hWnd, std::uint32_t msg,
                                            platform::WParam wParam, platform::LParam lParam) {
    platform_.journal.note("message " + windowText(hWnd) + " " + messageText(msg) + " " +
                           std::to_string(wParam) + " " + std::to_string(lParam));
    return EmulatedOs::SendMessageA(hWnd, msg, wParam, lParam);
}

std::optional<platform::LResult> RecordingOs::trayMouse(platform::LParam event) {
    const auto message = trayMessage({platform::widenHandle(tray_.hWnd), tray_.uID},
                                     static_cast<std::uint32_t>(event));
    if (!tray_.present || !message || platform_.quitRequested()) {
        return std::nullopt;
    }
    return sendToWindow(message->hWnd, message->msg, message->wParam, message->lParam);
}

emulated::ProcedureWindows::Slot RecordingOs::procedureSlot(platform::Hwnd hWnd) {
    RecordingWindow* w = platform_.windowByHandle(hWnd);
    return w != nullptr ? Slot{&w->wndProc, w->defaultProc} : Slot{nullptr, 0};
}

platform::LResult RecordingOs::ownProcedure(platform::Hwnd hWnd, std::uint32_t msg,
                                            platform::WParam wParam, platform::LParam lParam) {
    RecordingWindow& target = *platform_.windowByHandle(hWnd);
    defaultMessages_.push_back({hWnd, msg, wParam, lParam});
    platform_.journal.note("defaultProc " + target.name + " " + messageText(msg) + " " +
                           std::to_string(wParam) + " " + std::to_string(lParam));
    if (msg == platform::WM_NCLBUTTONDOWN && wParam == platform::HTCAPTION) {
        ++target.drags;
        platform_.journal.note("drag " + target.name);
    }
    return defaultProcResult;
}

std::int32_t RecordingOs::GlobalMemoryStatusEx(platform::MEMORYSTATUSEX& status) {
    if (!platform_.journal.call("GlobalMemoryStatusEx dwLength=" +
                                std::to_string(status.dwLength))) {
        return 0;
    }
    return EmulatedOs::GlobalMemoryStatusEx(status);
}

bool RecordingOs::readMemory(MemoryFigures& figures, std::string& reason) {
    figures = memory;
    reason = memoryUnavailable;
    return reason.empty();
}

void RecordingOs::reportError(std::string_view call, const platform::Error& error) {
    platform_.journal.note("report " + std::string(call) + ": " + std::to_string(error.number()) +
                           " " + error.description());
}

std::int32_t RecordingOs::Shell_NotifyIconA(std::uint32_t dwMessage,
                                            platform::NOTIFYICONDATAA& data) {
    static constexpr const char* kNames[] = {"NIM_ADD", "NIM_MODIFY", "NIM_DELETE"};
    const std::size_t tipLength = std::find(data.szTip, data.szTip + 64, '\0') - data.szTip;
    std::string entry = "Shell_NotifyIconA ";
    entry += dwMessage < 3 ? kNames[dwMessage] : std::to_string(dwMessage);
    if (data.cbSize != sizeof(platform::NOTIFYICONDATAA)) {
        entry += " cbSize=" + std::to_string(data.cbSize);
    }
    // Appended piece by piece: GCC 12 warns wrongly about overlap on a chain of operator+.
    entry += ' ';
    entry += windowText(platform::widenHandle(data.hWnd));
    entry += " uID=";
    entry += std::to_string(data.uID);
    if ((data.uFlags & platform::NIF_MESSAGE) != 0) {
        entry += " message=" + std::to_string(data.uCallbackMessage);
    }
    if ((data.uFlags & platform::NIF_ICON) != 0) {
        entry += " icon=" + hex(data.hIcon);
    }
    if ((data.uFlags & platform::NIF_TIP) != 0) {
        entry += " tip " + quote(std::string_view(data.szTip, tipLength));
        tray_.tipUnterminated = tray_.tipUnterminated || tipLength == 64;
    }
    const bool keep = platform_.journal.keeping();
    if (keep) {
        trayRequests_.push_back({dwMessage, data, 0});
    }
    if (!platform_.journal.call(entry)) {
        return 0;
    }
    const std::int32_t result = EmulatedOs::Shell_NotifyIconA(dwMessage, data);
    if (keep) {
        trayRequests_.back().result = result;
    }
    return result;
}

bool RecordingOs::showsIcon(const emulated::TrayIconKey& key) const noexcept {
    return tray_.present && platform::widenHandle(tray_.hWnd) == key.hWnd && tray_.uID == key.uID;
}

bool RecordingOs::showIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon) {
    // The test's tray has one place.
    if (tray_.present || platform_.windowByHandle(key.hWnd) == nullptr) {
        return false;
    }
    tray_ = TrayIcon{
        true, static_cast<std::uint32_t>(key.hWnd), key.uID, 0, 0, "", tray_.tipUnterminated};
    return updateIcon(key, icon, 0);
}

bool RecordingOs::updateIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon,
                             std::uint32_t) {
    if (!showsIcon(key)) {
        return false;
    }
    tray_.callbackMessage = icon.callbackMessage;
    tray_.hIcon = icon.hIcon;
    tray_.tip = std::string(emulated::tipText(icon.tip));
    return true;
}

bool RecordingOs::removeIcon(const emulated::TrayIconKey& key) {
    const bool shown = showsIcon(key);
    tray_.present = tray_.present && !shown;
    return shown;
}

std::intptr_t RecordingOs::SetWindowLongA(platform::Hwnd hWnd, std::int32_t nIndex,
                                          std::intptr_t dwNewLong) {
    const std::string index =
        nIndex == platform::GWL_WNDPROC ? std::string("GWL_WNDPROC") : std::to_string(nIndex);
    if (!platform_.journal.call("SetWindowLongA " + windowText(hWnd) + " " + index + " " +
                                procText(dwNewLong))) {
        return 0;
    }
    return EmulatedOs::SetWindowLongA(hWnd, nIndex, dwNewLong);
}

platform::LResult RecordingOs::CallWindowProcA(std::intptr_t lpPrevWndFunc, platform::Hwnd hWnd,
                                               std::uint32_t msg, platform::WParam wParam,
                                               platform::LParam lParam) {
    if (!platform_.journal.call("CallWindowProcA " + procText(lpPrevWndFunc) + " " +
                                windowText(hWnd) + " " + messageText(msg) + " " +
                                std::to_string(wParam) + " " + std::to_string(lParam))) {
        return 0;
    }
    return EmulatedOs::CallWindowProcA(lpPrevWndFunc, hWnd, msg, wParam, lParam);
}

std::int32_t RecordingOs::SetWindowPos(platform::Hwnd hWnd, std::intptr_t hWndInsertAfter,
                                       std::int32_t x, std::int32_t y, std::int32_t cx,
                                       std::int32_t cy, std::uint32_t uFlags) {
    if (!platform_.journal.call("SetWindowPos " + windowText(hWnd) + " " +
                                insertAfterText(hWndInsertAfter) + " " + std::to_string(x) + " " +
                                std::to_string(y) + " " + std::to_string(cx) + " " +
                                std::to_string(cy) + " " + swpText(uFlags))) {
        return 0;
    }
    return EmulatedOs::SetWindowPos(hWnd, hWndInsertAfter, x, y, cx, cy, uFlags);
}

bool RecordingOs::placeWindow(platform::Hwnd hWnd, const emulated::Placement& placement) {
    RecordingWindow* w = platform_.windowByHandle(hWnd);
    if (w == nullptr) {
        return false;
    }
    using Stacking = emulated::Placement::Stacking;
    if (placement.stacking == Stacking::Topmost || placement.stacking == Stacking::NotTopmost) {
        w->topmost = placement.stacking == Stacking::Topmost;
    }
    return true;
}

std::int32_t RecordingOs::ReleaseCapture() {
    return platform_.journal.call("ReleaseCapture") ? EmulatedOs::ReleaseCapture() : 0;
}

platform::LResult RecordingOs::SendMessageA(platform::Hwnd hWnd, std::uint32_t msg,
                                            platform::WParam wParam, platform::LParam lParam) {
    if (!platform_.journal.call("SendMessageA " + windowText(hWnd) + " " + messageText(msg) + " " +
                                std::to_string(wParam) + " " + std::to_string(lParam))) {
        return 0;
    }
    return EmulatedOs::SendMessageA(hWnd, msg, wParam, lParam);
}

}  // namespace pelmora::recording

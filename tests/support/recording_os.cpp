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

RecordingOs::RecordingOs(RecordingPlatform& platform) : platform_(platform) {
    platform_.windowDestroyed = [this](platform::Hwnd hWnd) {
        // The shell drops the icon of a window that is gone.
        if (tray_.present && platform::widenHandle(tray_.hWnd) == hWnd) {
            tray_.present = false;
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
    const RecordingWindow* w = platform_.windowByHandle(hWnd);
    return w == nullptr ? 0 : invoke(w->wndProc, hWnd, msg, wParam, lParam);
}

std::optional<platform::LResult> RecordingOs::trayMouse(platform::LParam event) {
    if (!tray_.present || platform_.quitRequested()) {
        return std::nullopt;
    }
    return sendToWindow(platform::widenHandle(tray_.hWnd), tray_.callbackMessage, tray_.uID, event);
}

platform::LResult RecordingOs::invoke(std::intptr_t proc, platform::Hwnd hWnd, std::uint32_t msg,
                                      platform::WParam wParam, platform::LParam lParam) {
    RecordingWindow* target = platform_.windowByHandle(hWnd);
    if (target != nullptr && proc == target->defaultProc) {
        // The window's own procedure: a press on the caption starts a move.
        defaultMessages_.push_back({hWnd, msg, wParam, lParam});
        platform_.journal.note("defaultProc " + target->name + " " + messageText(msg) + " " +
                               std::to_string(wParam) + " " + std::to_string(lParam));
        if (msg == platform::WM_NCLBUTTONDOWN && wParam == platform::HTCAPTION) {
            ++target->drags;
            platform_.journal.note("drag " + target->name);
        }
        return defaultProcResult;
    }
    if (installed_.count(proc) == 0) {
        // Never jump to a number that was not installed as a procedure.
        return 0;
    }
    return reinterpret_cast<platform::WndProc>(proc)(hWnd, msg, wParam, lParam);
}

std::int32_t RecordingOs::GlobalMemoryStatusEx(platform::MEMORYSTATUSEX& status) {
    if (!platform_.journal.call("GlobalMemoryStatusEx dwLength=" +
                                std::to_string(status.dwLength))) {
        return 0;
    }
    if (status.dwLength != sizeof(platform::MEMORYSTATUSEX)) {
        return 0;
    }
    status.dwMemoryLoad = memory.load;
    status.ullTotalPhys = memory.totalPhys;
    status.ullAvailPhys = memory.availPhys;
    status.ullTotalPageFile = memory.totalPageFile;
    status.ullAvailPageFile = memory.availPageFile;
    status.ullTotalVirtual = memory.totalVirtual;
    status.ullAvailVirtual = memory.availVirtual;
    status.ullAvailExtendedVirtual = memory.availExtendedVirtual;
    return 1;
}

std::int32_t RecordingOs::Shell_NotifyIconA(std::uint32_t dwMessage,
                                            platform::NOTIFYICONDATAA& data) {
    static constexpr const char* kNames[] = {"NIM_ADD", "NIM_MODIFY", "NIM_DELETE"};
    const std::size_t tipLength = std::find(data.szTip, data.szTip + 64, '\0') - data.szTip;
    const std::string tip(data.szTip, tipLength);
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
        entry += " tip " + quote(tip);
    }
    const bool keep = platform_.journal.keeping();
    if (keep) {
        trayRequests_.push_back({dwMessage, data, 0});
    }
    if (!platform_.journal.call(entry)) {
        return 0;
    }

    const bool known = platform_.windowByHandle(platform::widenHandle(data.hWnd)) != nullptr;
    const bool same = tray_.present && tray_.hWnd == data.hWnd && tray_.uID == data.uID;
    const auto apply = [&] {
        if ((data.uFlags & platform::NIF_MESSAGE) != 0) {
            tray_.callbackMessage = data.uCallbackMessage;
        }
        if ((data.uFlags & platform::NIF_ICON) != 0) {
            tray_.hIcon = data.hIcon;
        }
        if ((data.uFlags & platform::NIF_TIP) != 0) {
            tray_.tip = tip;
            tray_.tipUnterminated = tray_.tipUnterminated || tipLength == 64;
        }
    };
    std::int32_t result = 0;
    if (data.cbSize >= sizeof(platform::NOTIFYICONDATAA)) {
        if (dwMessage == platform::NIM_ADD && known && !tray_.present) {
            tray_ = TrayIcon{true, data.hWnd, data.uID, 0, 0, "", tray_.tipUnterminated};
            apply();
            result = 1;
        } else if (dwMessage == platform::NIM_MODIFY && same) {
            apply();
            result = 1;
        } else if (dwMessage == platform::NIM_DELETE && same) {
            tray_.present = false;
            result = 1;
        }
    }
    if (keep) {
        trayRequests_.back().result = result;
    }
    return result;
}

std::intptr_t RecordingOs::SetWindowLongA(platform::Hwnd hWnd, std::int32_t nIndex,
                                          std::intptr_t dwNewLong) {
    const std::string index =
        nIndex == platform::GWL_WNDPROC ? std::string("GWL_WNDPROC") : std::to_string(nIndex);
    if (!platform_.journal.call("SetWindowLongA " + windowText(hWnd) + " " + index + " " +
                                procText(dwNewLong))) {
        return 0;
    }
    RecordingWindow* w = platform_.windowByHandle(hWnd);
    if (w == nullptr || nIndex != platform::GWL_WNDPROC || dwNewLong == 0) {
        return 0;
    }
    if (dwNewLong != w->defaultProc) {
        installed_.insert(dwNewLong);
    }
    return std::exchange(w->wndProc, dwNewLong);
}

platform::LResult RecordingOs::CallWindowProcA(std::intptr_t lpPrevWndFunc, platform::Hwnd hWnd,
                                               std::uint32_t msg, platform::WParam wParam,
                                               platform::LParam lParam) {
    if (!platform_.journal.call("CallWindowProcA " + procText(lpPrevWndFunc) + " " +
                                windowText(hWnd) + " " + messageText(msg) + " " +
                                std::to_string(wParam) + " " + std::to_string(lParam))) {
        return 0;
    }
    return invoke(lpPrevWndFunc, hWnd, msg, wParam, lParam);
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
    RecordingWindow* w = platform_.windowByHandle(hWnd);
    if (w == nullptr) {
        return 0;
    }
    if (hWndInsertAfter == platform::HWND_TOPMOST) {
        w->topmost = true;
    } else if (hWndInsertAfter == platform::HWND_NOTOPMOST) {
        w->topmost = false;
    }
    return 1;
}

std::int32_t RecordingOs::ReleaseCapture() {
    return platform_.journal.call("ReleaseCapture") ? 1 : 0;
}

platform::LResult RecordingOs::SendMessageA(platform::Hwnd hWnd, std::uint32_t msg,
                                            platform::WParam wParam, platform::LParam lParam) {
    if (!platform_.journal.call("SendMessageA " + windowText(hWnd) + " " + messageText(msg) + " " +
                                std::to_string(wParam) + " " + std::to_string(lParam))) {
        return 0;
    }
    const RecordingWindow* w = platform_.windowByHandle(hWnd);
    return w == nullptr ? 0 : invoke(w->wndProc, hWnd, msg, wParam, lParam);
}

}  // namespace pelmora::recording

#include "tray/api_stuff.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "platform/win_constants.h"

namespace pelmora::tray {

namespace {

constexpr std::uint32_t kRecordSize = sizeof(platform::NOTIFYICONDATAA);

platform::Error notBound() {
    return platform::Error(platform::ErrorCode::ObjectRequired,
                           "the tray module is not bound to the OS calls");
}

platform::OsCalls& osCalls(ApiStuff& s) {
    if (s.os == nullptr) {
        throw notBound();
    }
    return *s.os;
}

// Each request gets a fresh copy of the record, copied back after the call.
void notify(ApiStuff& s, std::uint32_t message) {
    platform::OsCalls& os = osCalls(s);
    platform::NOTIFYICONDATAA request = s.trayData;
    os.Shell_NotifyIconA(message, request);
    s.trayData = request;
}

platform::Form& hookedForm(const ApiStuff& s) {
    if (s.hookedForm == nullptr) {
        throw platform::Error(platform::ErrorCode::ObjectRequired,
                              "the tray icon has no window to act on");
    }
    return *s.hookedForm;
}

}  // namespace

ApiStuff& apiStuff() noexcept {
    static ApiStuff state;
    return state;
}

void bindModule(platform::FormsRuntime& runtime, platform::OsCalls& os) noexcept {
    ApiStuff& s = apiStuff();
    s = ApiStuff{};
    s.runtime = &runtime;
    s.os = &os;
}

void storeTip(char (&szTip)[64], std::string_view text) noexcept {
    const std::size_t length = std::min<std::size_t>(text.size(), sizeof(szTip) - 1);
    std::memcpy(szTip, text.data(), length);
    szTip[length] = '\0';
    std::memset(szTip + length + 1, ' ', sizeof(szTip) - length - 1);
}

void Tray_Add(platform::Form& form, platform::Menu& menu) {
    ApiStuff& s = apiStuff();
    platform::OsCalls& os = osCalls(s);
    s.hookedForm = &form;
    s.trayMenu = &menu;

    s.prevWndProc = os.SetWindowLongA(form.hWnd(), platform::GWL_WNDPROC,
                                      reinterpret_cast<std::intptr_t>(&Tray_WndProc));

    s.trayData.uID = 0;
    const platform::Hwnd handle = form.hWnd();
    s.trayData.cbSize = kRecordSize;
    s.trayData.hWnd = static_cast<std::uint32_t>(handle);
    s.trayData.hIcon = static_cast<std::uint32_t>(form.iconHandle());
    s.trayData.uCallbackMessage = TRAY_CALLBACK;
    s.trayData.uFlags = platform::NIF_MESSAGE | platform::NIF_ICON;
    s.trayData.cbSize = kRecordSize;
    notify(s, platform::NIM_ADD);
}

void Tray_SetTip(std::string_view text) {
    ApiStuff& s = apiStuff();
    storeTip(s.trayData.szTip, text);
    s.trayData.uFlags = platform::NIF_TIP;
    notify(s, platform::NIM_MODIFY);
}

void Tray_Remove() {
    ApiStuff& s = apiStuff();
    // The form goes away with the unload that called us: never keep a reference to it,
    // whether or not the steps below succeed.
    struct LetGo {
        ApiStuff& s;
        ~LetGo() {
            s.hookedForm = nullptr;
            s.trayMenu = nullptr;
        }
    } letGo{s};

    s.trayData.uFlags = 0;
    notify(s, platform::NIM_DELETE);
    // A hook that failed to go in left no procedure to put back.
    if (s.prevWndProc != 0 && s.hookedForm != nullptr) {
        osCalls(s).SetWindowLongA(s.hookedForm->hWnd(), platform::GWL_WNDPROC, s.prevWndProc);
    }
}

platform::LResult PELMORA_CALLBACK Tray_WndProc(platform::Hwnd hWnd, std::uint32_t uMsg,
                                                platform::WParam wParam, platform::LParam lParam) {
    ApiStuff& s = apiStuff();
    if (s.runtime == nullptr) {
        return 0;
    }
    platform::LResult result = 0;
    // The OS calls us directly: nothing may unwind into its dispatch.
    s.runtime->guard("Tray_WndProc", [&] {
        if (uMsg == TRAY_CALLBACK && lParam == platform::WM_LBUTTONUP) {
            platform::Form& form = hookedForm(s);
            if (form.windowState() == platform::WindowState::Minimized) {
                form.setWindowState(platform::WindowState::Normal);
            }
            form.setFocus();
            return;
        }
        if (uMsg == TRAY_CALLBACK && lParam == platform::WM_RBUTTONUP) {
            platform::Form& form = hookedForm(s);
            if (s.trayMenu == nullptr) {
                throw platform::Error(platform::ErrorCode::ObjectRequired,
                                      "the tray icon has no menu to open");
            }
            form.popupMenu(*s.trayMenu);
            return;
        }
        result = osCalls(s).CallWindowProcA(s.prevWndProc, hWnd, uMsg, wParam, lParam);
    });
    return result;
}

}  // namespace pelmora::tray

#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/win32/win32_resource_ids.h"
#include "platform/win32/win32_window.h"

namespace pelmora::win32 {

namespace {

// Posted to the message-only window: run the queued work.
constexpr UINT kRunPosted = WM_APP + 1;

int screenDpi() noexcept {
    WindowDc screen(nullptr);
    const int dpi = screen.get() != nullptr ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

// By icon, in the order of the icons.
constexpr UINT kIconFlags[] = {0, MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION,
                               MB_ICONASTERISK};

constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

}  // namespace

COLORREF toColorRef(platform::Colour colour) noexcept {
    if (platform::isSystemColour(colour)) {
        return ::GetSysColor(static_cast<int>(colour & 0xFFu));
    }
    return colour & 0x00FFFFFFu;
}

Win32Platform::Win32Platform(HINSTANCE instance, PlatformOptions options)
    : instance_(instance), options_(std::move(options)) {
    systemDpi_ = options_.dpi > 0 ? options_.dpi : screenDpi();
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    lookUp(newer_.getDpiForWindow, user32, "GetDpiForWindow");
    lookUp(newer_.adjustWindowRectExForDpi, user32, "AdjustWindowRectExForDpi");
    lookUp(newer_.getSystemMetricsForDpi, user32, "GetSystemMetricsForDpi");
    lookUp(newer_.changeWindowMessageFilterEx, user32, "ChangeWindowMessageFilterEx");
    shcore_.reset(::LoadLibraryExA("shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    lookUp(newer_.getDpiForMonitor, shcore_.get(), "GetDpiForMonitor");
    taskbarCreated_ = ::RegisterWindowMessageA("TaskbarCreated");
    registerClasses();
    postWindow_.reset(::CreateWindowExA(0, kPostClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        instance_, nullptr));
    if (!postWindow_) {
        throw std::runtime_error("cannot create the event loop's message window");
    }
    ::SetWindowLongPtrA(postWindow_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Platform::~Win32Platform() {
    // Work still queued is dropped with the window that would have run it.
    postWindow_.reset();
    posted_.clear();
    for (ATOM atom : classes_) {
        ::UnregisterClassA(MAKEINTATOM(atom), instance_);
    }
}

void Win32Platform::registerClasses() {
    WNDCLASSEXA form{};
    form.cbSize = sizeof(form);
    form.lpfnWndProc = &Win32Window::windowProc;
    form.hInstance = instance_;
    form.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    form.lpszClassName = kFormClass;
    WNDCLASSEXA picture = form;
    picture.lpszClassName = kPictureClass;
    WNDCLASSEXA post = form;
    post.lpfnWndProc = &Win32Platform::postProc;
    post.lpszClassName = kPostClass;
    for (const WNDCLASSEXA* cls : {&form, &picture, &post}) {
        const ATOM atom = ::RegisterClassExA(cls);
        if (atom != 0) {
            classes_.push_back(atom);
        } else if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw std::runtime_error(std::string("cannot register the window class ") +
                                     cls->lpszClassName);
        }
    }
}

std::unique_ptr<core::NativeWindow> Win32Platform::createWindow(const core::WindowSpec& geometry,
                                                                core::WindowInput& input) {
    return std::make_unique<Win32Window>(*this, geometry, input);
}

int Win32Platform::windowDpi(HWND hwnd) const noexcept {
    if (options_.dpi > 0) {
        return options_.dpi;
    }
    if (newer_.getDpiForWindow != nullptr) {
        const UINT dpi = newer_.getDpiForWindow(hwnd);
        return dpi > 0 ? static_cast<int>(dpi) : systemDpi_;
    }
    return monitorDpi(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
}

int Win32Platform::monitorDpi(HMONITOR monitor) const noexcept {
    if (options_.dpi > 0) {
        return options_.dpi;
    }
    UINT x = 0;
    UINT y = 0;
    if (newer_.getDpiForMonitor != nullptr && monitor != nullptr &&
        SUCCEEDED(newer_.getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) && y > 0) {
        return static_cast<int>(y);
    }
    return systemDpi_;
}

SIZE Win32Platform::frameSize(SIZE client, DWORD style, DWORD exStyle, int dpi) const noexcept {
    RECT frame{0, 0, client.cx, client.cy};
    // A DPI the system does not know of (one set in the options) has no frame of its own.
    if (newer_.adjustWindowRectExForDpi != nullptr && options_.dpi == 0) {
        newer_.adjustWindowRectExForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi));
    } else {
        ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    }
    return {frame.right - frame.left, frame.bottom - frame.top};
}

int Win32Platform::systemMetric(int index, int dpi) const noexcept {
    if (newer_.getSystemMetricsForDpi != nullptr && options_.dpi == 0) {
        return newer_.getSystemMetricsForDpi(index, static_cast<UINT>(dpi));
    }
    return ::GetSystemMetrics(index);
}

bool Win32Platform::otherInstanceRunning() {
    if (!instanceMutex_) {
        instanceMutex_.reset(::CreateMutexA(nullptr, FALSE, options_.instanceMutex.c_str()));
        if (!instanceMutex_) {
            throw core::NativeFailure(core::Failed::InstanceGuard,
                                      "cannot open the mutex " + options_.instanceMutex);
        }
        otherInstance_ = ::GetLastError() == ERROR_ALREADY_EXISTS;
    }
    return otherInstance_;
}

std::string Win32Platform::executableName() {
    // Room for the longest path the system has.
    std::string name(32768, '\0');
    const DWORD length =
        ::GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0 || length >= name.size()) {
        throw std::runtime_error("cannot read the program's file name");
    }
    name.resize(length);
    name.erase(0, name.find_last_of("\\/") + 1);  // npos + 1: nothing
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

bool Win32Platform::hasFormWindows() const {
    return !Win32Window::formWindows().empty();
}

void Win32Platform::messageBox(std::string_view title, std::string_view prompt,
                               platform::MsgBoxIcon icon) {
    const std::string text(prompt);
    const std::string caption(title);
    UINT flags = MB_OK | kIconFlags[static_cast<std::size_t>(icon)];
    // Like every modal box of the program, it keeps the user off the program's windows.
    if (hasFormWindows()) {
        flags |= MB_TASKMODAL;
    }
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

void Win32Platform::setPointer(platform::MousePointer pointer) {
    pointer_ = pointer;
    POINT at{};
    ::GetCursorPos(&at);
    const HWND under = ::WindowFromPoint(at);
    if (under != nullptr && Win32Window::of(::GetAncestor(under, GA_ROOT)) != nullptr) {
        const HCURSOR cursor = pointerCursor();
        ::SetCursor(cursor != nullptr ? cursor : ::LoadCursorA(nullptr, IDC_ARROW));
    }
}

HCURSOR Win32Platform::pointerCursor() const noexcept {
    return pointer_ == platform::MousePointer::Hourglass ? ::LoadCursorA(nullptr, IDC_WAIT)
                                                         : nullptr;
}

void Win32Platform::post(std::function<void()> work) {
    posted_.push_back(std::move(work));
    if (!::PostMessageA(postWindow_.get(), kRunPosted, 0, 0)) {
        posted_.pop_back();
        throw std::runtime_error("cannot post to the event loop");
    }
}

void Win32Platform::runPosted() noexcept {
    // One message per post: run the oldest; work posted meanwhile has its own message.
    if (posted_.empty()) {
        return;
    }
    std::function<void()> work = std::move(posted_.front());
    posted_.pop_front();
    try {
        work();
    } catch (...) {
        // The core's posted work reports its own errors; nothing reaches the OS's dispatch.
    }
}

LRESULT CALLBACK Win32Platform::postProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // The window goes before its platform does: whoever it names is alive.
    auto* self = reinterpret_cast<Win32Platform*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == kRunPosted && self != nullptr) {
        self->runPosted();
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Win32Platform::quit() {
    quitting_ = true;
    // Wakes a loop waiting for a message so that it sees the request.
    ::PostMessageA(postWindow_.get(), WM_NULL, 0, 0);
}

void Win32Platform::writeReportLine(std::string_view line) noexcept {
    try {
        if (options_.reportSink) {
            options_.reportSink(line);
            return;
        }
        std::string text(line);
        text += '\n';
        ::OutputDebugStringA(text.c_str());
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    } catch (...) {
        // A report that cannot be written is lost; the program goes on.
    }
}

void Win32Platform::dispatch(MSG& msg) {
    if (msg.hwnd != nullptr) {
        Win32Window* window = Win32Window::of(::GetAncestor(msg.hwnd, GA_ROOT));
        if (window != nullptr && window->hasDialogKeys() &&
            ::IsDialogMessageA(window->hwnd(), &msg)) {
            return;
        }
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
}

bool Win32Platform::pumpOne() {
    if (quitting_) {
        return false;
    }
    MSG msg{};
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        // Told to quit from outside (or no queue left): every loop stops.
        quitting_ = true;
        return false;
    }
    dispatch(msg);
    return !quitting_;
}

void Win32Platform::run() {
    while (pumpOne()) {
    }
}

HBITMAP Win32Platform::picture(platform::PictureId id) {
    // The bitmaps by picture, and their names in messages; the icon is no bitmap.
    constexpr std::pair<int, const char*> kBitmaps[] = {{0, "no picture"},
                                                        {PELMORA_BITMAP_SKIN, "skin"},
                                                        {PELMORA_BITMAP_SCALE, "scale"},
                                                        {0, "icon"}};
    const auto [resource, name] = kBitmaps[static_cast<std::size_t>(id)];
    BitmapHandle& held = pictures_[id];
    if (!held && resource != 0) {
        held.reset(static_cast<HBITMAP>(::LoadImageA(instance_, MAKEINTRESOURCEA(resource),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    }
    if (!held) {
        throw core::NativeFailure(core::Failed::Picture, std::string("cannot load the ") + name);
    }
    return held.get();
}

SIZE Win32Platform::pictureSize(platform::PictureId id, int dpi) {
    if (id == platform::PictureId::Icon) {
        return {toDevice(kIconSize, dpi), toDevice(kIconSize, dpi)};
    }
    BITMAP info{};
    ::GetObjectA(picture(id), sizeof(info), &info);
    return {toDevice(info.bmWidth, dpi), toDevice(std::abs(info.bmHeight), dpi)};
}

HICON Win32Platform::icon(int size) {
    IconHandle& held = icons_[size];
    if (!held) {
        held.reset(static_cast<HICON>(::LoadImageA(instance_, MAKEINTRESOURCEA(PELMORA_ICON_GROUP),
                                                   IMAGE_ICON, size, size, 0)));
        if (!held) {
            throw core::NativeFailure(core::Failed::Picture, "cannot load the program's icon");
        }
    }
    return held.get();
}

HFONT Win32Platform::font(const platform::FontDef& def, int dpi) {
    LOGFONTA logical{};
    if (def.face.empty()) {
        // The default dialog font, at its own size unless one is given; made for the
        // session's DPI.
        ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof(logical), &logical);
        logical.lfHeight = ::MulDiv(logical.lfHeight, dpi, systemDpi_);
    } else {
        const std::size_t length = std::min(def.face.size(), std::size_t{LF_FACESIZE - 1});
        std::copy_n(def.face.data(), length, logical.lfFaceName);
        logical.lfCharSet = def.charset;
        logical.lfWeight = def.weight;
        logical.lfItalic = def.italic ? TRUE : FALSE;
        logical.lfUnderline = def.underline ? TRUE : FALSE;
        logical.lfStrikeOut = def.strikeout ? TRUE : FALSE;
        logical.lfOutPrecision = OUT_DEFAULT_PRECIS;
        logical.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        logical.lfQuality = DEFAULT_QUALITY;
        logical.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    }
    if (def.points > 0.0f) {
        const int hundredths = static_cast<int>(std::lround(def.points * 100.0f));
        logical.lfHeight = -::MulDiv(hundredths, dpi, 7200);
    }
    // Known by every field: the structure starts zeroed and is filled the same way each time.
    FontHandle& held = fonts_[std::string(reinterpret_cast<const char*>(&logical), sizeof logical)];
    if (!held) {
        held.reset(::CreateFontIndirectA(&logical));
        if (!held) {
            throw std::runtime_error(std::string("cannot create the font ") + logical.lfFaceName);
        }
    }
    return held.get();
}

void Win32Platform::hearShellRestarts(HWND hwnd) const noexcept {
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
    if (newer_.changeWindowMessageFilterEx != nullptr && taskbarCreated_ != 0) {
        newer_.changeWindowMessageFilterEx(hwnd, taskbarCreated_, kAllow, nullptr);
    }
}

void Win32Platform::shellRestarted(HWND hwnd) noexcept {
    try {
        if (options_.onShellRestart) {
            options_.onShellRestart(hwnd);
        }
    } catch (...) {
        // The icon stays away until the program adds it again; nothing else is lost.
    }
}

}  // namespace pelmora::win32

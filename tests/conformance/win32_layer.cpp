// The conformance suite on the Windows layer under Wine: the messages the system sends for
// presses, clicks and keys, popups and message boxes answered by a timer while their own loop
// runs, and what shows read back from the windows and the screen.
#include <windows.h>
// windows.h first: oleacc.h needs its types.
#include <oleacc.h>

#include <cctype>
#include <chrono>
#include <memory>

#include "app/identity.h"
#include "layer.h"
#include "platform/win32/win32_resource_ids.h"
#include "platform/win32/win32_window.h"
#include "win32/backend_support.h"

namespace pelmora::conformance {
namespace {

using win32::test::Pixels;

// How long an answer waits for its popup or box to open, and how often it looks.
constexpr auto kOpenWithin = std::chrono::seconds(3);
constexpr UINT kLookEveryMs = 10;

// A pixel read back (0x00RRGGBB) as the layouts write colours, 0x00BBGGRR.
constexpr std::uint32_t layoutColour(std::uint32_t rgb) noexcept {
    return ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
}

// A picture of the program's resources, pixel by pixel (0x00RRGGBB), rows top down.
std::vector<std::uint32_t> resourcePixels(platform::PictureId id, SIZE& size) {
    const int resource =
        id == platform::PictureId::Skin ? PELMORA_BITMAP_SKIN : PELMORA_BITMAP_SCALE;
    win32::BitmapHandle bitmap(
        static_cast<HBITMAP>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resource),
                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP header{};
    ::GetObjectA(bitmap.get(), sizeof header, &header);
    size = {header.bmWidth, header.bmHeight};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size.cx) * size.cy);
    win32::WindowDc screen(nullptr);
    ::GetDIBits(screen.get(), bitmap.get(), 0, static_cast<UINT>(size.cy), pixels.data(), &info,
                DIB_RGB_COLORS);
    for (auto& p : pixels) {
        p &= 0xFFFFFFu;
    }
    return pixels;
}

constexpr GUID kIidAccessible = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

core::AccessibleRole roleOf(LONG role) {
    using core::AccessibleRole;
    switch (role) {
        case ROLE_SYSTEM_WINDOW:
            return AccessibleRole::Window;
        case ROLE_SYSTEM_DIALOG:
            return AccessibleRole::Dialog;
        case ROLE_SYSTEM_STATICTEXT:
            return AccessibleRole::StaticText;
        case ROLE_SYSTEM_PANE:
            return AccessibleRole::Pane;
        case ROLE_SYSTEM_PROGRESSBAR:
            return AccessibleRole::Meter;
        case ROLE_SYSTEM_GRAPHIC:
            return AccessibleRole::Image;
        case ROLE_SYSTEM_PUSHBUTTON:
            return AccessibleRole::PushButton;
        default:
            return AccessibleRole::None;
    }
}

std::string narrow(BSTR text) {
    std::string out;
    for (UINT i = 0; text != nullptr && i < ::SysStringLen(text); ++i) {
        out += static_cast<char>(text[i]);
    }
    ::SysFreeString(text);
    return out;
}

// What an assistive technology reads of an object or one of its simple children.
Told readAccessible(IAccessible& object, LONG child) {
    VARIANT id{};
    id.vt = VT_I4;
    id.lVal = child;
    Told told;
    VARIANT role{};
    if (object.get_accRole(id, &role) == S_OK && role.vt == VT_I4) {
        told.role = roleOf(role.lVal);
    }
    BSTR text = nullptr;
    object.get_accName(id, &text);
    told.name = narrow(text);
    text = nullptr;
    object.get_accDescription(id, &text);
    told.description = narrow(text);
    text = nullptr;
    if (object.get_accValue(id, &text) == S_OK) {
        told.value = std::stod(narrow(text));
    }
    VARIANT state{};
    told.isDefault = object.get_accState(id, &state) == S_OK && state.vt == VT_I4 &&
                     (state.lVal & STATE_SYSTEM_DEFAULT) != 0;
    return told;
}

// Looks every few milliseconds, from whatever loop runs (a menu's, a message box's), for a
// window to open, and acts on it once; gives up after a while.
class Watcher {
  public:
    Watcher() {
        WNDCLASSA cls{};
        cls.lpfnWndProc = &Watcher::proc;
        cls.hInstance = ::GetModuleHandleA(nullptr);
        cls.lpszClassName = "PelmoraConformanceWatcher";
        ::RegisterClassA(&cls);
        window_.reset(::CreateWindowExA(0, cls.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, cls.hInstance, nullptr));
        ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    // find: the window, or null while it is not open yet.
    void watch(std::function<HWND()> find, std::function<void(HWND)> act) {
        find_ = std::move(find);
        act_ = std::move(act);
        until_ = std::chrono::steady_clock::now() + kOpenWithin;
        ::SetTimer(window_.get(), 1, kLookEveryMs, nullptr);
    }

  private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Watcher*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (msg != WM_TIMER || self == nullptr) {
            return ::DefWindowProcA(hwnd, msg, wParam, lParam);
        }
        self->look();
        return 0;
    }
    void look() {
        const HWND found = find_ ? find_() : nullptr;
        if (found == nullptr && std::chrono::steady_clock::now() < until_) {
            return;
        }
        ::KillTimer(window_.get(), 1);
        auto act = std::move(act_);
        find_ = nullptr;
        if (found != nullptr) {
            act(found);
        }
    }

    std::function<HWND()> find_;
    std::function<void(HWND)> act_;
    std::chrono::steady_clock::time_point until_;
    win32::WindowHandle window_;
};

struct ClassSearch {
    const char* className;
    HWND found = nullptr;
};

// A named function, not a lambda: on 32-bit Windows a callback has the system's calling
// convention, which no lambda converts to.
BOOL CALLBACK findVisibleOfClass(HWND hwnd, LPARAM param) {
    auto& s = *reinterpret_cast<ClassSearch*>(param);
    char name[64] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    if (std::string_view(name) == s.className && ::IsWindowVisible(hwnd)) {
        s.found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A window of a class that this process owns, or null.
HWND ownWindow(const char* className) {
    ClassSearch search{className};
    ::EnumThreadWindows(::GetCurrentThreadId(), &findVisibleOfClass,
                        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class Win32Layer final : public Layer {
  public:
    Win32Layer() {
        win32::PlatformOptions options;
        options.instanceMutex =
            "Local\\PelmoraConformance." + std::to_string(::GetCurrentProcessId());
        options.reportSink = [this](std::string_view line) { reports_.emplace_back(line); };
        platform_ = std::make_unique<win32::Win32Platform>(::GetModuleHandleA(nullptr), options);
        namespace identity = app::identity;
        runtime_ = std::make_unique<core::Runtime>(
            *platform_, core::Identity{std::string(identity::kTitle), identity::kMajor,
                                       identity::kMinor, identity::kRevision});
    }

    std::string_view name() const override { return "win32"; }
    core::NativePlatform& native() override { return *platform_; }
    core::Runtime& runtime() override { return *runtime_; }
    void stop() override {
        runtime_.reset();
        platform_.reset();
    }
    std::vector<std::string> reports() const override { return reports_; }

    bool waitFor(const std::function<bool()>& done, int milliseconds) override {
        return win32::test::pumpUntil(*platform_, done, std::chrono::milliseconds(milliseconds));
    }

    bool shown(platform::Hwnd hWnd) override { return ::IsWindowVisible(hwnd(hWnd)) != FALSE; }
    std::optional<Told> told(platform::Hwnd hWnd, std::optional<core::WidgetId> id) override {
        // A window by its window object, a child window by its client area, a painted widget
        // as the simple child of its surface that shows where it is.
        const win32::Widget* painted = id ? &widget(hWnd, *id) : nullptr;
        HWND target = hwnd(hWnd);
        if (painted != nullptr) {
            target = painted->hwnd() != nullptr ? painted->hwnd() : painted->surface();
        }
        IAccessible* object = nullptr;
        if (target == nullptr || FAILED(::AccessibleObjectFromWindow(
                                     target, id ? OBJID_CLIENT : OBJID_WINDOW, kIidAccessible,
                                     reinterpret_cast<void**>(&object)))) {
            return std::nullopt;
        }
        std::optional<Told> read;
        if (painted == nullptr || painted->hwnd() != nullptr) {
            read = readAccessible(*object, CHILDID_SELF);
        } else {
            RECT bounds = painted->bounds();
            ::MapWindowPoints(target, nullptr, reinterpret_cast<POINT*>(&bounds), 2);
            LONG count = 0;
            object->get_accChildCount(&count);
            for (LONG child = 1; child <= count && !read; ++child) {
                VARIANT at{};
                at.vt = VT_I4;
                at.lVal = child;
                LONG left = 0, top = 0, width = 0, height = 0;
                const bool located = object->accLocation(&left, &top, &width, &height, at) == S_OK;
                const RECT shown{left, top, left + width, top + height};
                if (located && ::EqualRect(&shown, &bounds)) {
                    read = readAccessible(*object, child);
                }
            }
        }
        object->Release();
        return read;
    }
    // A label is painted: its text is what assistive technology reads as its name.
    std::string text(platform::Hwnd hWnd, core::WidgetId label) override {
        const std::optional<Told> read = told(hWnd, label);
        if (!read || read->role != core::AccessibleRole::StaticText) {
            throw std::logic_error("widget " + std::to_string(label) + " reads as no label");
        }
        return read->name;
    }
    bool widgetShown(platform::Hwnd hWnd, core::WidgetId id) override {
        return widget(hWnd, id).visible();
    }
    core::PixelPoint position(platform::Hwnd hWnd, core::WidgetId id) override {
        const RECT& bounds = widget(hWnd, id).bounds();
        return {bounds.left, bounds.top};
    }
    Drawing drawing(platform::Hwnd hWnd, core::WidgetId id, platform::PictureId picture) override {
        const HWND box = widget(hWnd, id).hwnd();
        const Pixels shown(box);
        SIZE size{};
        const std::vector<std::uint32_t> background = resourcePixels(picture, size);
        Drawing drawn;
        drawn.width = shown.width();
        drawn.height = shown.height();
        for (int y = 0; y < drawn.height; ++y) {
            for (int x = 0; x < drawn.width; ++x) {
                const std::uint32_t pixel = shown.at(x, y);
                const bool undrawn = x < size.cx && y < size.cy &&
                                     background[static_cast<std::size_t>(y * size.cx + x)] == pixel;
                drawn.pixels.push_back(undrawn ? Drawing::kUndrawn : layoutColour(pixel));
            }
        }
        return drawn;
    }
    core::PixelRect frameOf(platform::Hwnd hWnd) override {
        RECT r{};
        ::GetWindowRect(hwnd(hWnd), &r);
        return {r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
    bool hourglassShown() override {
        return platform_->pointerCursor() == ::LoadCursorA(nullptr, IDC_WAIT);
    }

    void press(platform::Hwnd hWnd, core::PixelPoint at, platform::MouseButton button,
               platform::Modifiers modifiers) override {
        HWND target = hwnd(hWnd);
        POINT local{at.x, at.y};
        // Down to the innermost child window under the point, as the system does.
        for (;;) {
            const HWND child = ::ChildWindowFromPointEx(target, local, CWP_SKIPINVISIBLE);
            if (child == nullptr || child == target) {
                break;
            }
            ::MapWindowPoints(target, child, &local, 1);
            target = child;
        }
        const UINT message = button == platform::MouseButton::Left    ? WM_LBUTTONDOWN
                             : button == platform::MouseButton::Right ? WM_RBUTTONDOWN
                                                                      : WM_MBUTTONDOWN;
        WPARAM keys = 0;
        keys |= modifiers.shift ? MK_SHIFT : 0;
        keys |= modifiers.control ? MK_CONTROL : 0;
        // The press's message carries no Alt: the window asks the keyboard's state for it.
        BYTE state[256] = {};
        ::GetKeyboardState(state);
        const BYTE alt = state[VK_MENU];
        state[VK_MENU] = modifiers.alt ? 0x80 : 0;
        ::SetKeyboardState(state);
        ::SendMessageA(target, message, keys, MAKELPARAM(local.x, local.y));
        state[VK_MENU] = alt;
        ::SetKeyboardState(state);
    }
    void clickButton(platform::Hwnd hWnd, core::WidgetId button) override {
        ::SendMessageA(widget(hWnd, button).hwnd(), BM_CLICK, 0, 0);
    }
    void key(platform::Hwnd hWnd, Key key) override {
        if (key == Key::ContextMenu || key == Key::ShiftF10) {
            // Straight to the window with the focus, Shift held for F10.
            BYTE state[256] = {};
            ::GetKeyboardState(state);
            const BYTE shift = state[VK_SHIFT];
            state[VK_SHIFT] = key == Key::ShiftF10 ? 0x80 : 0;
            ::SetKeyboardState(state);
            if (key == Key::ContextMenu) {
                ::SendMessageA(hwnd(hWnd), WM_KEYDOWN, VK_APPS, 0);
            } else {
                ::SendMessageA(hwnd(hWnd), WM_SYSKEYDOWN, VK_F10, 0);
            }
            state[VK_SHIFT] = shift;
            ::SetKeyboardState(state);
            return;
        }
        const WPARAM sent = key == Key::Enter    ? VK_RETURN
                            : key == Key::Escape ? VK_ESCAPE
                                                 : VK_SPACE;
        const HWND focused = ::GetFocus();
        const HWND to = focused != nullptr && ::IsChild(hwnd(hWnd), focused) ? focused : hwnd(hWnd);
        // Through the queue, where the platform's loop gives forms their dialog keys.
        ::PostMessageA(to, WM_KEYDOWN, sent, 0);
        ::PostMessageA(to, WM_KEYUP, sent, 0xC0000000);
    }
    void close(platform::Hwnd hWnd) override { ::SendMessageA(hwnd(hWnd), WM_CLOSE, 0, 0); }
    void answerNextPopup(PopupAnswer answer) override {
        watcher_.watch(
            [] { return ownWindow("#32768"); },
            [answer = std::move(answer)](HWND popup) {
                const auto menu = reinterpret_cast<HMENU>(::SendMessageA(popup, MN_GETHMENU, 0, 0));
                std::vector<Row> rows;
                for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
                    char text[64] = {};
                    ::GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
                    const UINT state = ::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
                    const bool separator = (state & MF_SEPARATOR) != 0;
                    rows.push_back({separator ? "-" : text, separator,
                                    !separator && (state & MF_CHECKED) != 0,
                                    separator || (state & MF_GRAYED) == 0});
                }
                const std::optional<std::size_t> row = answer(rows);
                if (!row) {
                    ::PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
                    return;
                }
                // The row's access key, as the user types it.
                const std::string& caption = rows.at(*row).caption;
                const std::size_t amp = caption.find('&');
                const char letter = static_cast<char>(
                    std::tolower(static_cast<unsigned char>(caption.at(amp + 1))));
                ::PostMessageA(popup, WM_CHAR, static_cast<WPARAM>(letter), 0);
            });
    }
    void closeNextMessageBox() override {
        watcher_.watch([] { return ownWindow("#32770"); },
                       [this](HWND box) {
                           lastBox_ = read(box);
                           ::PostMessageA(box, WM_COMMAND, IDOK, 0);
                       });
    }
    ShownBox lastMessageBox() override { return lastBox_; }

  private:
    static ShownBox read(HWND box) {
        ShownBox seen;
        seen.seen = true;
        char text[256] = {};
        ::GetWindowTextA(box, text, sizeof text);
        seen.title = text;
        for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            char cls[32] = {};
            ::GetClassNameA(child, cls, sizeof cls);
            if (std::string_view(cls) != "Static") {
                continue;
            }
            if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                const auto icon = reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
                seen.icon =
                    icon == ::LoadIconA(nullptr, IDI_HAND)       ? platform::MsgBoxIcon::Critical
                    : icon == ::LoadIconA(nullptr, IDI_QUESTION) ? platform::MsgBoxIcon::Question
                    : icon == ::LoadIconA(nullptr, IDI_EXCLAMATION)
                        ? platform::MsgBoxIcon::Exclamation
                    : icon == ::LoadIconA(nullptr, IDI_ASTERISK) ? platform::MsgBoxIcon::Information
                                                                 : platform::MsgBoxIcon::None;
            } else {
                char prompt[256] = {};
                ::GetWindowTextA(child, prompt, sizeof prompt);
                if (prompt[0] != '\0') {
                    seen.prompt = prompt;
                }
            }
        }
        return seen;
    }
    static HWND hwnd(platform::Hwnd hWnd) { return reinterpret_cast<HWND>(hWnd); }
    static const win32::Widget& widget(platform::Hwnd hWnd, core::WidgetId id) {
        const win32::Win32Window* window = win32::Win32Window::of(hwnd(hWnd));
        const win32::Widget* found = window != nullptr ? window->widget(id) : nullptr;
        if (found == nullptr) {
            throw std::logic_error("no widget " + std::to_string(id));
        }
        return *found;
    }

    std::vector<std::string> reports_;
    std::unique_ptr<win32::Win32Platform> platform_;
    std::unique_ptr<core::Runtime> runtime_;
    Watcher watcher_;
    ShownBox lastBox_;
};

std::unique_ptr<Layer> make() {
    return std::make_unique<Win32Layer>();
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(win32, Conformance, ::testing::Values(LayerMaker{"win32", &make}),
                         layerName);

}  // namespace pelmora::conformance

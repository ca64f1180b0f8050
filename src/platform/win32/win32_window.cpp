#include "platform/win32/win32_window.h"

#include <windowsx.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/win32/win32_accessible.h"
#include "platform/win32/win32_platform.h"

namespace pelmora::win32 {

namespace {

// Timers are numbered after their widget; a window's timer 0 would be no timer at all.
constexpr UINT_PTR kFirstTimerId = 1;

BOOL CALLBACK collectForm(HWND hwnd, LPARAM found) {
    if (Win32Window::of(hwnd) != nullptr) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
    }
    return TRUE;
}

#ifndef WM_DPICHANGED
constexpr UINT WM_DPICHANGED = 0x02E0;
#endif
#ifndef WM_GETDPISCALEDSIZE
constexpr UINT WM_GETDPISCALEDSIZE = 0x02E4;
#endif

// Collects the work area of each screen, the primary first.
BOOL CALLBACK collectWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
    auto* areas = reinterpret_cast<std::vector<core::PixelRect>*>(param);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (::GetMonitorInfoA(monitor, &info)) {
        const RECT& work = info.rcWork;
        const core::PixelRect area{work.left, work.top, work.right - work.left,
                                   work.bottom - work.top};
        if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0) {
            areas->insert(areas->begin(), area);
        } else {
            areas->push_back(area);
        }
    }
    return TRUE;
}

bool buttonDown(UINT msg) noexcept {
    return msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN;
}

std::runtime_error windowGone(std::string_view form) {
    return std::runtime_error("the window of " + std::string(form) + " is gone");
}

platform::Modifiers heldModifiers() noexcept {
    return {::GetKeyState(VK_SHIFT) < 0, ::GetKeyState(VK_CONTROL) < 0, ::GetKeyState(VK_MENU) < 0};
}

platform::MouseButton buttonOf(UINT msg) noexcept {
    return msg == WM_RBUTTONDOWN   ? platform::MouseButton::Right
           : msg == WM_MBUTTONDOWN ? platform::MouseButton::Middle
                                   : platform::MouseButton::Left;
}

template <typename Kind>
std::unique_ptr<Widget> make(Win32Platform& platform, const core::WidgetSpec& widget) {
    return std::make_unique<Kind>(platform, widget);
}

// What each kind of control is made as, in the order of the kinds; timers are no widget.
using Make = std::unique_ptr<Widget> (*)(Win32Platform&, const core::WidgetSpec&);
constexpr Make kMakers[] = {&make<LabelWidget>, &make<PictureBoxWidget>, &make<LineWidget>,
                            &make<ImageWidget>, &make<ButtonWidget>,     nullptr};

}  // namespace

Win32Window::Win32Window(Win32Platform& platform, const core::WindowSpec& geometry,
                         core::WindowInput& input)
    : platform_(platform),
      plan_(geometry),
      input_(input),
      told_(geometry.accessible),
      client_{geometry.clientWidth, geometry.clientHeight},
      dpi_(platform.systemDpi()) {
    if (plan_.border == platform::FormBorder::FixedDialog) {
        style_ |= WS_CAPTION | WS_SYSMENU;
        exStyle_ |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    }
    if (plan_.inTaskbar) {
        exStyle_ |= WS_EX_APPWINDOW;
    } else if (plan_.border == platform::FormBorder::None) {
        // A dialog gets an owner when shown, which keeps it off the taskbar; this does not.
        exStyle_ |= WS_EX_TOOLWINDOW;
    }
    const SIZE size = outerSize(dpi_);
    backBrush_.reset(::CreateSolidBrush(toColorRef(plan_.backColour)));
    const std::string caption(plan_.caption);
    // WM_NCCREATE hands the handle to hwnd_.
    ::CreateWindowExA(exStyle_, Win32Platform::kFormClass, caption.c_str(), style_, 0, 0, size.cx,
                      size.cy, nullptr, nullptr, platform_.instance(), this);
    if (!hwnd_) {
        throw std::runtime_error("the system made no window");
    }
    platform_.hearShellRestarts(hwnd_.get());
    // The screen it was made on may have a DPI of its own; nothing is built yet.
    const int dpi = platform_.windowDpi(hwnd_.get());
    if (dpi != dpi_) {
        rescale(dpi);
    }
    setIcons();  // should it fail, the window goes with the member that holds it
}

SIZE Win32Window::outerSize(int dpi) const noexcept {
    return platform_.frameSize({toDevice(client_.cx, dpi), toDevice(client_.cy, dpi)}, style_,
                               exStyle_, dpi);
}

void Win32Window::setIcons() {
    if (plan_.icon != platform::PictureId::Icon) {
        return;
    }
    for (const auto& [which, metric] :
         {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
        const HICON icon = platform_.icon(platform_.systemMetric(metric, dpi_));
        ::SendMessageA(hwnd_.get(), WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
    }
}

void Win32Window::rescale(int dpi, std::optional<POINT> topLeft) {
    dpi_ = dpi;
    for (const auto& widget : widgets_) {
        if (widget) {
            widget->applyDpi(dpi_);
        }
    }
    // Moved and sized in one step: sized where it was, a window across two screens could
    // end up mostly on the other one again.
    const SIZE size = outerSize(dpi_);
    const POINT at = topLeft.value_or(POINT{});
    ::SetWindowPos(hwnd_.get(), nullptr, at.x, at.y, size.cx, size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE | (topLeft ? 0 : SWP_NOMOVE));
    ::RedrawWindow(hwnd_.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
}

void Win32Window::dpiChanged(int dpi, const RECT& suggested) {
    // The system suggests where the window goes; the size is the layout's at the new DPI
    // (which is the suggested one where the system asked for it, WM_GETDPISCALEDSIZE).
    const POINT topLeft{suggested.left, suggested.top};
    if (dpi > 0 && dpi != dpi_) {
        rescale(dpi, topLeft);
        try {
            setIcons();
        } catch (...) {
            // The icons of the old size stay.
        }
    } else {
        ::SetWindowPos(hwnd_.get(), nullptr, topLeft.x, topLeft.y, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    input_.screensChanged();
}

Win32Window::~Win32Window() {
    if (!hwnd_) {
        return;
    }
    // Windows it owns belong to forms of their own: the OS would destroy them with this one.
    for (HWND other : formWindows()) {
        if (::GetWindow(other, GW_OWNER) == hwnd_.get()) {
            ::SetWindowLongPtrA(other, GWLP_HWNDPARENT, 0);
        }
    }
    // The handle is null before the window goes: nothing reaches this object meanwhile.
    forgetChildWindows();
    hwnd_.reset();
}

std::vector<HWND> Win32Window::formWindows() {
    std::vector<HWND> found;
    ::EnumThreadWindows(::GetCurrentThreadId(), &collectForm, reinterpret_cast<LPARAM>(&found));
    return found;
}

Win32Window* Win32Window::of(HWND hwnd) noexcept {
    if (hwnd == nullptr ||
        ::GetClassLongPtrA(hwnd, GCLP_WNDPROC) != reinterpret_cast<ULONG_PTR>(&windowProc)) {
        return nullptr;
    }
    auto* window = reinterpret_cast<Win32Window*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    return window != nullptr && window->hwnd_.get() == hwnd ? window : nullptr;
}

void Win32Window::forgetChildWindows() noexcept {
    for (const auto& widget : widgets_) {
        if (widget) {
            widget->forgetWindow();
        }
    }
}

HWND Win32Window::live() const {
    if (!hwnd_) {
        throw windowGone(plan_.name);
    }
    return hwnd_.get();
}

std::uintptr_t Win32Window::iconHandle() const {
    if (plan_.icon != platform::PictureId::Icon) {
        return 0;
    }
    return reinterpret_cast<std::uintptr_t>(
        platform_.icon(platform_.systemMetric(SM_CXICON, dpi_)));
}

std::vector<Widget*>& Win32Window::surfaceOf(std::optional<core::WidgetId> parent) {
    return parent ? widgetAs<PictureBoxWidget>(*parent).shapes : shapes_;
}

// ---- building

void Win32Window::build(std::span<const core::WidgetSpec> widgets) {
    for (const core::WidgetSpec& widget : widgets) {
        if (widgets_.size() <= widget.id) {
            widgets_.resize(widget.id + 1);
        }
        if (const Make made = kMakers[static_cast<std::size_t>(widget.kind)]) {
            widgets_[widget.id] = made(platform_, widget);
            widgets_[widget.id]->applyDpi(dpi_);
        }
        dialogKeys_ = dialogKeys_ || widget.kind == platform::ControlKind::CommandButton;
    }
    for (const core::WidgetSpec& widget : widgets) {
        Widget* made = widgets_[widget.id].get();
        if (made != nullptr && made->painted()) {
            surfaceOf(widget.parent).push_back(made);
            made->attach(widget.parent ? nullptr : hwnd_.get());
        }
    }
    createChildren(widgets, std::nullopt, hwnd_.get());
}

void Win32Window::createChildren(std::span<const core::WidgetSpec> widgets,
                                 std::optional<core::WidgetId> parent, HWND parentHwnd) {
    std::vector<HWND> frontToBack;
    for (const core::WidgetSpec& widget : widgets) {
        Widget* made = widgets_[widget.id].get();
        if (widget.parent != parent || made == nullptr || made->painted()) {
            continue;
        }
        made->create(parentHwnd, this);
        frontToBack.push_back(made->hwnd());
        createChildren(widgets, widget.id, made->hwnd());
    }
    // Each goes below the ones before it: the first listed ends up in front.
    for (HWND child : frontToBack) {
        ::SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

// ---- the window

void Win32Window::setCaption(std::string_view text) {
    const std::string caption(text);
    if (hwnd_) {
        ::SetWindowTextA(hwnd_.get(), caption.c_str());
    }
}

void Win32Window::show(std::optional<platform::WindowState> state) {
    const HWND self = live();
    ::ShowWindow(self, state == platform::WindowState::Minimized   ? SW_SHOWMINIMIZED
                       : state == platform::WindowState::Maximized ? SW_SHOWMAXIMIZED
                                                                   : SW_SHOW);
    ::UpdateWindow(self);
}

void Win32Window::hide() {
    if (hwnd_) {
        ::ShowWindow(hwnd_.get(), SW_HIDE);
    }
}

void Win32Window::setOwner(const core::NativeWindow* owner) {
    const auto* over = dynamic_cast<const Win32Window*>(owner);
    const HWND ownerHwnd = over != nullptr && over != this ? over->hwnd() : nullptr;
    ::SetWindowLongPtrA(live(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(ownerHwnd));
}

void Win32Window::setEnabled(bool enabled) {
    if (hwnd_) {
        ::EnableWindow(hwnd_.get(), enabled ? TRUE : FALSE);
    }
}

core::PixelRect Win32Window::frame() const {
    RECT window{};
    if (!hwnd_ || !::GetWindowRect(hwnd_.get(), &window)) {
        throw windowGone(plan_.name);
    }
    return {window.left, window.top, window.right - window.left, window.bottom - window.top};
}

void Win32Window::moveTo(core::PixelPoint topLeft) {
    live();
    // Laid out at the DPI of the screen it goes to before it goes there.
    const SIZE size = outerSize(dpi_);
    const RECT there{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy};
    const int dpi = platform_.monitorDpi(::MonitorFromRect(&there, MONITOR_DEFAULTTONEAREST));
    if (dpi != dpi_) {
        rescale(dpi);
    }
    ::SetWindowPos(hwnd_.get(), nullptr, topLeft.x, topLeft.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::closePopup() {
    // A popup tracked for this window ends as the system cancels its modes.
    if (hwnd_) {
        ::SendMessageA(hwnd_.get(), WM_CANCELMODE, 0, 0);
    }
}

void Win32Window::runModalLoop() {
    live();
    modalEnded_ = false;
    while (!modalEnded_ && platform_.pumpOne()) {
    }
}

void Win32Window::endModalLoop() {
    modalEnded_ = true;
    if (hwnd_) {
        ::PostMessageA(hwnd_.get(), WM_NULL, 0, 0);
    }
}

platform::WindowState Win32Window::state() const {
    using platform::WindowState;
    return hwnd_ && ::IsIconic(hwnd_.get())   ? WindowState::Minimized
           : hwnd_ && ::IsZoomed(hwnd_.get()) ? WindowState::Maximized
                                              : WindowState::Normal;
}

void Win32Window::setState(platform::WindowState state) {
    const HWND self = live();
    if (state != platform::WindowState::Normal) {
        ::ShowWindow(self, state == platform::WindowState::Minimized ? SW_MINIMIZE : SW_MAXIMIZE);
    } else if (::IsIconic(self) || ::IsZoomed(self)) {
        ::ShowWindow(self, SW_RESTORE);
    }
}

void Win32Window::bringToFront() {
    ::SetForegroundWindow(live());
    ::SetActiveWindow(hwnd_.get());
}

void Win32Window::focusWidget(std::optional<core::WidgetId> widget) {
    const HWND child = widget ? widgetAs<Widget>(*widget).hwnd() : nullptr;
    const HWND target = child != nullptr ? child : hwnd_.get();
    focusTarget_ = target;
    lastFocus_ = nullptr;
    ::SetFocus(target);
}

void Win32Window::focusAgain() noexcept {
    // The widget that had the focus when the window was left, else the core's choice.
    if (lastFocus_ != nullptr && ::IsWindow(lastFocus_) && ::IsWindowEnabled(lastFocus_)) {
        ::SetFocus(lastFocus_);
    } else if (focusTarget_ != nullptr && ::IsWindow(focusTarget_)) {
        ::SetFocus(focusTarget_);
    }
}

// ---- widgets

void Win32Window::setAccessible(std::optional<core::WidgetId> id, const core::Accessible& now) {
    if (!id) {
        announceAccessible(hwnd_.get(), CHILDID_SELF, std::exchange(told_, now), now);
        return;
    }
    Widget& widget = widgetAs<Widget>(*id);
    const core::Accessible before = std::exchange(widget.told, now);
    if (widget.hwnd() != nullptr) {
        announceAccessible(widget.hwnd(), CHILDID_SELF, before, now);
    } else if (widget.surface() != nullptr) {
        // A painted widget is a simple child of the surface it is painted on.
        announceAccessible(widget.surface(),
                           accessibleChild(surfaceOf(widget.plan().parent), widget), before, now);
    }
}

void Win32Window::startTimer(core::WidgetId timer, int intervalMs) {
    if (::SetTimer(live(), kFirstTimerId + timer, static_cast<UINT>(std::max(intervalMs, 1)),
                   nullptr) == 0) {
        throw std::runtime_error("no timer for " + std::string(plan_.name));
    }
}

void Win32Window::stopTimer(core::WidgetId timer) {
    if (hwnd_) {
        ::KillTimer(hwnd_.get(), kFirstTimerId + timer);
    }
}

// ---- input

void Win32Window::pressed(const std::vector<Widget*>& surface, std::optional<core::WidgetId> owner,
                          UINT msg, WPARAM keys, POINT at) noexcept {
    const platform::Modifiers modifiers{(keys & MK_SHIFT) != 0, (keys & MK_CONTROL) != 0,
                                        ::GetKeyState(VK_MENU) < 0};
    std::optional<core::WidgetId> control = owner;
    if (const Widget* shape = hitTest(surface, at)) {
        control = shape->id();
        at.x -= shape->bounds().left;
        at.y -= shape->bounds().top;
    }
    input_.mousePressed(control, buttonOf(msg), modifiers,
                        {fromDevice(at.x, dpi_), fromDevice(at.y, dpi_)});
}

void Win32Window::command(WORD id, WORD code) noexcept {
    const Widget* button = widget(static_cast<core::WidgetId>(id - kFirstChildId));
    if (id == IDOK || id == IDCANCEL) {
        // Enter and Escape, from the dialog keys: the core chooses the button.
        input_.keyPressed(id == IDOK ? core::Key::Enter : core::Key::Escape, heldModifiers());
    } else if (button != nullptr && button->plan().kind == platform::ControlKind::CommandButton &&
               (code == BN_CLICKED || code == 1)) {
        input_.buttonClicked(button->id());
    }
}

void Win32Window::paint(HWND self, const PictureBoxWidget* box) {
    PaintScope scope(self);
    RECT client{};
    ::GetClientRect(self, &client);
    Canvas buffer(scope.dc(), client.right, client.bottom);
    const HDC dc = buffer ? buffer.dc() : scope.dc();
    if (box != nullptr) {
        box->paintArea(dc, client);
    } else {
        ::FillRect(dc, &client, backBrush_.get());
        if (plan_.picture != platform::PictureId::None) {
            const SIZE size = platform_.pictureSize(plan_.picture, dpi_);
            drawPicture(platform_, dc, plan_.picture, RECT{0, 0, size.cx, size.cy});
        }
        paintShapes(dc, shapes_);
    }
    if (buffer) {
        ::BitBlt(scope.dc(), 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    }
}

// The messages of a form and of its picture boxes alike; the ones only a top-level window
// gets reach the form alone.
LRESULT Win32Window::handle(PictureBoxWidget* box, HWND self, UINT msg, WPARAM wParam,
                            LPARAM lParam) {
    if (box == nullptr && msg == platform_.taskbarCreatedMessage() && msg != 0) {
        platform_.shellRestarted(self);
        return 0;
    }
    const bool form = box == nullptr;
    switch (msg) {
        case WM_PAINT:
            paint(self, box);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            pressed(form ? shapes_ : box->shapes, form ? std::nullopt : std::optional(box->id()),
                    msg, wParam, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_SETCURSOR:
            // A press on a disabled window reaches it only as this question.
            if (LOWORD(lParam) == static_cast<WORD>(HTERROR) && buttonDown(HIWORD(lParam)) &&
                !::IsWindowEnabled(self)) {
                input_.blockedPress();
                break;
            }
            if (const HCURSOR cursor = platform_.pointerCursor()) {
                ::SetCursor(cursor);
                return TRUE;
            }
            break;
        case WM_COMMAND:
            // Buttons inside a box belong to the form as well.
            command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_GETOBJECT:
            if (const LRESULT answer = answerAccessible(
                    self, wParam, lParam, form ? told_ : box->told, form ? shapes_ : box->shapes)) {
                return answer;
            }
            break;
        case WM_NCCALCSIZE:
            if (!form) {
                // The client area is what the frame leaves: the drawing area. With wParam set
                // the first rectangle of the parameters is the one to shrink.
                auto& client = *reinterpret_cast<RECT*>(lParam);
                const RECT& frame = box->frameInsets();
                client.left += frame.left;
                client.top += frame.top;
                client.right = std::max(client.left, client.right - frame.right);
                client.bottom = std::max(client.top, client.bottom - frame.bottom);
                return 0;
            }
            break;
        case WM_NCPAINT:
            if (!form) {
                box->paintFrame();
                return 0;
            }
            break;
        case WM_TIMER:
            if (wParam >= kFirstTimerId) {
                input_.timerTicked(static_cast<core::WidgetId>(wParam - kFirstTimerId));
            }
            return 0;
        case DM_GETDEFID:
            for (const auto& widget : widgets_) {
                if (widget && widget->plan().kind == platform::ControlKind::CommandButton &&
                    widget->plan().isDefault) {
                    return MAKELRESULT(kFirstChildId + widget->id(), DC_HASDEFID);
                }
            }
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focused = ::GetFocus();
                if (focused != nullptr && ::IsChild(self, focused)) {
                    lastFocus_ = focused;
                }
                return 0;
            }
            if (hasDialogKeys() && HIWORD(wParam) == 0) {
                focusAgain();
            } else {
                ::DefWindowProcA(self, msg, wParam, lParam);
            }
            input_.activated();
            return 0;
        case WM_SETFOCUS:
            if (form && hasDialogKeys()) {
                focusAgain();
                return 0;
            }
            break;
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
            if (form) {
                return reinterpret_cast<LRESULT>(backBrush_.get());
            }
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            // The keys the core decides on; F10 alone would open the (absent) menu bar.
            if (form && (wParam == VK_APPS || wParam == VK_F10)) {
                input_.keyPressed(wParam == VK_APPS ? core::Key::ContextMenu : core::Key::F10,
                                  heldModifiers());
                return 0;
            }
            break;
        case WM_DPICHANGED:
            dpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_GETDPISCALEDSIZE:
            *reinterpret_cast<SIZE*>(lParam) = outerSize(static_cast<int>(wParam));
            return TRUE;
        case WM_DISPLAYCHANGE:
        case WM_SETTINGCHANGE:
            if (msg == WM_DISPLAYCHANGE || wParam == SPI_SETWORKAREA) {
                input_.screensChanged();
            }
            break;
        case WM_CLOSE:
            input_.closeRequested();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // The session ends: the form unloads as if closed, so that its handlers run.
            if (wParam != 0) {
                input_.closeRequested();
            }
            return 0;
        case WM_NCDESTROY:
            if (!form) {
                box->forgetWindow();
                break;
            }
            // Destroyed under us (with an owner): its children went with it.
            forgetChildWindows();
            hwnd_.release();
            break;
        default:
            break;
    }
    return ::DefWindowProcA(self, msg, wParam, lParam);
}

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        auto* window = static_cast<Win32Window*>(create->lpCreateParams);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
        if (!window->hwnd_) {
            window->hwnd_.reset(hwnd);  // the form's own; a box's comes after it
        }
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    auto* window = reinterpret_cast<Win32Window*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    PictureBoxWidget* box = nullptr;
    if (window != nullptr && window->hwnd_ && window->hwnd_.get() != hwnd) {
        Widget* widget =
            window->widget(static_cast<core::WidgetId>(::GetDlgCtrlID(hwnd) - kFirstChildId));
        box = widget != nullptr && widget->hwnd() == hwnd ? dynamic_cast<PictureBoxWidget*>(widget)
                                                          : nullptr;
    }
    // Nothing reaches a window that goes, nor a box before it holds its handle (the messages
    // of its creation).
    if (window == nullptr || !window->hwnd_ || (box == nullptr && window->hwnd_.get() != hwnd)) {
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    try {
        return window->handle(box, hwnd, msg, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the OS's dispatch; a failed paint leaves the old pixels.
        if (msg == WM_PAINT) {
            ::ValidateRect(hwnd, nullptr);
        }
        return 0;
    }
}

// ---- the screens

std::vector<core::PixelRect> Win32Platform::workAreas() {
    std::vector<core::PixelRect> areas;
    ::EnumDisplayMonitors(nullptr, nullptr, &collectWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

core::PixelPoint Win32Platform::pointerPosition() {
    POINT at{};
    ::GetCursorPos(&at);
    return {at.x, at.y};
}

}  // namespace pelmora::win32

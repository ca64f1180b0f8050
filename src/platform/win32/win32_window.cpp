#include "platform/win32/win32_window.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/errors.h"
#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_menu.h"

namespace pelmora::win32 {

using platform::ControlKind;
using platform::Error;

namespace {

constexpr int kFirstButtonId = 1000;
// Above IDOK and IDCANCEL, which the dialog keys send.
constexpr UINT kFirstMenuId = 100;

bool isMenu(const platform::MenuDef& def, std::span<const platform::MenuDef> all) noexcept {
    if (def.parent.empty()) {
        return true;
    }
    return std::any_of(all.begin(), all.end(),
                       [&](const platform::MenuDef& other) { return other.parent == def.name; });
}

Error missingControl(std::string_view name, std::int16_t index, bool arrayExists) {
    if (arrayExists && index != platform::kNoIndex) {
        return {platform::errnum::ControlArrayElementMissing,
                "Control array element '" + std::to_string(index) + "' of '" + std::string(name) +
                    "' doesn't exist"};
    }
    return {platform::errnum::ControlNotFound, "Control '" + std::string(name) + "' not found"};
}

}  // namespace

void Shape::invalidate() const noexcept {
    if (surface_ != nullptr) {
        ::InvalidateRect(surface_, &bounds_, FALSE);
    }
}

void Shape::setBounds(const RECT& bounds) noexcept {
    invalidate();
    bounds_ = bounds;
    invalidate();
}

void Surface::paintShapes(HDC dc) const {
    for (auto it = shapes.rbegin(); it != shapes.rend(); ++it) {
        if ((*it)->def().visible) {
            (*it)->paint(dc);
        }
    }
}

const Shape* Surface::hitTest(POINT point) const noexcept {
    for (const Shape* shape : shapes) {
        if (shape->takesMouse() && ::PtInRect(&shape->bounds(), point)) {
            return shape;
        }
    }
    return nullptr;
}

Win32Form::Win32Form(Win32Runtime& runtime, const platform::FormLayout& layout,
                     platform::FormEvents& events, HWND owner)
    : runtime_(runtime), layout_(layout), events_(events), owner_(owner) {}

Win32Form::~Win32Form() {
    destroy();
}

RECT Win32Form::pixelRect(const platform::ControlDef& def) const noexcept {
    const int left = runtime_.toPixels(def.left);
    const int top = runtime_.toPixels(def.top);
    return {left, top, left + runtime_.toPixels(def.width), top + runtime_.toPixels(def.height)};
}

Surface& Win32Form::surfaceFor(std::string_view parent) {
    if (parent.empty()) {
        return surface_;
    }
    for (auto& picture : pictures_) {
        if (sameName(picture->def().name, parent)) {
            return picture->surface();
        }
    }
    throw Error(platform::errnum::ControlNotFound,
                "Container '" + std::string(parent) + "' not found on " + std::string(name()));
}

void Win32Form::buildControls() {
    // Containers first, so that their children can find them wherever they are listed.
    for (const auto& def : layout_.controls) {
        if (def.kind == ControlKind::PictureBox) {
            pictures_.push_back(std::make_unique<Win32PictureBox>(*this, def, pixelRect(def)));
        }
    }
    for (const auto& def : layout_.controls) {
        switch (def.kind) {
            case ControlKind::Label: {
                Surface& surface = surfaceFor(def.parent);
                auto label = std::make_unique<Win32Label>(*this, def, pixelRect(def));
                labels_.push_back(label.get());
                surface.shapes.push_back(label.get());
                shapes_.push_back(std::move(label));
                break;
            }
            case ControlKind::Line: {
                Surface& surface = surfaceFor(def.parent);
                const POINT from{runtime_.toPixels(def.left), runtime_.toPixels(def.top)};
                const POINT to{runtime_.toPixels(def.width), runtime_.toPixels(def.height)};
                const int width = std::max(1, ::MulDiv(def.borderWidth, runtime_.dpi(), 96));
                const RECT bounds{std::min(from.x, to.x), std::min(from.y, to.y),
                                  std::max(from.x, to.x) + width, std::max(from.y, to.y) + width};
                auto line = std::make_unique<LineShape>(*this, def, bounds, from, to, width);
                surface.shapes.push_back(line.get());
                shapes_.push_back(std::move(line));
                break;
            }
            case ControlKind::Image: {
                Surface& surface = surfaceFor(def.parent);
                RECT bounds = pixelRect(def);
                if (!def.stretch && def.picture != platform::PictureId::None) {
                    const SIZE size = runtime_.pictureSize(def.picture);
                    bounds.right = bounds.left + ::MulDiv(size.cx, runtime_.dpi(), 96);
                    bounds.bottom = bounds.top + ::MulDiv(size.cy, runtime_.dpi(), 96);
                }
                auto image = std::make_unique<ImageShape>(*this, def, bounds);
                surface.shapes.push_back(image.get());
                shapes_.push_back(std::move(image));
                break;
            }
            case ControlKind::CommandButton:
                surfaceFor(def.parent);  // the container must exist
                buttons_.push_back(std::make_unique<CommandButton>(
                    *this, def, pixelRect(def),
                    kFirstButtonId + static_cast<int>(buttons_.size())));
                break;
            case ControlKind::Timer:
                timers_.push_back(std::make_unique<Win32Timer>(*this, def, timers_.size() + 1));
                break;
            case ControlKind::PictureBox:
                surfaceFor(def.parent);
                break;
        }
    }
}

void Win32Form::createChildWindows(std::string_view parent, HWND parentHwnd) {
    std::vector<HWND> frontToBack;
    for (const auto& def : layout_.controls) {
        if (!sameName(def.parent, parent)) {
            continue;
        }
        for (auto& picture : pictures_) {
            if (&picture->def() == &def) {
                picture->createWindow(parentHwnd);
                frontToBack.push_back(picture->hwnd());
                createChildWindows(def.name, picture->hwnd());
            }
        }
        for (auto& button : buttons_) {
            if (&button->def() == &def) {
                button->createWindow(parentHwnd);
                frontToBack.push_back(button->hwnd());
            }
        }
    }
    // Each goes below the ones before it: the first listed ends up in front.
    for (HWND child : frontToBack) {
        ::SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void Win32Form::buildMenus() {
    const auto all = layout_.menus;
    for (const auto& def : all) {
        if (isMenu(def, all)) {
            menus_.push_back(std::make_unique<Win32Menu>(def));
        }
    }
    for (const auto& def : all) {
        if (def.parent.empty()) {
            continue;
        }
        auto parent = std::find_if(menus_.begin(), menus_.end(), [&](const auto& m) {
            return sameName(m->def().name, def.parent);
        });
        if (parent == menus_.end()) {
            throw Error(platform::errnum::ControlNotFound,
                        "Menu '" + std::string(def.parent) + "' not found");
        }
        if (isMenu(def, all)) {
            // A submenu: shown inside its parent, which destroys it.
            auto sub = std::find_if(menus_.begin(), menus_.end(),
                                    [&](const auto& m) { return &m->def() == &def; });
            const std::string caption(def.caption);
            if (def.visible &&
                ::AppendMenuA((*parent)->handle(), MF_POPUP,
                              reinterpret_cast<UINT_PTR>((*sub)->handle()), caption.c_str())) {
                (*sub)->handOver();
            }
            continue;
        }
        const UINT id = kFirstMenuId + static_cast<UINT>(items_.size());
        items_.push_back(std::make_unique<Win32MenuItem>(def, id, (*parent)->handle()));
    }
}

void Win32Form::create() {
    const platform::FormDef& form = layout_.form;
    DWORD style = WS_POPUP | WS_CLIPCHILDREN;
    DWORD exStyle = 0;
    if (form.border == platform::FormBorder::FixedDialog) {
        style |= WS_CAPTION | WS_SYSMENU;
        exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    }
    if (form.showInTaskbar) {
        exStyle |= WS_EX_APPWINDOW;
    } else if (owner_ == nullptr) {
        // An owned window has no taskbar button anyway; an unowned one needs this.
        exStyle |= WS_EX_TOOLWINDOW;
    }
    RECT frame{0, 0, runtime_.toPixels(form.clientWidth), runtime_.toPixels(form.clientHeight)};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    caption_ = std::string(form.caption);
    backBrush_.reset(::CreateSolidBrush(toColorRef(form.backColour)));

    buildControls();
    buildMenus();

    const HWND hwnd = ::CreateWindowExA(exStyle, kFormClass, caption_.c_str(), style, 0, 0,
                                        frame.right - frame.left, frame.bottom - frame.top, owner_,
                                        nullptr, runtime_.instance(), this);
    if (hwnd == nullptr) {
        throw Error(errnum::CannotCreateWindow,
                    "Cannot create the window of " + std::string(name()));
    }
    surface_.hwnd = hwnd;
    for (Shape* shape : surface_.shapes) {
        shape->attach(hwnd);
    }
    if (form.icon == platform::PictureId::Icon) {
        ::SendMessageA(hwnd, WM_SETICON, ICON_BIG,
                       reinterpret_cast<LPARAM>(runtime_.icon(::GetSystemMetrics(SM_CXICON))));
        ::SendMessageA(hwnd, WM_SETICON, ICON_SMALL,
                       reinterpret_cast<LPARAM>(runtime_.icon(::GetSystemMetrics(SM_CXSMICON))));
    }
    createChildWindows({}, hwnd);
    loaded_ = true;
    for (auto& timer : timers_) {
        timer->apply();
    }
}

void Win32Form::destroy() noexcept {
    loaded_ = false;
    modal_ = false;
    for (auto& timer : timers_) {
        timer->stop();
    }
    // The windows a modal show disabled come back before this one goes, so that
    // the OS hands the activation to the owner and not to another program.
    for (HWND disabled : disabledByModal_) {
        if (::IsWindow(disabled)) {
            ::EnableWindow(disabled, TRUE);
        }
    }
    disabledByModal_.clear();
    hwnd_.reset();
    surface_.hwnd = nullptr;
}

void Win32Form::requireLoaded() const {
    if (!loaded_ || !hwnd_) {
        throw Error(errnum::ObjectUnloaded, "Object was unloaded");
    }
}

platform::Hwnd Win32Form::hWnd() const {
    requireLoaded();
    return reinterpret_cast<platform::Hwnd>(hwnd_.get());
}

std::uintptr_t Win32Form::iconHandle() const {
    requireLoaded();
    return reinterpret_cast<std::uintptr_t>(runtime_.icon(::GetSystemMetrics(SM_CXICON)));
}

std::int16_t Win32Form::windowState() const {
    requireLoaded();
    if (::IsIconic(hwnd())) {
        return platform::winstate::Minimized;
    }
    if (::IsZoomed(hwnd())) {
        return platform::winstate::Maximized;
    }
    return platform::winstate::Normal;
}

void Win32Form::setWindowState(std::int16_t state) {
    requireLoaded();
    switch (state) {
        case platform::winstate::Normal:
            if (::IsIconic(hwnd()) || ::IsZoomed(hwnd())) {
                ::ShowWindow(hwnd(), SW_RESTORE);
            }
            return;
        case platform::winstate::Minimized:
            ::ShowWindow(hwnd(), SW_MINIMIZE);
            return;
        case platform::winstate::Maximized:
            ::ShowWindow(hwnd(), SW_MAXIMIZE);
            return;
        default:
            throw Error(errnum::InvalidPropertyValue, "Invalid property value");
    }
}

void Win32Form::setFocus() {
    requireLoaded();
    ::SetForegroundWindow(hwnd());
    ::SetActiveWindow(hwnd());
    if (hasDialogKeys()) {
        focusFirstControl();
    } else {
        ::SetFocus(hwnd());
    }
}

void Win32Form::popupMenu(platform::Menu& menu) {
    requireLoaded();
    const auto it = std::find_if(menus_.begin(), menus_.end(),
                                 [&](const auto& held) { return held.get() == &menu; });
    if (it == menus_.end()) {
        throw Error(platform::errnum::ObjectRequired, "Object required");
    }
    const UINT chosen = trackPopupMenu(hwnd(), (*it)->handle());
    if (chosen != 0) {
        clickMenuItem(chosen);
    }
}

std::string Win32Form::caption() const {
    return caption_;
}

void Win32Form::setCaption(std::string_view text) {
    caption_ = std::string(text);
    if (hwnd_) {
        ::SetWindowTextA(hwnd(), caption_.c_str());
    }
}

void Win32Form::placeAtFirstShow() {
    if (placed_) {
        return;
    }
    placed_ = true;
    RECT window{};
    ::GetWindowRect(hwnd(), &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = 0;
    int y = 0;
    switch (layout_.form.startUp) {
        case platform::StartUpPosition::Manual:
            return;
        case platform::StartUpPosition::CenterScreen:
            x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
            y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
            break;
        case platform::StartUpPosition::CenterOwner: {
            RECT over{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
            if (owner_ != nullptr && ::IsWindow(owner_)) {
                ::GetWindowRect(owner_, &over);
            }
            x = over.left + (over.right - over.left - width) / 2;
            y = over.top + (over.bottom - over.top - height) / 2;
            // Over a window near the screen's edge it stays on the screen.
            MONITORINFO monitor{};
            monitor.cbSize = sizeof(monitor);
            const HMONITOR where = ::MonitorFromRect(&over, MONITOR_DEFAULTTOPRIMARY);
            if (::GetMonitorInfoA(where, &monitor)) {
                const RECT& work = monitor.rcWork;
                x = std::max<int>(work.left, std::min<int>(x, work.right - width));
                y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
            }
            break;
        }
    }
    ::SetWindowPos(hwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form::show(std::int16_t modal) {
    requireLoaded();
    if (modal != 0 && modal != 1) {
        throw Error(platform::errnum::InvalidProcedureCall, "Invalid procedure call or argument");
    }
    if (modal == 1 && (modal_ || ::IsWindowVisible(hwnd()))) {
        throw Error(errnum::AlreadyShownModally, "Form already displayed; can't show modally");
    }
    const bool first = !placed_;
    placeAtFirstShow();
    int how = SW_SHOW;
    if (first && layout_.form.windowState == platform::winstate::Minimized) {
        how = SW_SHOWMINIMIZED;
    } else if (first && layout_.form.windowState == platform::winstate::Maximized) {
        how = SW_SHOWMAXIMIZED;
    }
    if (modal == 0) {
        ::ShowWindow(hwnd(), how);
        ::UpdateWindow(hwnd());
        return;
    }
    for (const auto& other : runtime_.forms()) {
        const HWND window = other->hwnd();
        if (other.get() != this && window != nullptr && ::IsWindowEnabled(window)) {
            ::EnableWindow(window, FALSE);
            disabledByModal_.push_back(window);
        }
    }
    modal_ = true;
    ::ShowWindow(hwnd(), how);
    ::SetForegroundWindow(hwnd());
    ::UpdateWindow(hwnd());
    runtime_.pumpUntil([this] { return !loaded_; });
    if (loaded_) {
        // The loop ended without an unload: the program is ending.
        modal_ = false;
        for (HWND disabled : disabledByModal_) {
            if (::IsWindow(disabled)) {
                ::EnableWindow(disabled, TRUE);
            }
        }
        disabledByModal_.clear();
    }
}

platform::Label& Win32Form::label(std::string_view name, std::int16_t index) {
    bool arrayExists = false;
    for (Win32Label* label : labels_) {
        if (sameName(label->def().name, name)) {
            if (label->def().index == index) {
                return *label;
            }
            arrayExists = true;
        }
    }
    throw missingControl(name, index, arrayExists);
}

platform::PictureBox& Win32Form::pictureBox(std::string_view name) {
    for (auto& picture : pictures_) {
        if (sameName(picture->def().name, name)) {
            return *picture;
        }
    }
    throw missingControl(name, platform::kNoIndex, false);
}

platform::Timer& Win32Form::timer(std::string_view name) {
    for (auto& timer : timers_) {
        if (sameName(timer->def().name, name)) {
            return *timer;
        }
    }
    throw missingControl(name, platform::kNoIndex, false);
}

platform::Menu& Win32Form::menu(std::string_view name) {
    for (auto& menu : menus_) {
        if (sameName(menu->def().name, name)) {
            return *menu;
        }
    }
    throw missingControl(name, platform::kNoIndex, false);
}

platform::MenuItem& Win32Form::menuItem(std::string_view name, std::int16_t index) {
    bool arrayExists = false;
    for (auto& item : items_) {
        if (sameName(item->def().name, name)) {
            if (item->def().index == index) {
                return *item;
            }
            arrayExists = true;
        }
    }
    throw missingControl(name, index, arrayExists);
}

float Win32Form::toUnit(int pixels) const noexcept {
    if (layout_.form.unit == platform::ScaleUnit::Pixels) {
        return static_cast<float>(pixels);
    }
    return static_cast<float>(pixels) * 1440.0f / static_cast<float>(runtime_.dpi());
}

int Win32Form::fromUnit(float value) const {
    double pixels = value;
    if (layout_.form.unit == platform::ScaleUnit::Twips) {
        pixels = pixels * runtime_.dpi() / 1440.0;
    }
    if (!std::isfinite(pixels) || std::fabs(pixels) > 1'000'000.0) {
        throw Error::overflow();
    }
    return static_cast<int>(std::lround(pixels));
}

void Win32Form::mouseDown(const Surface& surface, std::string_view control, UINT message,
                          WPARAM keys, POINT at) {
    std::int16_t button = platform::button::Left;
    if (message == WM_RBUTTONDOWN) {
        button = platform::button::Right;
    } else if (message == WM_MBUTTONDOWN) {
        button = platform::button::Middle;
    }
    std::int16_t shift = 0;
    shift |= (keys & MK_SHIFT) != 0 ? 1 : 0;
    shift |= (keys & MK_CONTROL) != 0 ? 2 : 0;
    shift |= ::GetKeyState(VK_MENU) < 0 ? 4 : 0;

    std::string_view target = control;
    std::int16_t index = platform::kNoIndex;
    POINT local = at;
    if (const Shape* shape = surface.hitTest(at)) {
        target = shape->def().name;
        index = shape->def().index;
        local.x -= shape->bounds().left;
        local.y -= shape->bounds().top;
    }
    const std::string event = std::string(target.empty() ? "Form" : target) + "_MouseDown";
    const float x = toUnit(local.x);
    const float y = toUnit(local.y);
    raise(event, [&] { events_.onMouseDown(target, index, button, shift, x, y); });
}

void Win32Form::clickMenuItem(UINT id) {
    for (auto& item : items_) {
        if (item->id() == id) {
            if (item->isSeparator()) {
                return;
            }
            const auto& def = item->def();
            raise(std::string(def.name) + "_Click", [&] { events_.onClick(def.name, def.index); });
            return;
        }
    }
}

void Win32Form::timerTick(UINT_PTR id) {
    for (auto& timer : timers_) {
        if (timer->id() == id) {
            timer->tick();
            return;
        }
    }
}

CommandButton* Win32Form::buttonById(int id) noexcept {
    for (auto& button : buttons_) {
        if (button->id() == id) {
            return button.get();
        }
    }
    return nullptr;
}

void Win32Form::command(WORD id, WORD code) {
    CommandButton* button = buttonById(id);
    if (button == nullptr && (id == IDOK || id == IDCANCEL)) {
        // Enter and Escape, from the dialog keys.
        for (auto& candidate : buttons_) {
            const bool wanted = id == IDOK ? candidate->def().isDefault : candidate->def().isCancel;
            if (wanted && ::IsWindowEnabled(candidate->hwnd())) {
                button = candidate.get();
                break;
            }
        }
    }
    if (button == nullptr) {
        if (code == 0 && buttonById(id) == nullptr && id != IDOK && id != IDCANCEL) {
            clickMenuItem(id);
        }
        return;
    }
    if (code != BN_CLICKED && code != 1) {
        return;
    }
    const auto& def = button->def();
    raise(std::string(def.name) + "_Click", [&] { events_.onClick(def.name, def.index); });
}

void Win32Form::focusFirstControl() noexcept {
    if (lastFocus_ != nullptr && ::IsWindow(lastFocus_) && ::IsWindowEnabled(lastFocus_)) {
        ::SetFocus(lastFocus_);
        return;
    }
    CommandButton* first = nullptr;
    for (auto& button : buttons_) {
        if (button->hwnd() == nullptr || !button->def().enabled || !button->def().visible) {
            continue;
        }
        if (first == nullptr ||
            (button->def().tabIndex >= 0 &&
             (first->def().tabIndex < 0 || button->def().tabIndex < first->def().tabIndex))) {
            first = button.get();
        }
    }
    ::SetFocus(first != nullptr ? first->hwnd() : hwnd());
}

void Win32Form::paint(HWND self) {
    PaintScope scope(self);
    RECT client{};
    ::GetClientRect(self, &client);
    Canvas buffer(scope.dc(), client.right, client.bottom);
    const HDC dc = buffer ? buffer.dc() : scope.dc();
    ::FillRect(dc, &client, backBrush_.get());
    if (layout_.form.picture != platform::PictureId::None) {
        const SIZE size = runtime_.pictureSize(layout_.form.picture);
        const RECT where{0, 0, ::MulDiv(size.cx, runtime_.dpi(), 96),
                         ::MulDiv(size.cy, runtime_.dpi(), 96)};
        drawPicture(runtime_, dc, layout_.form.picture, where);
    }
    surface_.paintShapes(dc);
    if (buffer) {
        ::BitBlt(scope.dc(), 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    }
}

LRESULT Win32Form::handle(HWND self, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == runtime_.taskbarCreatedMessage() && msg != 0) {
        runtime_.shellRestarted(self);
        return 0;
    }
    switch (msg) {
        case WM_PAINT:
            paint(self);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            mouseDown(surface_, {}, msg, wParam, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_SETCURSOR:
            if (HCURSOR cursor = runtime_.pointerCursor()) {
                ::SetCursor(cursor);
                return TRUE;
            }
            break;
        case WM_TIMER:
            timerTick(wParam);
            return 0;
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case DM_GETDEFID:
            for (auto& button : buttons_) {
                if (button->def().isDefault) {
                    return MAKELRESULT(button->id(), DC_HASDEFID);
                }
            }
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(self, focus)) {
                    lastFocus_ = focus;
                }
                return 0;
            }
            if (hasDialogKeys() && HIWORD(wParam) == 0) {
                focusFirstControl();
            } else {
                ::DefWindowProcA(self, msg, wParam, lParam);
            }
            raise("Form_Activate", [&] { events_.onActivate(); });
            return 0;
        case WM_SETFOCUS:
            if (hasDialogKeys()) {
                focusFirstControl();
                return 0;
            }
            break;
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<LRESULT>(backBrush_.get());
        case WM_CLOSE:
            runtime_.unload(*this);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != 0) {
                runtime_.unloadAll();
            }
            return 0;
        case WM_NCDESTROY:
            for (auto& button : buttons_) {
                button->release();
            }
            hwnd_.release();
            surface_.hwnd = nullptr;
            if (loaded_) {
                // Destroyed under us (with its owner): gone without an unload.
                loaded_ = false;
                for (auto& timer : timers_) {
                    timer->stop();
                }
                runtime_.forgetForm(*this);
            }
            break;
        default:
            break;
    }
    return ::DefWindowProcA(self, msg, wParam, lParam);
}

LRESULT CALLBACK Win32Form::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* form = static_cast<Win32Form*>(create->lpCreateParams);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->hwnd_.reset(hwnd);
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    auto* form = reinterpret_cast<Win32Form*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (form == nullptr) {
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    }
    try {
        return form->handle(hwnd, msg, wParam, lParam);
    } catch (...) {
        form->runtime_.deliver("window procedure", [] { throw; });
        if (msg == WM_PAINT) {
            ::ValidateRect(hwnd, nullptr);
        }
        return 0;
    }
}

}  // namespace pelmora::win32

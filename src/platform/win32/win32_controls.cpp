#include "platform/win32/win32_controls.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "app/identity.h"
#include "platform/errors.h"
#include "platform/win32/win32_runtime.h"

namespace pelmora::win32 {

using platform::Error;

COLORREF toColorRef(platform::Colour colour) noexcept {
    if (platform::isSystemColour(colour)) {
        return ::GetSysColor(static_cast<int>(colour & 0xFFu));
    }
    return colour & 0x00FFFFFFu;
}

bool sameName(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

void drawPicture(Win32Runtime& runtime, HDC dc, platform::PictureId id, const RECT& where) {
    const int width = where.right - where.left;
    const int height = where.bottom - where.top;
    if (id == platform::PictureId::None || width <= 0 || height <= 0) {
        return;
    }
    if (id == platform::PictureId::Icon) {
        ::DrawIconEx(dc, where.left, where.top, runtime.icon(app::identity::kIconSize), width,
                     height, 0, nullptr, DI_NORMAL);
        return;
    }
    const HBITMAP bitmap = runtime.picture(id);
    const SIZE size = runtime.pictureSize(id);
    MemoryDc source(::CreateCompatibleDC(dc));
    if (!source) {
        return;
    }
    SelectScope selected(source.get(), bitmap);
    if (width == size.cx && height == size.cy) {
        ::BitBlt(dc, where.left, where.top, width, height, source.get(), 0, 0, SRCCOPY);
    } else {
        ::SetStretchBltMode(dc, COLORONCOLOR);
        ::StretchBlt(dc, where.left, where.top, width, height, source.get(), 0, 0, size.cx, size.cy,
                     SRCCOPY);
    }
}

// ---- labels

Win32Label::Win32Label(Win32Form& form, const platform::ControlDef& def, RECT bounds)
    : Shape(form, def, bounds),
      font_(form.runtime().font(def.font)),
      caption_(def.text),
      alignment_(def.alignment) {
    fit();
}

UINT Win32Label::drawFlags() const noexcept {
    UINT flags = DT_NOPREFIX | DT_TOP;
    if (alignment_ == platform::align::Center) {
        flags |= DT_CENTER;
    } else if (alignment_ == platform::align::Right) {
        flags |= DT_RIGHT;
    } else {
        flags |= DT_LEFT;
    }
    const bool wraps = def_.sizing == platform::LabelSizing::WrapFixed ||
                       def_.sizing == platform::LabelSizing::WrapGrow;
    return flags | (wraps ? DT_WORDBREAK : DT_SINGLELINE);
}

void Win32Label::fit() noexcept {
    const bool autoSize = def_.sizing == platform::LabelSizing::AutoSize;
    if (!autoSize && def_.sizing != platform::LabelSizing::WrapGrow) {
        return;
    }
    WindowDc screen(nullptr);
    if (screen.get() == nullptr) {
        return;
    }
    SelectScope selected(screen.get(), font_);
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(screen.get(), &metrics);
    RECT measured{bounds_.left, bounds_.top, autoSize ? bounds_.left : bounds_.right, bounds_.top};
    if (!caption_.empty()) {
        ::DrawTextA(screen.get(), caption_.data(), static_cast<int>(caption_.size()), &measured,
                    drawFlags() | DT_CALCRECT);
    }
    RECT fitted = bounds_;
    fitted.bottom = bounds_.top + std::max<int>(measured.bottom - measured.top, metrics.tmHeight);
    if (autoSize) {
        fitted.right = bounds_.left + std::max<int>(measured.right - measured.left, 0);
    }
    if (!::EqualRect(&fitted, &bounds_)) {
        setBounds(fitted);
    }
}

void Win32Label::setCaption(std::string_view text) {
    if (text == caption_) {
        return;
    }
    caption_ = std::string(text);
    fit();
    invalidate();
}

void Win32Label::setAlignment(std::int16_t value) {
    if (value != platform::align::Left && value != platform::align::Right &&
        value != platform::align::Center) {
        throw Error(errnum::InvalidPropertyValue, "Invalid property value");
    }
    if (value != alignment_) {
        alignment_ = value;
        invalidate();
    }
}

void Win32Label::paint(HDC dc) const {
    RECT where = bounds_;
    if (!def_.transparent) {
        BrushHandle back(::CreateSolidBrush(toColorRef(def_.backColour)));
        ::FillRect(dc, &where, back.get());
    }
    SelectScope selected(dc, font_);
    ::SetTextColor(dc, toColorRef(def_.foreColour));
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextA(dc, caption_.data(), static_cast<int>(caption_.size()), &where, drawFlags());
}

// ---- lines and images

void LineShape::paint(HDC dc) const {
    BrushHandle brush(::CreateSolidBrush(toColorRef(def_.foreColour)));
    if (from_.y == to_.y || from_.x == to_.x) {
        // Straight lines include both end points, as the layout gives them.
        const RECT band{std::min(from_.x, to_.x), std::min(from_.y, to_.y),
                        std::max(from_.x, to_.x) + (from_.x == to_.x ? width_ : 1),
                        std::max(from_.y, to_.y) + (from_.y == to_.y ? width_ : 1)};
        ::FillRect(dc, &band, brush.get());
        return;
    }
    PenHandle pen(::CreatePen(PS_SOLID, width_, toColorRef(def_.foreColour)));
    SelectScope selected(dc, pen.get());
    ::MoveToEx(dc, from_.x, from_.y, nullptr);
    ::LineTo(dc, to_.x, to_.y);
    ::SetPixel(dc, to_.x, to_.y, toColorRef(def_.foreColour));
}

void ImageShape::paint(HDC dc) const {
    drawPicture(form_.runtime(), dc, def_.picture, bounds_);
}

// ---- picture boxes

Win32PictureBox::Win32PictureBox(Win32Form& form, const platform::ControlDef& def, RECT bounds)
    : form_(form), def_(def), bounds_(bounds), visible_(def.visible) {
    surface_.name = def.name;
    if (def.picture != platform::PictureId::None) {
        form.runtime().pictureSize(def.picture);  // a missing picture fails the load
    }
}

void Win32PictureBox::createWindow(HWND parent) {
    DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    style |= visible_ ? WS_VISIBLE : 0;
    style |= def_.framed ? WS_BORDER : 0;
    const HWND hwnd =
        ::CreateWindowExA(WS_EX_CONTROLPARENT, kPictureClass, "", style, bounds_.left, bounds_.top,
                          bounds_.right - bounds_.left, bounds_.bottom - bounds_.top, parent,
                          nullptr, form_.runtime().instance(), this);
    if (hwnd == nullptr) {
        throw Error(errnum::CannotCreateWindow,
                    "Cannot create the picture box " + std::string(def_.name));
    }
    RECT client{};
    ::GetClientRect(hwnd, &client);
    {
        WindowDc screen(hwnd);
        canvas_ = Canvas(screen.get(), client.right, client.bottom);
    }
    if (!canvas_) {
        throw Error(errnum::CannotCreateWindow,
                    "Cannot create the drawing surface of " + std::string(def_.name));
    }
    clearCanvas();
    scaleRight_ = form_.toUnit(client.right);
    scaleBottom_ = form_.toUnit(client.bottom);
    surface_.hwnd = hwnd;
    for (Shape* shape : surface_.shapes) {
        shape->attach(hwnd);
    }
}

void Win32PictureBox::clearCanvas() noexcept {
    if (!canvas_) {
        return;
    }
    const RECT all{0, 0, canvas_.width(), canvas_.height()};
    BrushHandle back(::CreateSolidBrush(toColorRef(def_.backColour)));
    ::FillRect(canvas_.dc(), &all, back.get());
    if (def_.picture == platform::PictureId::None) {
        return;
    }
    try {
        Win32Runtime& runtime = form_.runtime();
        const SIZE size = runtime.pictureSize(def_.picture);
        const RECT where{0, 0, ::MulDiv(size.cx, runtime.dpi(), 96),
                         ::MulDiv(size.cy, runtime.dpi(), 96)};
        drawPicture(runtime, canvas_.dc(), def_.picture, where);
    } catch (...) {
        // Checked at load: the picture exists, so only the background shows if it fails now.
    }
}

void Win32PictureBox::requireWindow() const {
    if (!hwnd_ || !canvas_) {
        throw Error(errnum::ObjectUnloaded, "Object was unloaded");
    }
}

platform::Bool16 Win32PictureBox::visible() const {
    return platform::toBool16(visible_);
}

void Win32PictureBox::setVisible(platform::Bool16 value) {
    visible_ = value != 0;
    if (hwnd_ && (::IsWindowVisible(hwnd_.get()) != FALSE) != visible_) {
        ::ShowWindow(hwnd_.get(), visible_ ? SW_SHOWNA : SW_HIDE);
    }
}

float Win32PictureBox::left() const {
    return form_.toUnit(bounds_.left);
}

void Win32PictureBox::setLeft(float value) {
    const int x = form_.fromUnit(value);
    ::OffsetRect(&bounds_, x - bounds_.left, 0);
    if (hwnd_) {
        ::SetWindowPos(hwnd_.get(), nullptr, bounds_.left, bounds_.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Win32PictureBox::cls() {
    requireWindow();
    clearCanvas();
    ::InvalidateRect(hwnd_.get(), nullptr, FALSE);
}

void Win32PictureBox::refresh() {
    requireWindow();
    ::RedrawWindow(hwnd_.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32PictureBox::scale(std::int16_t flags, float x1, float y1, float x2, float y2) {
    (void)flags;  // the corners alone say what the coordinates are
    requireWindow();
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2) ||
        x1 == x2 || y1 == y2) {
        throw Error(platform::errnum::InvalidProcedureCall, "Invalid procedure call or argument");
    }
    scaleLeft_ = x1;
    scaleTop_ = y1;
    scaleRight_ = x2;
    scaleBottom_ = y2;
}

namespace {

// A user coordinate as a pixel of the drawing area; far outside any screen is an overflow.
int toPixel(double position) {
    if (!std::isfinite(position) || std::fabs(position) > 1'000'000.0) {
        throw Error::overflow();
    }
    return static_cast<int>(std::lround(position));
}

}  // namespace

int Win32PictureBox::mapX(float x) const {
    return toPixel((static_cast<double>(x) - scaleLeft_) * canvas_.width() /
                   (static_cast<double>(scaleRight_) - scaleLeft_));
}

int Win32PictureBox::mapY(float y) const {
    return toPixel((static_cast<double>(y) - scaleTop_) * canvas_.height() /
                   (static_cast<double>(scaleBottom_) - scaleTop_));
}

void Win32PictureBox::line(std::int16_t flags, float x1, float y1, float x2, float y2,
                           platform::Colour colour) {
    requireWindow();
    const POINT from{mapX(x1), mapY(y1)};
    const POINT to{mapX(x2), mapY(y2)};
    const COLORREF rgb = toColorRef(colour);
    const bool box = (flags & 2) != 0;
    const bool filled = (flags & 4) != 0;
    if (box) {
        // The two points are opposite corners; the far edges end where the points are.
        const RECT area{std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x),
                        std::max(from.y, to.y)};
        BrushHandle brush(::CreateSolidBrush(rgb));
        if (filled) {
            ::FillRect(canvas_.dc(), &area, brush.get());
        } else {
            ::FrameRect(canvas_.dc(), &area, brush.get());
        }
    } else {
        PenHandle pen(::CreatePen(PS_SOLID, 1, rgb));
        SelectScope selected(canvas_.dc(), pen.get());
        ::MoveToEx(canvas_.dc(), from.x, from.y, nullptr);
        ::LineTo(canvas_.dc(), to.x, to.y);
        ::SetPixel(canvas_.dc(), to.x, to.y, rgb);
    }
    ::InvalidateRect(hwnd_.get(), nullptr, FALSE);
}

void Win32PictureBox::paint() {
    PaintScope scope(hwnd_.get());
    if (!canvas_) {
        return;
    }
    Canvas buffer(scope.dc(), canvas_.width(), canvas_.height());
    const HDC dc = buffer ? buffer.dc() : scope.dc();
    ::BitBlt(dc, 0, 0, canvas_.width(), canvas_.height(), canvas_.dc(), 0, 0, SRCCOPY);
    surface_.paintShapes(dc);
    if (buffer) {
        ::BitBlt(scope.dc(), 0, 0, canvas_.width(), canvas_.height(), dc, 0, 0, SRCCOPY);
    }
}

LRESULT Win32PictureBox::handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            form_.mouseDown(surface_, def_.name, msg, wParam,
                            {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_COMMAND:
            // Buttons inside the box belong to the form.
            if (form_.hwnd() != nullptr) {
                return ::SendMessageA(form_.hwnd(), msg, wParam, lParam);
            }
            return 0;
        case WM_NCDESTROY:
            hwnd_.release();
            surface_.hwnd = nullptr;
            for (Shape* shape : surface_.shapes) {
                shape->attach(nullptr);
            }
            return 0;
        default:
            return ::DefWindowProcA(hwnd_.get(), msg, wParam, lParam);
    }
}

LRESULT CALLBACK Win32PictureBox::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* box = static_cast<Win32PictureBox*>(create->lpCreateParams);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(box));
        box->hwnd_.reset(hwnd);
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    auto* box = reinterpret_cast<Win32PictureBox*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (box == nullptr || box->hwnd_.get() != hwnd) {
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    }
    try {
        return box->handle(msg, wParam, lParam);
    } catch (...) {
        box->form_.runtime().deliver("window procedure", [] { throw; });
        if (msg == WM_PAINT) {
            ::ValidateRect(hwnd, nullptr);
        }
        return 0;
    }
}

// ---- buttons

void CommandButton::createWindow(HWND parent) {
    DWORD style = WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS;
    style |= def_.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    style |= def_.visible ? WS_VISIBLE : 0;
    style |= def_.enabled ? 0 : WS_DISABLED;
    const std::string text(def_.text);
    const HWND hwnd = ::CreateWindowExA(0, "BUTTON", text.c_str(), style, bounds_.left, bounds_.top,
                                        bounds_.right - bounds_.left, bounds_.bottom - bounds_.top,
                                        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                                        form_.runtime().instance(), nullptr);
    if (hwnd == nullptr) {
        throw Error(errnum::CannotCreateWindow,
                    "Cannot create the button " + std::string(def_.name));
    }
    hwnd_.reset(hwnd);
    ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form_.runtime().font(def_.font)),
                   FALSE);
}

// ---- timers

void Win32Timer::setEnabled(platform::Bool16 value) {
    enabled_ = value != 0;
    apply();
}

void Win32Timer::apply() noexcept {
    const HWND owner = form_.hwnd();
    if (enabled_ && def_.interval > 0 && owner != nullptr && form_.loaded()) {
        if (!running_) {
            running_ = ::SetTimer(owner, id_, static_cast<UINT>(def_.interval), nullptr) != 0;
        }
        return;
    }
    stop();
}

void Win32Timer::stop() noexcept {
    if (running_) {
        if (form_.hwnd() != nullptr) {
            ::KillTimer(form_.hwnd(), id_);
        }
        running_ = false;
    }
}

void Win32Timer::tick() {
    // A tick whose handler is still running (inside a modal loop) is not nested.
    if (!enabled_ || inTick_) {
        return;
    }
    inTick_ = true;
    form_.raise(std::string(def_.name) + "_Timer", [&] { form_.events().onTimer(def_.name); });
    inTick_ = false;
}

}  // namespace pelmora::win32

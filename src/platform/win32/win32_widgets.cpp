#include "platform/win32/win32_widgets.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/errors.h"
#include "platform/win32/win32_accessible.h"
#include "platform/win32/win32_platform.h"

namespace pelmora::win32 {

using platform::ErrorCode;

void drawPicture(Win32Platform& platform, HDC dc, platform::PictureId id, const RECT& where) {
    const int width = where.right - where.left;
    const int height = where.bottom - where.top;
    if (id == platform::PictureId::None || width <= 0 || height <= 0) {
        return;
    }
    if (id == platform::PictureId::Icon) {
        ::DrawIconEx(dc, where.left, where.top, platform.icon(Win32Platform::kIconSize), width,
                     height, 0, nullptr, DI_NORMAL);
        return;
    }
    const HBITMAP bitmap = platform.picture(id);
    BITMAP info{};
    ::GetObjectA(bitmap, sizeof(info), &info);
    MemoryDc source(::CreateCompatibleDC(dc));
    if (!source) {
        return;
    }
    SelectScope selected(source.get(), bitmap);
    const int sourceHeight = std::abs(info.bmHeight);
    if (width == info.bmWidth && height == sourceHeight) {
        ::BitBlt(dc, where.left, where.top, width, height, source.get(), 0, 0, SRCCOPY);
    } else {
        ::SetStretchBltMode(dc, COLORONCOLOR);
        ::StretchBlt(dc, where.left, where.top, width, height, source.get(), 0, 0, info.bmWidth,
                     sourceHeight, SRCCOPY);
    }
}

RECT scaledRect(const core::PixelRect& rect, int dpi) noexcept {
    return {toDevice(rect.left, dpi), toDevice(rect.top, dpi),
            toDevice(rect.left + rect.width, dpi), toDevice(rect.top + rect.height, dpi)};
}

void paintShapes(HDC dc, const std::vector<Widget*>& frontToBack) {
    for (auto it = frontToBack.rbegin(); it != frontToBack.rend(); ++it) {
        if ((*it)->visible()) {
            (*it)->paint(dc);
        }
    }
}

const Widget* hitTest(const std::vector<Widget*>& frontToBack, POINT at) noexcept {
    for (const Widget* shape : frontToBack) {
        if (shape->takesMouse() && ::PtInRect(&shape->bounds(), at)) {
            return shape;
        }
    }
    return nullptr;
}

// ---- every widget

void Widget::invalidate() const noexcept {
    if (surface_ != nullptr) {
        ::InvalidateRect(surface_, &bounds_, FALSE);
    }
}

void Widget::setBounds(const RECT& bounds) noexcept {
    invalidate();
    bounds_ = bounds;
    invalidate();
}

void Widget::setVisible(bool visible) {
    if (visible != visible_) {
        visible_ = visible;
        invalidate();
    }
}

void Widget::moveTo(core::PixelPoint topLeft) {
    place_.left = topLeft.x;
    place_.top = topLeft.y;
    // The size stays as laid out (a label's as fitted to its caption).
    RECT moved = bounds_;
    ::OffsetRect(&moved, toDevice(topLeft.x, dpi_) - bounds_.left,
                 toDevice(topLeft.y, dpi_) - bounds_.top);
    setBounds(moved);
}

void Widget::applyDpi(int dpi) {
    dpi_ = dpi;
    setBounds(scaledRect(place_, dpi));
}

// ---- labels

LabelWidget::LabelWidget(Win32Platform& platform, const core::WidgetSpec& widget)
    : Widget(widget), platform_(platform), text_(widget.text), alignment_(widget.alignment) {}

void LabelWidget::applyDpi(int dpi) {
    font_ = platform_.font(plan().font, dpi);
    Widget::applyDpi(dpi);
    fit();
}

UINT LabelWidget::drawFlags() const noexcept {
    UINT flags = DT_NOPREFIX | DT_TOP;
    switch (alignment_) {
        case platform::Alignment::Center:
            flags |= DT_CENTER;
            break;
        case platform::Alignment::Right:
            flags |= DT_RIGHT;
            break;
        case platform::Alignment::Left:
            flags |= DT_LEFT;
            break;
    }
    const bool wraps = plan().sizing == platform::LabelSizing::WrapFixed ||
                       plan().sizing == platform::LabelSizing::WrapGrow;
    return flags | (wraps ? DT_WORDBREAK : DT_SINGLELINE);
}

void LabelWidget::fit() noexcept {
    const bool autoSize = plan().sizing == platform::LabelSizing::AutoSize;
    if (!autoSize && plan().sizing != platform::LabelSizing::WrapGrow) {
        return;
    }
    WindowDc screen(nullptr);
    if (screen.get() == nullptr) {
        return;
    }
    SelectScope selected(screen.get(), font_);
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(screen.get(), &metrics);
    const RECT& now = bounds();
    RECT measured{now.left, now.top, autoSize ? now.left : now.right, now.top};
    if (!text_.empty()) {
        ::DrawTextA(screen.get(), text_.data(), static_cast<int>(text_.size()), &measured,
                    drawFlags() | DT_CALCRECT);
    }
    RECT fitted = now;
    fitted.bottom = now.top + std::max<int>(measured.bottom - measured.top, metrics.tmHeight);
    if (autoSize) {
        fitted.right = now.left + std::max<int>(measured.right - measured.left, 0);
    }
    if (!::EqualRect(&fitted, &now)) {
        setBounds(fitted);
    }
}

void LabelWidget::setText(std::string_view text) {
    text_.assign(text);
    fit();
    invalidate();
}

void LabelWidget::setAlignment(platform::Alignment alignment) {
    if (alignment != alignment_) {
        alignment_ = alignment;
        invalidate();
    }
}

void LabelWidget::paint(HDC dc) const {
    RECT where = bounds();
    if (!plan().transparent) {
        BrushHandle back(::CreateSolidBrush(toColorRef(plan().backColour)));
        ::FillRect(dc, &where, back.get());
    }
    SelectScope selected(dc, font_);
    ::SetTextColor(dc, toColorRef(plan().foreColour));
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextA(dc, text_.data(), static_cast<int>(text_.size()), &where, drawFlags());
}

// ---- lines and images

void LineWidget::moveTo(core::PixelPoint topLeft) {
    const int dx = topLeft.x - std::min(from_.x, to_.x);
    const int dy = topLeft.y - std::min(from_.y, to_.y);
    from_ = {from_.x + dx, from_.y + dy};
    to_ = {to_.x + dx, to_.y + dy};
    applyDpi(dpi());
}

void LineWidget::applyDpi(int dpi) {
    setDpi(dpi);
    width_ = std::max(1, toDevice(plan().lineWidth, dpi));
    deviceFrom_ = {toDevice(from_.x, dpi), toDevice(from_.y, dpi)};
    deviceTo_ = {toDevice(to_.x, dpi), toDevice(to_.y, dpi)};
    const int left = std::min(from_.x, to_.x);
    const int top = std::min(from_.y, to_.y);
    const int right = std::max(from_.x, to_.x);
    const int bottom = std::max(from_.y, to_.y);
    if (from_.y == to_.y || from_.x == to_.x) {
        // Straight lines include both end points, as the layout gives them: each a pixel at
        // 96 DPI, as many device pixels as that is wide.
        const bool across = from_.y == to_.y;
        const RECT ends = scaledRect({left, top, right - left + 1, bottom - top + 1}, dpi);
        setBounds({ends.left, ends.top, across ? ends.right : ends.left + width_,
                   across ? ends.top + width_ : ends.bottom});
        return;
    }
    setBounds({std::min(deviceFrom_.x, deviceTo_.x), std::min(deviceFrom_.y, deviceTo_.y),
               std::max(deviceFrom_.x, deviceTo_.x) + width_,
               std::max(deviceFrom_.y, deviceTo_.y) + width_});
}

void LineWidget::paint(HDC dc) const {
    const COLORREF colour = toColorRef(plan().foreColour);
    if (from_.y == to_.y || from_.x == to_.x) {
        BrushHandle brush(::CreateSolidBrush(colour));
        ::FillRect(dc, &bounds(), brush.get());
        return;
    }
    PenHandle pen(::CreatePen(PS_SOLID, width_, colour));
    SelectScope selected(dc, pen.get());
    ::MoveToEx(dc, deviceFrom_.x, deviceFrom_.y, nullptr);
    ::LineTo(dc, deviceTo_.x, deviceTo_.y);
    ::SetPixel(dc, deviceTo_.x, deviceTo_.y, colour);
}

void ImageWidget::applyDpi(int dpi) {
    Widget::applyDpi(dpi);
    if (!plan().stretch && plan().picture != platform::PictureId::None) {
        // At the picture's own size, scaled with the DPI.
        const SIZE size = platform_.pictureSize(plan().picture, dpi);
        RECT drawn = bounds();
        drawn.right = drawn.left + size.cx;
        drawn.bottom = drawn.top + size.cy;
        setBounds(drawn);
    }
}

void ImageWidget::paint(HDC dc) const {
    drawPicture(platform_, dc, plan().picture, bounds());
}

// ---- picture boxes

namespace {

// The frame's width on each side of one dimension: what the outer size leaves around the
// drawing area scaled to the DPI; at least a pixel each side.
std::pair<int, int> frameSides(int outer, int area) noexcept {
    const int spare = std::max(outer - area, std::min(outer, 2));
    return {spare / 2, spare - spare / 2};
}

}  // namespace

PictureBoxWidget::PictureBoxWidget(Win32Platform& platform, const core::WidgetSpec& widget)
    : Widget(widget), platform_(platform), frame_(std::max(0, widget.frame)) {
    if (plan().picture != platform::PictureId::None) {
        platform.picture(plan().picture);  // a missing picture fails the build
    }
}

void PictureBoxWidget::applyDpi(int dpi) {
    Widget::applyDpi(dpi);
    const RECT& outer = bounds();
    if (frame_ > 0) {
        const auto [left, right] =
            frameSides(outer.right - outer.left, toDevice(place().width - 2 * frame_, dpi));
        const auto [top, bottom] =
            frameSides(outer.bottom - outer.top, toDevice(place().height - 2 * frame_, dpi));
        insets_ = {left, top, right, bottom};
    }
    if (!hwnd_) {
        return;
    }
    ::SetWindowPos(hwnd_.get(), nullptr, outer.left, outer.top, outer.right - outer.left,
                   outer.bottom - outer.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_NOCOPYBITS);
    showScaled();
    ::InvalidateRect(hwnd_.get(), nullptr, FALSE);
}

void PictureBoxWidget::create(HWND parent, LONG_PTR controlId, void* userData) {
    DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    style |= visible() ? WS_VISIBLE : 0;
    const RECT& at = bounds();
    hwnd_.reset(::CreateWindowExA(WS_EX_CONTROLPARENT, Win32Platform::kPictureClass, "", style,
                                  at.left, at.top, at.right - at.left, at.bottom - at.top, parent,
                                  reinterpret_cast<HMENU>(controlId), platform_.instance(),
                                  userData));
    if (!hwnd_) {
        throw platform::Error(ErrorCode::CannotCreateWindow,
                              "the picture box " + std::string(plan().name));
    }
    // The frame is known once the box knows its window.
    ::SetWindowPos(hwnd_.get(), nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    {
        WindowDc screen(hwnd_.get());
        drawing_ = Canvas(screen.get(), std::max(0, place().width - 2 * frame_),
                          std::max(0, place().height - 2 * frame_));
    }
    if (!drawing_) {
        throw platform::Error(ErrorCode::CannotCreateWindow,
                              "the drawing surface of " + std::string(plan().name));
    }
    clear();
    for (Widget* shape : shapes) {
        shape->attach(hwnd_.get());
    }
}

void PictureBoxWidget::setVisible(bool visible) {
    Widget::setVisible(visible);
    if (hwnd_ && (::IsWindowVisible(hwnd_.get()) != FALSE) != visible) {
        ::ShowWindow(hwnd_.get(), visible ? SW_SHOWNA : SW_HIDE);
    }
}

void PictureBoxWidget::moveTo(core::PixelPoint topLeft) {
    Widget::moveTo(topLeft);
    if (hwnd_) {
        ::SetWindowPos(hwnd_.get(), nullptr, bounds().left, bounds().top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void PictureBoxWidget::showScaled() noexcept {
    RECT client{};
    if (hwnd_) {
        ::GetClientRect(hwnd_.get(), &client);
    }
    if (dpi() == 96 || !drawing_) {
        shown_ = Canvas();
        return;
    }
    if (!shown_ || shown_.width() != client.right || shown_.height() != client.bottom) {
        WindowDc screen(hwnd_.get());
        shown_ = Canvas(screen.get(), client.right, client.bottom);
    }
    if (shown_) {
        ::SetStretchBltMode(shown_.dc(), COLORONCOLOR);
        ::StretchBlt(shown_.dc(), 0, 0, shown_.width(), shown_.height(), drawing_.dc(), 0, 0,
                     drawing_.width(), drawing_.height(), SRCCOPY);
    }
}

void PictureBoxWidget::clear() noexcept {
    if (!drawing_) {
        return;
    }
    const RECT all{0, 0, drawing_.width(), drawing_.height()};
    BrushHandle back(::CreateSolidBrush(toColorRef(plan().backColour)));
    ::FillRect(drawing_.dc(), &all, back.get());
    if (plan().picture != platform::PictureId::None) {
        try {
            const SIZE size = platform_.pictureSize(plan().picture, 96);
            drawPicture(platform_, drawing_.dc(), plan().picture, RECT{0, 0, size.cx, size.cy});
        } catch (...) {
            // Loaded when the box was built: should it fail now, the background shows alone.
        }
    }
    showScaled();
    if (hwnd_) {
        ::InvalidateRect(hwnd_.get(), nullptr, FALSE);
    }
}

void PictureBoxWidget::fill(const RECT& area, COLORREF colour) {
    BrushHandle brush(::CreateSolidBrush(colour));
    ::FillRect(drawing_.dc(), &area, brush.get());
    RECT shown = area;
    if (shown_) {
        showScaled();
        shown = scaledRect({area.left, area.top, area.right - area.left, area.bottom - area.top},
                           dpi());
        // A pixel more each way for what nearest-neighbour rounding puts at the edges.
        ::InflateRect(&shown, 1, 1);
    }
    ::InvalidateRect(hwnd_.get(), &shown, FALSE);
}

void PictureBoxWidget::repaint() {
    ::RedrawWindow(hwnd_.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void PictureBoxWidget::paint() {
    PaintScope scope(hwnd_.get());
    if (!drawing_) {
        return;
    }
    RECT client{};
    ::GetClientRect(hwnd_.get(), &client);
    Canvas buffer(scope.dc(), client.right, client.bottom);
    const HDC dc = buffer ? buffer.dc() : scope.dc();
    ::BitBlt(dc, 0, 0, client.right, client.bottom, shownDc(), 0, 0, SRCCOPY);
    paintShapes(dc, shapes);
    if (buffer) {
        ::BitBlt(scope.dc(), 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    }
}

void PictureBoxWidget::paintFrame() noexcept {
    if (!hwnd_ || frame_ <= 0) {
        return;
    }
    RECT outer{};
    ::GetWindowRect(hwnd_.get(), &outer);
    ::OffsetRect(&outer, -outer.left, -outer.top);
    WindowDc dc(hwnd_.get(), true);
    if (dc.get() == nullptr) {
        return;
    }
    ::ExcludeClipRect(dc.get(), insets_.left, insets_.top, outer.right - insets_.right,
                      outer.bottom - insets_.bottom);
    BrushHandle brush(::CreateSolidBrush(toColorRef(plan().foreColour)));
    ::FillRect(dc.get(), &outer, brush.get());
}

// ---- buttons

void ButtonWidget::create(HWND parent, LONG_PTR controlId, HINSTANCE instance) {
    DWORD style = WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS;
    style |= plan().isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    style |= visible() ? WS_VISIBLE : 0;
    style |= plan().enabled ? 0 : WS_DISABLED;
    const std::string text(plan().text);
    const RECT& at = bounds();
    hwnd_.reset(::CreateWindowExA(0, "BUTTON", text.c_str(), style, at.left, at.top,
                                  at.right - at.left, at.bottom - at.top, parent,
                                  reinterpret_cast<HMENU>(controlId), instance, nullptr));
    if (!hwnd_) {
        throw platform::Error(ErrorCode::CannotCreateWindow,
                              "the button " + std::string(plan().name));
    }
    ::SendMessageA(hwnd_.get(), WM_SETFONT,
                   reinterpret_cast<WPARAM>(platform_.font(plan().font, dpi())), FALSE);
    answerAccessibleFor(hwnd_.get(), told);
}

void ButtonWidget::applyDpi(int dpi) {
    Widget::applyDpi(dpi);
    if (hwnd_) {
        const RECT& at = bounds();
        ::SetWindowPos(hwnd_.get(), nullptr, at.left, at.top, at.right - at.left,
                       at.bottom - at.top, SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageA(hwnd_.get(), WM_SETFONT,
                       reinterpret_cast<WPARAM>(platform_.font(plan().font, dpi)), TRUE);
    }
}

void ButtonWidget::setVisible(bool visible) {
    Widget::setVisible(visible);
    if (hwnd_) {
        ::ShowWindow(hwnd_.get(), visible ? SW_SHOWNA : SW_HIDE);
    }
}

void ButtonWidget::moveTo(core::PixelPoint topLeft) {
    Widget::moveTo(topLeft);
    if (hwnd_) {
        ::SetWindowPos(hwnd_.get(), nullptr, bounds().left, bounds().top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace pelmora::win32

#include "platform/win32/win32_widgets.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "platform/win32/win32_accessible.h"
#include "platform/win32/win32_platform.h"

namespace pelmora::win32 {

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
    if (hwnd_) {
        ::ShowWindow(hwnd_.get(), visible ? SW_SHOWNA : SW_HIDE);
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
    placeWindow(SWP_NOSIZE);
}

void Widget::applyDpi(int dpi) {
    dpi_ = dpi;
    setBounds(scaledRect(place_, dpi));
}

void Widget::makeWindow(DWORD exStyle, const char* cls, const std::string& text, DWORD style,
                        HWND parent, void* userData) {
    style |= WS_CHILD | WS_CLIPSIBLINGS | (visible_ ? WS_VISIBLE : 0);
    hwnd_.reset(::CreateWindowExA(exStyle, cls, text.c_str(), style, bounds_.left, bounds_.top,
                                  bounds_.right - bounds_.left, bounds_.bottom - bounds_.top,
                                  parent, reinterpret_cast<HMENU>(kFirstChildId + plan_.id),
                                  platform_.instance(), userData));
    if (!hwnd_) {
        throw std::runtime_error("the system made no window for " + std::string(plan_.name));
    }
}

void Widget::placeWindow(UINT flags) const noexcept {
    if (hwnd_) {
        ::SetWindowPos(hwnd_.get(), nullptr, bounds_.left, bounds_.top,
                       bounds_.right - bounds_.left, bounds_.bottom - bounds_.top,
                       flags | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// ---- labels

void LabelWidget::applyDpi(int dpi) {
    font_ = platform().font(plan().font, dpi);
    Widget::applyDpi(dpi);
    fit();
}

UINT LabelWidget::drawFlags() const noexcept {
    constexpr UINT kAligned[] = {DT_LEFT, DT_RIGHT, DT_CENTER};  // in the order of alignments
    const UINT flags = DT_NOPREFIX | DT_TOP | kAligned[static_cast<std::size_t>(alignment_)];
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
    if (straight()) {
        // Straight lines include both end points, as the layout gives them: each a pixel at
        // 96 DPI, as many device pixels as that is wide.
        const int left = std::min(from_.x, to_.x);
        const int top = std::min(from_.y, to_.y);
        const RECT ends = scaledRect(
            {left, top, std::max(from_.x, to_.x) - left + 1, std::max(from_.y, to_.y) - top + 1},
            dpi);
        const bool across = from_.y == to_.y;
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
    if (straight()) {
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
        const SIZE size = platform().pictureSize(plan().picture, dpi);
        RECT drawn = bounds();
        drawn.right = drawn.left + size.cx;
        drawn.bottom = drawn.top + size.cy;
        setBounds(drawn);
    }
}

void ImageWidget::paint(HDC dc) const {
    drawPicture(platform(), dc, plan().picture, bounds());
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
    : Widget(platform, widget), frame_(std::max(0, widget.frame)) {
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
    if (hwnd() != nullptr) {
        placeWindow(SWP_FRAMECHANGED | SWP_NOCOPYBITS);
        showScaled();
        ::InvalidateRect(hwnd(), nullptr, FALSE);
    }
}

void PictureBoxWidget::create(HWND parent, void* userData) {
    makeWindow(WS_EX_CONTROLPARENT, Win32Platform::kPictureClass, "", WS_CLIPCHILDREN, parent,
               userData);
    // The frame is known once the box knows its window.
    ::SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    {
        WindowDc screen(hwnd());
        drawing_.emplace(screen.get(), std::max(0, place().width - 2 * frame_),
                         std::max(0, place().height - 2 * frame_));
    }
    if (!*drawing_) {
        throw std::runtime_error("no drawing surface for " + std::string(plan().name));
    }
    clear();
    for (Widget* shape : shapes) {
        shape->attach(hwnd());
    }
}

void PictureBoxWidget::showScaled() noexcept {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    if (dpi() == 96 || !drawing_ || !*drawing_) {
        shown_.reset();
        return;
    }
    if (!shown_ || shown_->width() != client.right || shown_->height() != client.bottom) {
        WindowDc screen(hwnd());
        shown_.emplace(screen.get(), client.right, client.bottom);
    }
    if (!*shown_) {
        shown_.reset();
        return;
    }
    ::SetStretchBltMode(shown_->dc(), COLORONCOLOR);
    ::StretchBlt(shown_->dc(), 0, 0, shown_->width(), shown_->height(), drawing_->dc(), 0, 0,
                 drawing_->width(), drawing_->height(), SRCCOPY);
}

void PictureBoxWidget::clear() noexcept {
    if (!drawing_) {
        return;
    }
    const RECT all{0, 0, drawing_->width(), drawing_->height()};
    BrushHandle back(::CreateSolidBrush(toColorRef(plan().backColour)));
    ::FillRect(drawing_->dc(), &all, back.get());
    if (plan().picture != platform::PictureId::None) {
        try {
            const SIZE size = platform().pictureSize(plan().picture, 96);
            drawPicture(platform(), drawing_->dc(), plan().picture, RECT{0, 0, size.cx, size.cy});
        } catch (...) {
            // Loaded when the box was built: should it fail now, the background shows alone.
        }
    }
    showScaled();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void PictureBoxWidget::fill(const core::PixelRect& area, platform::Colour colour) {
    RECT shown{area.left, area.top, area.left + area.width, area.top + area.height};
    BrushHandle brush(::CreateSolidBrush(toColorRef(colour)));
    ::FillRect(drawing_->dc(), &shown, brush.get());
    if (shown_) {
        showScaled();
        shown = scaledRect(area, dpi());
        // A pixel more each way for what nearest-neighbour rounding puts at the edges.
        ::InflateRect(&shown, 1, 1);
    }
    ::InvalidateRect(hwnd(), &shown, FALSE);
}

void PictureBoxWidget::repaint() {
    ::RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void PictureBoxWidget::paintArea(HDC dc, const RECT& client) const {
    if (!drawing_) {
        return;
    }
    const HDC shown = shown_ ? shown_->dc() : drawing_->dc();
    ::BitBlt(dc, 0, 0, client.right, client.bottom, shown, 0, 0, SRCCOPY);
    paintShapes(dc, shapes);
}

void PictureBoxWidget::paintFrame() noexcept {
    if (frame_ <= 0) {
        return;
    }
    RECT outer{};
    ::GetWindowRect(hwnd(), &outer);
    ::OffsetRect(&outer, -outer.left, -outer.top);
    WindowDc dc(hwnd(), true);
    if (dc.get() == nullptr) {
        return;
    }
    ::ExcludeClipRect(dc.get(), insets_.left, insets_.top, outer.right - insets_.right,
                      outer.bottom - insets_.bottom);
    BrushHandle brush(::CreateSolidBrush(toColorRef(plan().foreColour)));
    ::FillRect(dc.get(), &outer, brush.get());
}

// ---- buttons

void ButtonWidget::create(HWND parent, void* userData) {
    DWORD style = WS_TABSTOP | (plan().isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    style |= plan().enabled ? 0 : WS_DISABLED;
    makeWindow(0, "BUTTON", std::string(plan().text), style, parent, userData);
    applyDpi(dpi());  // its font
    answerAccessibleFor(hwnd(), told);
}

void ButtonWidget::applyDpi(int dpi) {
    Widget::applyDpi(dpi);
    if (hwnd() != nullptr) {
        placeWindow(0);
        ::SendMessageA(hwnd(), WM_SETFONT,
                       reinterpret_cast<WPARAM>(platform().font(plan().font, dpi)), TRUE);
    }
}

}  // namespace pelmora::win32

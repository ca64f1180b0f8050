// The widgets of a window on Windows: labels, lines and images without windows of their
// own, painted by the surface they sit on; picture boxes as child windows that keep what
// is drawn on them in a persistent memory-DC canvas; push buttons. Each keeps its geometry
// in pixels at 96 DPI, as the core gives it, and is laid out in device pixels of the
// parent's client area at the DPI of the window's screen.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/native.h"
#include "platform/win32/win32_handles.h"

namespace pelmora::win32 {

class Win32Platform;

// Draws a picture of the resources into a rectangle (icons through their mask); a picture
// drawn larger than it is keeps its pixels sharp (nearest neighbour).
void drawPicture(Win32Platform& platform, HDC dc, platform::PictureId id, const RECT& where);

// A rectangle at 96 DPI in device pixels at a DPI: each edge scaled, so that neighbours stay
// neighbours.
RECT scaledRect(const core::PixelRect& rect, int dpi) noexcept;

// Child windows are numbered after their widget, above IDOK and IDCANCEL.
constexpr LONG_PTR kFirstChildId = 1000;

class Widget {
  public:
    Widget(Win32Platform& platform, const core::WidgetSpec& widget)
        : told(widget.accessible),
          platform_(platform),
          plan_(widget),
          place_(widget.rect),
          visible_(widget.visible) {}
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;
    virtual ~Widget() = default;

    core::WidgetId id() const noexcept { return plan_.id; }
    const core::WidgetSpec& plan() const noexcept { return plan_; }
    // Device pixels of the surface it sits on.
    const RECT& bounds() const noexcept { return bounds_; }
    bool visible() const noexcept { return visible_; }
    void setVisible(bool visible);
    // Moves the top left, in pixels at 96 DPI of the parent.
    virtual void moveTo(core::PixelPoint topLeft);
    // Lays the widget out at a DPI: its device geometry, fonts and pictures for that DPI.
    virtual void applyDpi(int dpi);
    // Picture boxes and buttons make their child window; userData names the window it
    // belongs to.
    virtual void create(HWND parent, void* userData) { (void)parent, (void)userData; }
    // The child window of a picture box or button; null for a painted widget.
    HWND hwnd() const noexcept { return hwnd_.get(); }
    // The window went with its parent: the handle is no longer ours to destroy.
    void forgetWindow() noexcept { hwnd_.release(); }
    // Whether the surface it sits on paints it: it has no window of its own.
    bool painted() const noexcept {
        return plan_.kind != platform::ControlKind::PictureBox &&
               plan_.kind != platform::ControlKind::CommandButton;
    }
    // Paints a widget without a window of its own onto its surface.
    virtual void paint(HDC dc) const { (void)dc; }
    // Whether a press inside the bounds of a painted widget belongs to it.
    bool takesMouse() const noexcept {
        return plan_.kind != platform::ControlKind::Line && visible_ && plan_.enabled;
    }
    // The window this widget is painted on (the form or a picture box).
    void attach(HWND surface) noexcept { surface_ = surface; }
    HWND surface() const noexcept { return surface_; }
    // What assistive technology is told of it.
    core::Accessible told;

  protected:
    Win32Platform& platform() const noexcept { return platform_; }
    int dpi() const noexcept { return dpi_; }
    void setDpi(int dpi) noexcept { dpi_ = dpi; }
    // Where the layout puts it, at 96 DPI.
    const core::PixelRect& place() const noexcept { return place_; }
    void invalidate() const noexcept;
    void setBounds(const RECT& bounds) noexcept;
    // Makes the child window at the bounds; its style adds to a visible child's.
    void makeWindow(DWORD exStyle, const char* cls, const std::string& text, DWORD style,
                    HWND parent, void* userData);
    // Puts the child window at the bounds.
    void placeWindow(UINT flags) const noexcept;

  private:
    Win32Platform& platform_;
    core::WidgetSpec plan_;
    core::PixelRect place_;
    RECT bounds_{};
    int dpi_ = 96;
    bool visible_;
    HWND surface_ = nullptr;
    WindowHandle hwnd_;
};

class LabelWidget final : public Widget {
  public:
    LabelWidget(Win32Platform& platform, const core::WidgetSpec& widget)
        : Widget(platform, widget), text_(widget.text), alignment_(widget.alignment) {}

    void setText(std::string_view text);
    void setAlignment(platform::Alignment alignment);
    void applyDpi(int dpi) override;
    void paint(HDC dc) const override;

  private:
    // Sizes an auto-sized or growing label to its caption.
    void fit() noexcept;
    UINT drawFlags() const noexcept;

    HFONT font_ = nullptr;
    std::string text_;
    platform::Alignment alignment_;
};

class LineWidget final : public Widget {
  public:
    LineWidget(Win32Platform& platform, const core::WidgetSpec& widget)
        : Widget(platform, widget), from_(widget.from), to_(widget.to) {}

    void moveTo(core::PixelPoint topLeft) override;
    void applyDpi(int dpi) override;
    void paint(HDC dc) const override;

  private:
    bool straight() const noexcept { return from_.x == to_.x || from_.y == to_.y; }

    // End points at 96 DPI, and as drawn.
    core::PixelPoint from_;
    core::PixelPoint to_;
    POINT deviceFrom_{};
    POINT deviceTo_{};
    int width_ = 1;
};

class ImageWidget final : public Widget {
  public:
    using Widget::Widget;

    void applyDpi(int dpi) override;
    void paint(HDC dc) const override;
};

// A picture box's one-pixel frame is its own non-client area, drawn in the box's fore
// colour (the layouts give the system's window-text colour). The core draws at 96 DPI on
// the box's drawing area; that drawing is kept as it was drawn and shown scaled to the DPI.
class PictureBoxWidget final : public Widget {
  public:
    PictureBoxWidget(Win32Platform& platform, const core::WidgetSpec& widget);

    void create(HWND parent, void* userData) override;
    void applyDpi(int dpi) override;

    // Back colour and picture, nothing drawn.
    void clear() noexcept;
    // Fills a box of the drawing area, in its pixels at 96 DPI.
    void fill(const core::PixelRect& area, platform::Colour colour);
    void repaint();
    // Paints the drawing as shown, and the widgets on it, onto the client area.
    void paintArea(HDC dc, const RECT& client) const;
    // The frame's width on each side, in device pixels: the drawing area is what is inside.
    const RECT& frameInsets() const noexcept { return insets_; }
    void paintFrame() noexcept;
    // The painted widgets on the box, front to back.
    std::vector<Widget*> shapes;

  private:
    // The drawing as shown: the one at 96 DPI scaled to the box's DPI (none at 96 DPI).
    void showScaled() noexcept;

    int frame_;
    RECT insets_{};
    std::optional<Canvas> drawing_;
    std::optional<Canvas> shown_;
};

class ButtonWidget final : public Widget {
  public:
    using Widget::Widget;

    void create(HWND parent, void* userData) override;
    void applyDpi(int dpi) override;
};

// Paints the painted widgets of a surface, back to front.
void paintShapes(HDC dc, const std::vector<Widget*>& frontToBack);
// The frontmost painted widget that takes a press at the point, or null.
const Widget* hitTest(const std::vector<Widget*>& frontToBack, POINT at) noexcept;

}  // namespace pelmora::win32

// The controls of a form on Windows: windowless labels, lines and images painted
// by their parent, picture boxes and buttons as child windows, and timers.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_window.h"

namespace pelmora::win32 {

COLORREF toColorRef(platform::Colour colour) noexcept;
// Control names compare as the runtime always compared them: ignoring ASCII case.
bool sameName(std::string_view a, std::string_view b) noexcept;

class Win32Label final : public platform::Label, public Shape {
  public:
    Win32Label(Win32Form& form, const platform::ControlDef& def, RECT bounds);

    std::string caption() const override { return caption_; }
    void setCaption(std::string_view text) override;
    std::int16_t alignment() const override { return alignment_; }
    void setAlignment(std::int16_t value) override;

    void paint(HDC dc) const override;
    bool takesMouse() const noexcept override { return def_.visible && def_.enabled; }
    // Sizes an auto-sized or growing label to its caption; needs the surface window.
    void fit() noexcept;

  private:
    UINT drawFlags() const noexcept;

    HFONT font_;
    std::string caption_;
    std::int16_t alignment_;
};

class LineShape final : public Shape {
  public:
    LineShape(Win32Form& form, const platform::ControlDef& def, RECT bounds, POINT from, POINT to,
              int width)
        : Shape(form, def, bounds), from_(from), to_(to), width_(width) {}

    void paint(HDC dc) const override;

  private:
    POINT from_;
    POINT to_;
    int width_;
};

class ImageShape final : public Shape {
  public:
    ImageShape(Win32Form& form, const platform::ControlDef& def, RECT bounds)
        : Shape(form, def, bounds) {}

    void paint(HDC dc) const override;
    bool takesMouse() const noexcept override { return def_.visible && def_.enabled; }
};

// Draws a picture of the resources into a rectangle (icons through their mask).
void drawPicture(Win32Runtime& runtime, HDC dc, platform::PictureId id, const RECT& where);

class Win32PictureBox final : public platform::PictureBox {
  public:
    Win32PictureBox(Win32Form& form, const platform::ControlDef& def, RECT bounds);

    platform::Bool16 visible() const override;
    void setVisible(platform::Bool16 value) override;
    float left() const override;
    void setLeft(float value) override;
    void cls() override;
    void refresh() override;
    void scale(std::int16_t flags, float x1, float y1, float x2, float y2) override;
    void line(std::int16_t flags, float x1, float y1, float x2, float y2,
              platform::Colour colour) override;

    void createWindow(HWND parent);
    const platform::ControlDef& def() const noexcept { return def_; }
    Surface& surface() noexcept { return surface_; }
    HWND hwnd() const noexcept { return hwnd_.get(); }
    // The persistent drawing surface, for checks of what was drawn.
    HDC canvasDc() const noexcept { return canvas_.dc(); }

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam);
    void paint();
    void clearCanvas() noexcept;
    void requireWindow() const;
    int mapX(float x) const;
    int mapY(float y) const;

    Win32Form& form_;
    const platform::ControlDef& def_;
    RECT bounds_;  // outer rectangle in the parent's pixels
    bool visible_;
    WindowHandle hwnd_;
    Canvas canvas_;
    Surface surface_;
    // User coordinates of the drawing area: left, top, right, bottom.
    float scaleLeft_ = 0.0f;
    float scaleTop_ = 0.0f;
    float scaleRight_ = 0.0f;
    float scaleBottom_ = 0.0f;
};

class CommandButton {
  public:
    CommandButton(Win32Form& form, const platform::ControlDef& def, RECT bounds, int id)
        : form_(form), def_(def), bounds_(bounds), id_(id) {}
    CommandButton(const CommandButton&) = delete;
    CommandButton& operator=(const CommandButton&) = delete;

    void createWindow(HWND parent);
    void release() noexcept { hwnd_.release(); }
    const platform::ControlDef& def() const noexcept { return def_; }
    HWND hwnd() const noexcept { return hwnd_.get(); }
    int id() const noexcept { return id_; }

  private:
    Win32Form& form_;
    const platform::ControlDef& def_;
    RECT bounds_;
    int id_;
    WindowHandle hwnd_;
};

class Win32Timer final : public platform::Timer {
  public:
    Win32Timer(Win32Form& form, const platform::ControlDef& def, UINT_PTR id)
        : form_(form), def_(def), id_(id), enabled_(def.enabled) {}

    platform::Bool16 enabled() const override { return platform::toBool16(enabled_); }
    void setEnabled(platform::Bool16 value) override;

    // Starts or stops the OS timer to match the enabled state.
    void apply() noexcept;
    void stop() noexcept;
    void tick();
    const platform::ControlDef& def() const noexcept { return def_; }
    UINT_PTR id() const noexcept { return id_; }

  private:
    Win32Form& form_;
    const platform::ControlDef& def_;
    UINT_PTR id_;
    bool enabled_;
    bool running_ = false;
    bool inTick_ = false;
};

}  // namespace pelmora::win32

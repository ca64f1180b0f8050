// A form as a real window: built from its layout table, it paints its skin and
// windowless controls, owns its child windows, timers and menus, and turns the
// window's messages into the system's form events.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/win32/win32_handles.h"

namespace pelmora::win32 {

class Win32Runtime;
class Win32Form;
class Win32Label;
class Win32PictureBox;
class Win32Timer;
class Win32Menu;
class Win32MenuItem;
class CommandButton;

// A control without a window of its own, painted by the window it sits on.
class Shape {
  public:
    Shape(Win32Form& form, const platform::ControlDef& def, RECT bounds)
        : form_(form), def_(def), bounds_(bounds) {}
    Shape(const Shape&) = delete;
    Shape& operator=(const Shape&) = delete;
    virtual ~Shape() = default;

    virtual void paint(HDC dc) const = 0;
    // Whether a mouse press inside the bounds belongs to this shape.
    virtual bool takesMouse() const noexcept { return false; }

    const platform::ControlDef& def() const noexcept { return def_; }
    const RECT& bounds() const noexcept { return bounds_; }
    void attach(HWND surface) noexcept { surface_ = surface; }

  protected:
    void invalidate() const noexcept;
    void setBounds(const RECT& bounds) noexcept;

    Win32Form& form_;
    const platform::ControlDef& def_;
    RECT bounds_;
    HWND surface_ = nullptr;
};

// The window a set of shapes is painted on: the form itself or a picture box.
struct Surface {
    std::string_view name;  // empty: the form
    HWND hwnd = nullptr;
    std::vector<Shape*> shapes;  // front to back

    void paintShapes(HDC dc) const;
    const Shape* hitTest(POINT point) const noexcept;
};

class Win32Form final : public platform::Form {
  public:
    Win32Form(Win32Runtime& runtime, const platform::FormLayout& layout,
              platform::FormEvents& events, HWND owner);
    ~Win32Form() override;

    // Creates the window hidden, with its controls, timers and menus.
    void create();
    // Destroys the window and everything on it, without events.
    void destroy() noexcept;

    platform::Hwnd hWnd() const override;
    std::uintptr_t iconHandle() const override;
    std::int16_t windowState() const override;
    void setWindowState(std::int16_t state) override;
    void setFocus() override;
    void popupMenu(platform::Menu& menu) override;
    std::string caption() const override;
    void setCaption(std::string_view text) override;
    void show(std::int16_t modal) override;

    platform::Label& label(std::string_view name, std::int16_t index) override;
    platform::PictureBox& pictureBox(std::string_view name) override;
    platform::Timer& timer(std::string_view name) override;
    platform::Menu& menu(std::string_view name) override;
    platform::MenuItem& menuItem(std::string_view name, std::int16_t index) override;

    // For the runtime and the controls.
    Win32Runtime& runtime() noexcept { return runtime_; }
    const platform::FormLayout& layout() const noexcept { return layout_; }
    platform::FormEvents& events() noexcept { return events_; }
    std::string_view name() const noexcept { return layout_.form.name; }
    HWND hwnd() const noexcept { return hwnd_.get(); }
    HWND owner() const noexcept { return owner_; }
    bool loaded() const noexcept { return loaded_; }
    bool unloading() const noexcept { return unloading_; }
    void setUnloading(bool value) noexcept { unloading_ = value; }
    bool hasDialogKeys() const noexcept { return !buttons_.empty(); }
    // Converts pixels to the unit in which the form reports positions.
    float toUnit(int pixels) const noexcept;
    int fromUnit(float value) const;
    // Runs an event handler of this form at the runtime's edge.
    template <typename Body>
    void raise(std::string_view event, Body&& body) noexcept;
    // Mouse press on the form or on one of its picture boxes.
    void mouseDown(const Surface& surface, std::string_view control, UINT message, WPARAM keys,
                   POINT at);
    void clickMenuItem(UINT id);
    void timerTick(UINT_PTR id);

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    LRESULT handle(HWND self, UINT msg, WPARAM wParam, LPARAM lParam);
    void paint(HWND self);
    void command(WORD id, WORD code);
    void placeAtFirstShow();
    void focusFirstControl() noexcept;
    void requireLoaded() const;
    RECT pixelRect(const platform::ControlDef& def) const noexcept;
    Surface& surfaceFor(std::string_view parent);
    void buildControls();
    void createChildWindows(std::string_view parent, HWND parentHwnd);
    void buildMenus();
    CommandButton* buttonById(int id) noexcept;

    Win32Runtime& runtime_;
    platform::FormLayout layout_;
    platform::FormEvents& events_;
    HWND owner_;
    WindowHandle hwnd_;
    BrushHandle backBrush_;
    std::string caption_;
    bool loaded_ = false;
    bool unloading_ = false;
    bool placed_ = false;
    bool modal_ = false;
    HWND lastFocus_ = nullptr;
    std::vector<HWND> disabledByModal_;

    Surface surface_;
    std::vector<std::unique_ptr<Shape>> shapes_;
    std::vector<Win32Label*> labels_;
    std::vector<std::unique_ptr<Win32PictureBox>> pictures_;
    std::vector<std::unique_ptr<Win32Timer>> timers_;
    std::vector<std::unique_ptr<CommandButton>> buttons_;
    std::vector<std::unique_ptr<Win32Menu>> menus_;
    std::vector<std::unique_ptr<Win32MenuItem>> items_;
};

}  // namespace pelmora::win32

#include "platform/win32/win32_runtime.h"

namespace pelmora::win32 {

template <typename Body>
void Win32Form::raise(std::string_view event, Body&& body) noexcept {
    std::string handler;
    try {
        handler.append(name()).append(".").append(event);
    } catch (...) {
        // The name is only for the report; the event still runs without it.
    }
    runtime_.deliver(handler, std::forward<Body>(body));
}

}  // namespace pelmora::win32

// The forms runtime: application information, forms built from layout tables,
// their controls, menus, timers, the screen's pointer, the message box and end.
// Every operation either succeeds or throws Error; nothing returns a status code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/layout.h"
#include "platform/types.h"

namespace pelmora::platform {

// Base of every runtime object: abstract, owned by the runtime, never copied.
class RuntimeObject {
  public:
    RuntimeObject() = default;
    RuntimeObject(const RuntimeObject&) = delete;
    RuntimeObject& operator=(const RuntimeObject&) = delete;
    virtual ~RuntimeObject() = default;
};

class Label : public RuntimeObject {
  public:
    virtual std::string caption() const = 0;
    virtual void setCaption(std::string_view text) = 0;
    virtual std::int16_t alignment() const = 0;
    virtual void setAlignment(std::int16_t value) = 0;  // align::Left or align::Center
};

class PictureBox : public RuntimeObject {
  public:
    virtual Bool16 visible() const = 0;
    virtual void setVisible(Bool16 value) = 0;
    // Left edge in the parent form's coordinate unit (FormDef::unit).
    virtual float left() const = 0;
    virtual void setLeft(float value) = 0;
    // Erases run-time drawing, leaving the background colour and picture.
    virtual void cls() = 0;
    // Repaints the box at once.
    virtual void refresh() = 0;
    // Sets user coordinates for the drawing area: (x1, y1) top-left, (x2, y2) bottom-right.
    virtual void scale(std::int16_t flags, float x1, float y1, float x2, float y2) = 0;
    // Draws in user coordinates; flags: 2 box, 4 filled (38 = box filled, relative-free).
    virtual void line(std::int16_t flags, float x1, float y1, float x2, float y2,
                      Colour colour) = 0;
};

class Timer : public RuntimeObject {
  public:
    virtual Bool16 enabled() const = 0;
    virtual void setEnabled(Bool16 value) = 0;
};

class MenuItem : public RuntimeObject {
  public:
    virtual Bool16 checked() const = 0;
    virtual void setChecked(Bool16 value) = 0;
};

// A menu that holds items; shown only as a popup.
class Menu : public RuntimeObject {};

// Window states as the runtime encodes them.
namespace winstate {
inline constexpr std::int16_t Normal = 0;
inline constexpr std::int16_t Minimized = 1;
inline constexpr std::int16_t Maximized = 2;
}  // namespace winstate

class Form : public RuntimeObject {
  public:
    virtual Hwnd hWnd() const = 0;
    // Handle of the form's icon picture, one the shell can display.
    virtual std::uintptr_t iconHandle() const = 0;
    virtual std::int16_t windowState() const = 0;
    virtual void setWindowState(std::int16_t state) = 0;
    virtual void setFocus() = 0;
    // Opens the menu at the mouse pointer; a chosen item's click runs before this returns.
    virtual void popupMenu(Menu& menu) = 0;
    virtual std::string caption() const = 0;
    virtual void setCaption(std::string_view text) = 0;
    // Modeless (0) returns at once; modal (1) returns when the form has been unloaded.
    virtual void show(std::int16_t modal) = 0;

    // Controls by name and, for control arrays, index; a missing one throws Error.
    virtual Label& label(std::string_view name, std::int16_t index = kNoIndex) = 0;
    virtual PictureBox& pictureBox(std::string_view name) = 0;
    virtual Timer& timer(std::string_view name) = 0;
    virtual Menu& menu(std::string_view name) = 0;
    virtual MenuItem& menuItem(std::string_view name, std::int16_t index = kNoIndex) = 0;
};

// Mouse buttons as a bit mask.
namespace button {
inline constexpr std::int16_t Left = 1;
inline constexpr std::int16_t Right = 2;
inline constexpr std::int16_t Middle = 4;
}  // namespace button

// What the system does when a form's events arrive. The runtime calls these one
// at a time on the UI thread and catches every Error they throw at its edge.
class FormEvents {
  public:
    FormEvents() = default;
    FormEvents(const FormEvents&) = delete;
    FormEvents& operator=(const FormEvents&) = delete;
    virtual ~FormEvents() = default;

    virtual void onLoad() {}
    // Leaving cancel at 0 lets the unload go ahead.
    virtual void onUnload(std::int16_t& cancel) { (void)cancel; }
    virtual void onTerminate() {}
    virtual void onActivate() {}
    virtual void onTimer(std::string_view timer) { (void)timer; }
    // control is empty for the form's own background; index is kNoIndex outside arrays.
    virtual void onMouseDown(std::string_view control, std::int16_t index, std::int16_t button,
                             std::int16_t shift, float x, float y) {
        (void)control, (void)index, (void)button, (void)shift, (void)x, (void)y;
    }
    // Buttons and menu items.
    virtual void onClick(std::string_view control, std::int16_t index) {
        (void)control, (void)index;
    }
};

// Mouse pointer values of the screen.
namespace pointer {
inline constexpr std::int16_t Default = 0;
inline constexpr std::int16_t Hourglass = 11;
}  // namespace pointer

// Message box style bits.
namespace msgbox {
inline constexpr std::int16_t Critical = 16;
}  // namespace msgbox

class FormsRuntime {
  public:
    FormsRuntime() = default;
    FormsRuntime(const FormsRuntime&) = delete;
    FormsRuntime& operator=(const FormsRuntime&) = delete;
    virtual ~FormsRuntime() = default;

    // Application information.
    virtual Bool16 prevInstance() = 0;
    virtual std::string exeName() = 0;
    virtual std::string title() = 0;
    virtual std::int16_t major() = 0;
    virtual std::int16_t minor() = 0;
    virtual std::int16_t revision() = 0;

    // Modal box, titled with the application title; returns when closed.
    virtual void msgBox(std::string_view prompt, std::int16_t style) = 0;
    // Ends the program: no event is delivered after it and the process exits
    // once the caller returns to the runtime.
    virtual void end() = 0;

    // Loads the single instance of the form built from the layout, created on first
    // use; runs onLoad before it returns. A loaded form is returned as it is.
    virtual Form& load(const FormLayout& layout, FormEvents& events) = 0;
    // Runs onUnload and destroys the form with its controls; a form that is not
    // loaded is left alone. The program ends when no form is left loaded.
    virtual void unload(Form& form) = 0;
    // Unloads the form named by the layout if it is loaded; otherwise nothing.
    virtual void unload(const FormLayout& layout) = 0;

    virtual void setMousePointer(std::int16_t value) = 0;

    // The one reporter of errors that reach the runtime; rate-limited, never throws.
    virtual void reportError(std::string_view handler, const Error& error) noexcept = 0;
};

}  // namespace pelmora::platform

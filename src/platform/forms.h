// The forms runtime: application information, forms built from layout tables,
// their controls, menus, timers, the screen's pointer, the message box and end.
// Every operation either succeeds or throws Error; nothing returns a status code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

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
    virtual Alignment alignment() const = 0;
    virtual void setAlignment(Alignment value) = 0;
};

// A rectangle in a picture box's user coordinates: two opposite corners.
struct UserRect {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

class PictureBox : public RuntimeObject {
  public:
    virtual bool visible() const = 0;
    virtual void setVisible(bool value) = 0;
    // Left edge in the parent form's coordinate unit (FormDef::unit).
    virtual float left() const = 0;
    virtual void setLeft(float value) = 0;
    // Erases run-time drawing, leaving the background colour and picture.
    virtual void cls() = 0;
    // Repaints the box at once.
    virtual void refresh() = 0;
    // Sets user coordinates for the drawing area: (x1, y1) top-left, (x2, y2) bottom-right.
    virtual void scale(UserRect corners) = 0;
    // Fills the box between two opposite corners, in user coordinates.
    virtual void fillBox(UserRect box, Colour colour) = 0;
    // The level in percent a box that shows one (a meter) shows, for assistive technology.
    virtual void setLevel(float percent) = 0;
};

class Timer : public RuntimeObject {
  public:
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool value) = 0;
};

class MenuItem : public RuntimeObject {
  public:
    virtual bool checked() const = 0;
    virtual void setChecked(bool value) = 0;
};

// A menu that holds items; shown only as a popup.
class Menu : public RuntimeObject {};

enum class ShowMode : std::uint8_t { Modeless, Modal };

class Form : public RuntimeObject {
  public:
    virtual Hwnd hWnd() const = 0;
    // Handle of the form's icon picture, one the shell can display.
    virtual std::uintptr_t iconHandle() const = 0;
    virtual WindowState windowState() const = 0;
    virtual void setWindowState(WindowState state) = 0;
    virtual void setFocus() = 0;
    // Opens the menu at the mouse pointer; a chosen item's click runs before this returns.
    virtual void popupMenu(Menu& menu) = 0;
    virtual std::string caption() const = 0;
    virtual void setCaption(std::string_view text) = 0;
    // Modeless returns at once; modal returns when the form has been unloaded.
    virtual void show(ShowMode mode) = 0;

    // Controls by name and, for control arrays, index; a missing one throws Error.
    virtual Label& label(ControlName name, std::int16_t index = kNoIndex) = 0;
    virtual PictureBox& pictureBox(ControlName name) = 0;
    virtual Timer& timer(ControlName name) = 0;
    virtual Menu& menu(ControlName name) = 0;
    virtual MenuItem& menuItem(ControlName name, std::int16_t index = kNoIndex) = 0;
};

enum class MouseButton : std::uint8_t { Left, Right, Middle };

// The keys held down with a mouse press.
struct Modifiers {
    bool shift = false;
    bool control = false;
    bool alt = false;
    bool operator==(const Modifiers&) const = default;
};

// What the system does when a form's events arrive. The runtime calls these one
// at a time on the UI thread and catches every Error they throw at its edge.
class FormEvents {
  public:
    FormEvents() = default;
    FormEvents(const FormEvents&) = delete;
    FormEvents& operator=(const FormEvents&) = delete;
    virtual ~FormEvents() = default;

    virtual void onLoad() {}
    // Leaving cancel false lets the unload go ahead.
    virtual void onUnload(bool& cancel) { (void)cancel; }
    virtual void onTerminate() {}
    virtual void onActivate() {}
    virtual void onTimer(ControlName timer) { (void)timer; }
    // control is kFormItself for the form's own background; index is kNoIndex outside
    // arrays; x and y in the pressed control's coordinate unit.
    virtual void onMouseDown(ControlName control, std::int16_t index, MouseButton button,
                             Modifiers shift, float x, float y) {
        (void)control, (void)index, (void)button, (void)shift, (void)x, (void)y;
    }
    // Buttons and menu items.
    virtual void onClick(ControlName control, std::int16_t index) { (void)control, (void)index; }
};

enum class MousePointer : std::uint8_t { Default, Hourglass };

// A callable borrowed for the length of one call, so that running it costs no allocation.
class BodyRef {
  public:
    template <typename F>
    BodyRef(F&& body) noexcept  // NOLINT(google-explicit-constructor)
        : object_(const_cast<void*>(static_cast<const void*>(&body))),
          call_([](void* object) { (*static_cast<std::remove_reference_t<F>*>(object))(); }) {}
    void operator()() const { call_(object_); }

  private:
    void* object_;
    void (*call_)(void*);
};

enum class MsgBoxIcon : std::uint8_t { None, Critical, Question, Exclamation, Information };

class FormsRuntime {
  public:
    FormsRuntime() = default;
    FormsRuntime(const FormsRuntime&) = delete;
    FormsRuntime& operator=(const FormsRuntime&) = delete;
    virtual ~FormsRuntime() = default;

    // Application information.
    virtual bool prevInstance() = 0;
    virtual std::string exeName() = 0;
    virtual std::string title() = 0;
    virtual std::int16_t major() = 0;
    virtual std::int16_t minor() = 0;
    virtual std::int16_t revision() = 0;

    // Modal box with an OK button, titled with the application title; returns when closed.
    virtual void msgBox(std::string_view prompt, MsgBoxIcon icon) = 0;
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

    virtual void setMousePointer(MousePointer value) = 0;

    // The one reporter of errors that reach the runtime; rate-limited, never throws.
    virtual void reportError(std::string_view handler, const Error& error) noexcept = 0;
    // Runs body at the runtime's catching edge, for code the OS calls directly: whatever
    // it raises is reported under the handler's name and goes no further.
    virtual void guard(std::string_view handler, BodyRef body) noexcept = 0;
};

}  // namespace pelmora::platform

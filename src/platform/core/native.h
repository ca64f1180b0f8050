// The native interface: what a toolkit must do for the runtime core. The core keeps every
// rule of the forms runtime (lifecycle, lookups, errors, coordinates, where windows go, which
// are enabled, what takes the focus); a native layer only makes windows, widgets, pixels,
// timers, loops and boxes on its toolkit, in pixels, and pushes the user's input back through
// WindowInput. A layer raises no error of the runtime's table: it says what failed with a
// NativeFailure, or throws any other exception for a failure of its toolkit, and the core
// turns either into its own error. One implementation per backend: win32_*.cpp, qt_*.cpp and
// the recording one of the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/types.h"

namespace pelmora::core {

// What a layer could not do, where the user is told which: an embedded picture it cannot
// read, a single-instance guard it cannot take.
enum class Failed : std::uint8_t { Picture, InstanceGuard };

class NativeFailure : public std::runtime_error {
  public:
    NativeFailure(Failed what, const std::string& detail)
        : std::runtime_error(detail), what_(what) {}
    Failed failed() const noexcept { return what_; }

  private:
    Failed what_;
};

// Pixels of a window's client area or of a widget's parent, origin top left; or of the
// desktop (a window's frame, a screen's work area), origin at the primary screen's top left.
struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

struct PixelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PixelPoint&) const = default;
};

// A widget is named by its position in the form's control table.
using WidgetId = std::size_t;

// What assistive technology (a screen reader) is told of a window or a widget.
enum class AccessibleRole : std::uint8_t {
    None,        // not shown to it: lines, timers, the shadow copy of a label
    Window,      // a form without a frame
    Dialog,      // a form with a dialog frame
    StaticText,  // a label: its name is the text it shows
    Pane,        // a picture box holding other controls
    Meter,       // a picture box that shows a level: a level bar, its value 0 to 100
    Image,
    PushButton,
};

// Decided by the core from the layout and the program's texts; a layer only hands it on.
struct Accessible {
    AccessibleRole role = AccessibleRole::None;
    std::string name;
    std::string description;      // a meter: "Low" at or below its low level, else empty
    std::optional<double> value;  // a meter: the level it shows, once it shows one
    std::string valueText;        // the value as read out: "25.5 %"
    bool isDefault = false;       // a push button that Enter chooses
    bool operator==(const Accessible&) const = default;
};

// The keys a window reports; the core decides what they do.
enum class Key : std::uint8_t { Enter, Escape, ContextMenu, F10 };

// One control of a window as the core resolved it from the layout: its place in pixels and
// how it looks and acts. A native layer reads nothing else of the layout.
struct WidgetSpec {
    WidgetId id = 0;
    platform::ControlKind kind = platform::ControlKind::Label;
    std::string_view name;                    // in messages
    std::int16_t index = platform::kNoIndex;  // of a control array's element
    std::optional<WidgetId> parent;           // a picture box, or the window itself
    PixelRect rect;                           // labels, boxes, images, buttons
    PixelPoint from, to;                      // lines
    int frame = 0;                            // picture boxes: frame width on each side
    int lineWidth = 1;                        // lines
    std::string_view text;                    // labels' and buttons' captions
    platform::FontDef font;                   // an empty face: the platform's dialog font
    platform::Colour foreColour = platform::kWindowText;  // text, line or frame colour
    platform::Colour backColour = platform::kWindowBackground;
    bool transparent = false;  // labels: only the text is drawn
    platform::Alignment alignment = platform::Alignment::Left;
    platform::LabelSizing sizing = platform::LabelSizing::Fixed;
    platform::PictureId picture = platform::PictureId::None;
    bool stretch = false;  // images: the picture fills the widget
    bool visible = true;
    bool enabled = true;
    // Buttons: the place in the window's chain of focus, 0 first, one each.
    std::optional<int> tabStop;
    bool isDefault = false;  // buttons: Enter chooses it
    bool isCancel = false;   // buttons: Escape chooses it
    Accessible accessible;
};

// A window as the core resolved it from the layout.
struct WindowSpec {
    std::string_view name;  // in messages
    std::string_view caption;
    platform::FormBorder border = platform::FormBorder::None;
    bool inTaskbar = false;
    platform::Colour backColour = platform::kWindowBackground;
    platform::PictureId picture = platform::PictureId::None;  // drawn at the top left
    platform::PictureId icon = platform::PictureId::None;
    int clientWidth = 0;  // pixels
    int clientHeight = 0;
    Accessible accessible;
};

// One row of a popup menu.
struct PopupRow {
    std::string_view caption;  // "&" marks the access key
    bool separator = false;
    bool checked = false;
    bool enabled = true;
};

// Input a native window pushes into the core, one event at a time on the UI thread.
// The core never lets an error escape these.
class WindowInput {
  public:
    // control: the pressed widget, or none for the window's own background; at: pixels
    // from the pressed widget's (or the client area's) top left.
    virtual void mousePressed(std::optional<WidgetId> control, platform::MouseButton button,
                              platform::Modifiers modifiers, PixelPoint at) noexcept = 0;
    // A button chosen by click, Enter (default) or Escape (cancel).
    virtual void buttonClicked(WidgetId button) noexcept = 0;
    virtual void timerTicked(WidgetId timer) noexcept = 0;
    // The frame's close button or the window manager asked the window to close.
    virtual void closeRequested() noexcept = 0;
    // The window became the active one.
    virtual void activated() noexcept = 0;
    // A key went down while the window, or a widget on it, had the keyboard focus and did
    // not use it itself.
    virtual void keyPressed(Key key, platform::Modifiers modifiers) noexcept = 0;
    // A row of the last popup opened on this window was chosen after popupMenu returned
    // none: a tray host that shows the menu itself reports the choice later.
    virtual void popupChosen(std::size_t row) noexcept = 0;
    // A press on the window while it is disabled: it went to no widget.
    virtual void blockedPress() noexcept = 0;
    // The screens or their work areas changed, and have settled.
    virtual void screensChanged() noexcept = 0;

  protected:
    ~WindowInput() = default;
};

class NativeWindow {
  public:
    NativeWindow() = default;
    NativeWindow(const NativeWindow&) = delete;
    NativeWindow& operator=(const NativeWindow&) = delete;
    virtual ~NativeWindow() = default;

    // The handle the OS calls know the window by, and its icon's.
    virtual platform::Hwnd handle() const = 0;
    virtual std::uintptr_t iconHandle() const = 0;

    // Creates every widget of a hidden window. Each parent comes before what sits in it, and
    // the widgets of one parent come front to back: each goes behind the ones before it.
    virtual void build(std::span<const WidgetSpec> widgets) = 0;

    virtual void setCaption(std::string_view text) = 0;
    // Shows the window where it is, in that state when one is given, else in the one it has.
    virtual void show(std::optional<platform::WindowState> state) = 0;
    virtual void hide() = 0;
    // The window goes with its owner and stays in front of it; null: it has none.
    virtual void setOwner(const NativeWindow* owner) = 0;
    // A disabled window takes no input: a press on it comes as WindowInput::blockedPress.
    virtual void setEnabled(bool enabled) = 0;
    // Dispatches events until endModalLoop().
    virtual void runModalLoop() = 0;
    virtual void endModalLoop() = 0;
    virtual platform::WindowState state() const = 0;
    virtual void setState(platform::WindowState state) = 0;
    // Brings the window in front of the others and makes it the active one.
    virtual void bringToFront() = 0;
    // Gives the keyboard focus to a widget, or to the window itself; a window that is
    // activated again later gives it back to the same one.
    virtual void focusWidget(std::optional<WidgetId> widget) = 0;
    // The window's outer rectangle, frame included, in desktop pixels.
    virtual PixelRect frame() const = 0;
    // Moves the window's outer top left there.
    virtual void moveTo(PixelPoint topLeft) = 0;
    // Opens a popup at a desktop point, or at the mouse pointer; the chosen row, or none
    // when dismissed (or when the choice will come later through WindowInput::popupChosen).
    virtual std::optional<std::size_t> popupMenu(std::span<const PopupRow> rows,
                                                 std::optional<PixelPoint> at) = 0;
    // Closes the popup open on this window, if any: its popupMenu returns none.
    virtual void closePopup() = 0;

    virtual void setText(WidgetId label, std::string_view text) = 0;
    // What assistive technology is told of a widget, or of the window itself, changed: the
    // layer tells it and announces the change. Called only on a change.
    virtual void setAccessible(std::optional<WidgetId> widget, const Accessible& now) = 0;
    virtual void setAlignment(WidgetId label, platform::Alignment alignment) = 0;
    virtual void setVisible(WidgetId widget, bool visible) = 0;
    virtual void moveWidget(WidgetId widget, PixelPoint topLeft) = 0;
    // Drawing on a picture box's persistent surface, in pixels of its drawing area.
    virtual void clearDrawing(WidgetId box) = 0;
    // Fills [left, left + width) x [top, top + height); already clipped to the area.
    virtual void fillBox(WidgetId box, PixelRect area, platform::Colour colour) = 0;
    virtual void repaint(WidgetId box) = 0;
    // Ticks timerTicked every intervalMs until stopTimer.
    virtual void startTimer(WidgetId timer, int intervalMs) = 0;
    virtual void stopTimer(WidgetId timer) = 0;
};

class NativePlatform {
  public:
    NativePlatform() = default;
    NativePlatform(const NativePlatform&) = delete;
    NativePlatform& operator=(const NativePlatform&) = delete;
    virtual ~NativePlatform() = default;

    // A hidden window; input arrives through `input` until the window is destroyed.
    virtual std::unique_ptr<NativeWindow> createWindow(const WindowSpec& shape,
                                                       WindowInput& input) = 0;
    // True while another copy of the program runs; throws Error when it cannot tell.
    virtual bool otherInstanceRunning() = 0;
    // The running file's name without its extension.
    virtual std::string executableName() = 0;
    // A modal box with an OK button; returns when closed.
    virtual void messageBox(std::string_view title, std::string_view prompt,
                            platform::MsgBoxIcon icon) = 0;
    virtual void setPointer(platform::MousePointer pointer) = 0;
    // The work area of each screen (what panels and docks leave free), the primary first.
    virtual std::vector<PixelRect> workAreas() = 0;
    // Where the mouse pointer is, in desktop pixels.
    virtual PixelPoint pointerPosition() = 0;
    // Runs work from the event loop once the running handlers have returned; the core's work
    // never throws.
    virtual void post(std::function<void()> work) = 0;
    // Leaves the event loop: the program ends.
    virtual void quit() = 0;
    // Writes one line of the error report where the platform keeps such lines.
    virtual void writeReportLine(std::string_view line) noexcept = 0;
};

}  // namespace pelmora::core

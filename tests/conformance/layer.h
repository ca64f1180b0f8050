// One native layer under the real runtime core, as the conformance suite sees it: the layer's
// platform and a core over it, the event loop run for a while, the user's input given as a
// user gives it, and what a user sees read back. Each layer has one implementation of this
// (recording_layer.cpp, qt_layer.cpp, win32_layer.cpp); the suite itself never names a toolkit.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/native.h"
#include "platform/core/runtime.h"
#include "platform/forms.h"

namespace pelmora::conformance {

// A row of a popup as the user sees it.
struct Row {
    std::string caption;
    bool separator = false;
    bool checked = false;
    bool enabled = true;
    bool operator==(const Row&) const = default;
};

// A message box as the user saw it before closing it.
struct ShownBox {
    std::string title;
    std::string prompt;
    platform::MsgBoxIcon icon = platform::MsgBoxIcon::None;
    bool seen = false;
};

// Where run-time drawing of a picture box shows: one colour per pixel of its drawing area, rows
// top down, 0x00BBGGRR as the layouts give colours, or kUndrawn where the box's picture shows
// through.
struct Drawing {
    static constexpr std::uint32_t kUndrawn = 0xFF000000u;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const {
        return pixels.at(static_cast<std::size_t>(y * width + x));
    }
};

enum class Key : std::uint8_t { Enter, Escape, Space, ContextMenu, ShiftF10 };

// The key as a window reports it to the core (Shift+F10 as F10 with Shift held).
inline core::Key coreKey(Key key) {
    return key == Key::Enter         ? core::Key::Enter
           : key == Key::Escape      ? core::Key::Escape
           : key == Key::ContextMenu ? core::Key::ContextMenu
                                     : core::Key::F10;
}

// What assistive technology reads of a window or a widget.
struct Told {
    core::AccessibleRole role = core::AccessibleRole::None;
    std::string name;
    std::optional<double> value;
    std::string description;
    bool isDefault = false;
    bool operator==(const Told&) const = default;
};

inline void PrintTo(const Told& told, std::ostream* out) {
    *out << "role " << static_cast<int>(told.role) << " \"" << told.name << "\"";
    if (told.value) {
        *out << " value " << *told.value;
    }
    *out << (told.description.empty() ? "" : " " + told.description)
         << (told.isDefault ? " default" : "");
}

// Chooses a row of the popup that opened (by position), or none to dismiss it.
using PopupAnswer = std::function<std::optional<std::size_t>(const std::vector<Row>& rows)>;

class Layer {
  public:
    Layer() = default;
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;
    virtual ~Layer() = default;

    // "recording", "qt" or "win32": for the cases where layers are known to differ.
    virtual std::string_view name() const = 0;

    virtual core::NativePlatform& native() = 0;
    virtual core::Runtime& runtime() = 0;
    // Takes the runtime and the platform away, as the program's end does.
    virtual void stop() = 0;
    // The report lines the platform was given.
    virtual std::vector<std::string> reports() const = 0;

    // Runs the event loop (posted work, timers, input) until done() holds or the time is up.
    virtual bool waitFor(const std::function<bool()>& done, int milliseconds = 3000) = 0;

    // ---- what the user sees, of a window known by its handle ----
    virtual bool shown(platform::Hwnd window) = 0;
    virtual std::string text(platform::Hwnd window, core::WidgetId label) = 0;
    virtual bool widgetShown(platform::Hwnd window, core::WidgetId widget) = 0;
    // Top left in the parent's drawing area (inside a picture box's frame), in pixels.
    virtual core::PixelPoint position(platform::Hwnd window, core::WidgetId widget) = 0;
    // The drawing on a box whose background is the picture.
    virtual Drawing drawing(platform::Hwnd window, core::WidgetId box,
                            platform::PictureId picture) = 0;
    // The window's outer rectangle, frame included, on the desktop, as the toolkit tells it.
    virtual core::PixelRect frameOf(platform::Hwnd window) = 0;
    virtual bool hourglassShown() = 0;
    // What assistive technology reads of a widget, or of the window itself; none where it
    // sees nothing.
    virtual std::optional<Told> told(platform::Hwnd window,
                                     std::optional<core::WidgetId> widget) = 0;

    // ---- what the user does ----
    // A press at a point of the window's client area, on whatever shows there.
    virtual void press(platform::Hwnd window, core::PixelPoint at, platform::MouseButton button,
                       platform::Modifiers modifiers = {}) = 0;
    virtual void clickButton(platform::Hwnd window, core::WidgetId button) = 0;
    virtual void key(platform::Hwnd window, Key key) = 0;
    // The frame's close button.
    virtual void close(platform::Hwnd window) = 0;
    // The next popup that opens: the answer reads its rows and picks one, as the user does.
    virtual void answerNextPopup(PopupAnswer answer) = 0;
    // The next message box that opens is read and closed with its OK button.
    virtual void closeNextMessageBox() = 0;
    // The last message box the user saw; seen is false when there was none.
    virtual ShownBox lastMessageBox() = 0;
};

// How a layer's file names and makes its layer; it instantiates the suite with one of these.
struct LayerMaker {
    const char* name;
    std::unique_ptr<Layer> (*make)();
};

inline std::string layerName(const ::testing::TestParamInfo<LayerMaker>& info) {
    return info.param.name;
}

// Test reports name the layer, not the bytes of its maker.
inline void PrintTo(const LayerMaker& maker, std::ostream* out) {
    *out << maker.name;
}

// Every case runs on a fresh layer.
class Conformance : public ::testing::TestWithParam<LayerMaker> {
  protected:
    Conformance() : layer_(GetParam().make()) {}
    ~Conformance() override { layer_->stop(); }

    Layer& layer() { return *layer_; }
    core::Runtime& runtime() { return layer_->runtime(); }
    core::NativePlatform& native() { return layer_->native(); }

  private:
    std::unique_ptr<Layer> layer_;
};

}  // namespace pelmora::conformance

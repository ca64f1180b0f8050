// Layouts as data: a form, its controls in stacking order and its menus, in twips.
// The system defines the tables; every backend builds its windows from them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/types.h"

namespace pelmora::platform {

// A control's or menu's name as its layout exports it. Lookups and events carry only
// these, so handlers compare against the layout's constants and a misspelt name does not
// compile.
class ControlName {
  public:
    constexpr ControlName() = default;
    explicit constexpr ControlName(std::string_view text) : text_(text) {}
    constexpr std::string_view text() const noexcept { return text_; }
    constexpr bool empty() const noexcept { return text_.empty(); }
    friend constexpr bool operator==(ControlName a, ControlName b) noexcept {
        return a.text_ == b.text_;
    }

  private:
    std::string_view text_;
};

// What a mouse press on the form's own background names as its control.
inline constexpr ControlName kFormItself{};

enum class ControlKind : std::uint8_t { Label, PictureBox, Line, Image, CommandButton, Timer };

// Pictures that both backends embed from resources/.
enum class PictureId : std::uint8_t { None, Skin, Scale, Icon };

enum class FormBorder : std::uint8_t { None, FixedDialog };
enum class StartUpPosition : std::uint8_t { Manual, CenterOwner, CenterScreen };

// The unit in which a form reports and takes its children's positions at run time.
enum class ScaleUnit : std::uint8_t { Twips, Pixels };

// How a label's size follows its text.
enum class LabelSizing : std::uint8_t {
    Fixed,      // one line, fixed size, text clipped
    AutoSize,   // one line, width and height follow the caption
    WrapFixed,  // fixed size, text wraps at word boundaries
    WrapGrow,   // fixed width, wraps, height follows the text
};

enum class Alignment : std::uint8_t { Left, Right, Center };

enum class WindowState : std::uint8_t { Normal, Minimized, Maximized };

inline constexpr std::uint8_t kAnsiCharset = 0;

struct FontDef {
    std::string_view face;  // empty: the default dialog font
    float points = 0.0f;
    std::int16_t weight = 400;
    std::uint8_t charset = kAnsiCharset;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
};

struct ControlDef {
    ControlName name;
    std::int16_t index = kNoIndex;
    ControlKind kind = ControlKind::Label;
    ControlName parent;  // empty: the form itself
    // Left, top, width, height in twips; for a line its two end points x1, y1, x2, y2.
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string_view text;
    Colour foreColour = kWindowText;  // text colour, or a line's colour
    Colour backColour = kWindowBackground;
    bool transparent = false;  // labels: only the text is drawn
    FontDef font{};
    Alignment alignment = Alignment::Left;
    LabelSizing sizing = LabelSizing::Fixed;
    std::int16_t borderWidth = 1;  // lines, in pixels
    bool framed = false;           // picture boxes: a flat one-pixel frame
    PictureId picture = PictureId::None;
    bool stretch = false;  // images: the picture fills the control
    bool visible = true;
    bool enabled = true;
    std::int16_t tabIndex = -1;  // -1: not in the tab order
    std::int32_t interval = 0;   // timers, milliseconds
    bool isDefault = false;      // buttons: Enter chooses it
    bool isCancel = false;       // buttons: Escape chooses it
    // Picture boxes that show a level (a meter): what it measures, as assistive technology
    // reads it out, and the level in percent at or below which it reads low.
    std::string_view levelName;
    float lowLevel = 0.0f;
};

struct MenuDef {
    ControlName name;
    std::int16_t index = kNoIndex;
    ControlName parent;        // empty: a top-level menu
    std::string_view caption;  // "-" is a separator; "&" marks the access key
    bool checked = false;
    bool enabled = true;
    bool visible = true;
};

struct FormDef {
    std::string_view name;
    std::string_view caption;
    FormBorder border = FormBorder::None;
    std::int32_t clientWidth = 0;  // twips
    std::int32_t clientHeight = 0;
    StartUpPosition startUp = StartUpPosition::CenterScreen;
    bool showInTaskbar = false;
    Colour backColour = kWindowBackground;
    PictureId picture = PictureId::None;
    PictureId icon = PictureId::None;
    WindowState windowState = WindowState::Normal;
    ScaleUnit unit = ScaleUnit::Twips;
    // The menu the keyboard opens at the window (the context-menu key, Shift+F10); empty:
    // none.
    ControlName contextMenu;
};

// Controls are listed front to back within each parent.
struct FormLayout {
    FormDef form;
    std::span<const ControlDef> controls;
    std::span<const MenuDef> menus;
};

}  // namespace pelmora::platform

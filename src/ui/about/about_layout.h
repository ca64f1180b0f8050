// The About box as data: a fixed dialog whose panel Container, holding the icon,
// texts and an engraved rule, starts almost beyond the right edge and slides in.
// Its children's positions are reported in pixels at run time.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/types.h"

namespace pelmora::ui {

// The About box's control names, each stated once; handlers use these.
namespace frmAbout_names {
using platform::ControlName;
inline constexpr ControlName AnimateTimer{"AnimateTimer"};
inline constexpr ControlName Container{"Container"};
inline constexpr ControlName Line1{"Line1"};
inline constexpr ControlName lblDisclaimer{"lblDisclaimer"};
inline constexpr ControlName lblVersion{"lblVersion"};
inline constexpr ControlName lblTitle{"lblTitle"};
inline constexpr ControlName lblDescription{"lblDescription"};
inline constexpr ControlName Image1{"Image1"};
inline constexpr ControlName Label1{"Label1"};
inline constexpr ControlName cmdOK{"cmdOK"};
}  // namespace frmAbout_names

namespace about_layout {

using namespace frmAbout_names;
using platform::ControlKind;
using platform::LabelSizing;

// The default dialog background (the 3D face colour).
inline constexpr platform::Colour kDialogBackground = platform::systemColour(15);
inline constexpr platform::Colour kRed = 0x000000FF;
inline constexpr platform::Colour kDarkBlue = 0x00C00000;
inline constexpr platform::Colour kGrey = 0x00808080;
inline constexpr platform::Colour kWhite = 0x00FFFFFF;
inline constexpr platform::FontDef kDialogFont{};
inline constexpr platform::FontDef kTitleFont{"Arial", 14.25f, 700, platform::kAnsiCharset};

inline constexpr std::string_view kDescription =
    "This program displays the RAM information such as the Total RAM, Free RAM and the "
    "Usage %.";
inline constexpr std::string_view kDisclaimer =
    "This is a freeware program. Please distribute as much as possible. For more FREE "
    "programs please visit    www.pelmora.example";
inline constexpr std::string_view kRightsNotice = "(C) Pelmora team";

// A label on the panel: transparent, left-aligned, no border.
constexpr platform::ControlDef text(platform::ControlName name, std::int32_t left, std::int32_t top,
                                    std::int32_t width, std::int32_t height,
                                    std::string_view caption, platform::Colour colour,
                                    platform::FontDef font, LabelSizing sizing,
                                    std::int16_t tabIndex) {
    platform::ControlDef def{};
    def.name = name;
    def.kind = ControlKind::Label;
    def.parent = Container;
    def.left = left;
    def.top = top;
    def.width = width;
    def.height = height;
    def.text = caption;
    def.foreColour = colour;
    def.backColour = kDialogBackground;
    def.transparent = true;
    def.font = font;
    def.alignment = platform::Alignment::Left;
    def.sizing = sizing;
    def.tabIndex = tabIndex;
    return def;
}

// One line of the engraved rule; both run past the panel's right edge and are clipped.
constexpr platform::ControlDef rule(std::int16_t index, std::int32_t x1, std::int32_t y,
                                    platform::Colour colour, std::int16_t width) {
    platform::ControlDef def{};
    def.name = Line1;
    def.index = index;
    def.kind = ControlKind::Line;
    def.parent = Container;
    def.left = x1;
    def.top = y;
    def.width = 4230;
    def.height = y;
    def.foreColour = colour;
    def.borderWidth = width;
    return def;
}

constexpr platform::ControlDef slideTimer() {
    platform::ControlDef def{};
    def.name = AnimateTimer;
    def.kind = ControlKind::Timer;
    def.interval = 30;
    return def;
}

constexpr platform::ControlDef panel() {
    platform::ControlDef def{};
    def.name = Container;
    def.kind = ControlKind::PictureBox;
    def.left = 4080;
    def.top = 0;
    def.width = 4095;
    def.height = 2055;
    def.backColour = kDialogBackground;
    def.framed = false;
    def.tabIndex = 1;
    return def;
}

constexpr platform::ControlDef icon() {
    platform::ControlDef def{};
    def.name = Image1;
    def.kind = ControlKind::Image;
    def.parent = Container;
    def.left = 150;
    def.top = 0;
    def.width = 720;
    def.height = 720;
    def.picture = platform::PictureId::Icon;
    def.stretch = true;
    return def;
}

constexpr platform::ControlDef okButton() {
    platform::ControlDef def{};
    def.name = cmdOK;
    def.kind = ControlKind::CommandButton;
    def.left = 1440;
    def.top = 2160;
    def.width = 1260;
    def.height = 345;
    def.text = "OK";
    def.backColour = kDialogBackground;
    def.font = kDialogFont;
    def.tabIndex = 0;
    def.isDefault = true;
    def.isCancel = true;
    return def;
}

// Front to back within each parent.
inline constexpr platform::ControlDef kControls[] = {
    slideTimer(),
    panel(),
    rule(1, 0, 1365, kGrey, 1),
    text(lblDisclaimer, 150, 1440, 3795, 585, kDisclaimer, kDarkBlue, kDialogFont,
         LabelSizing::WrapGrow, 6),
    text(lblVersion, 990, 600, 525, 195, "Version", kRed, kDialogFont, LabelSizing::AutoSize, 5),
    rule(0, 15, 1380, kWhite, 2),
    text(lblTitle, 960, 240, 2235, 330, "Application Title", kRed, kTitleFont,
         LabelSizing::AutoSize, 4),
    text(lblDescription, 150, 840, 3765, 450, kDescription, kDarkBlue, kDialogFont,
         LabelSizing::WrapFixed, 3),
    icon(),
    text(Label1, 1950, 0, 1725, 195, kRightsNotice, kDarkBlue, kDialogFont, LabelSizing::AutoSize,
         2),
    okButton(),
};

constexpr platform::FormDef dialog() {
    platform::FormDef def{};
    def.name = "frmAbout";
    def.caption = "About MyApp";
    def.border = platform::FormBorder::FixedDialog;
    def.clientWidth = 4170;
    def.clientHeight = 2550;
    def.startUp = platform::StartUpPosition::CenterOwner;
    def.showInTaskbar = false;
    def.backColour = kDialogBackground;
    def.picture = platform::PictureId::None;
    def.icon = platform::PictureId::Icon;
    def.windowState = platform::WindowState::Normal;
    def.unit = platform::ScaleUnit::Pixels;
    return def;
}

inline constexpr platform::FormDef kForm = dialog();

}  // namespace about_layout

inline constexpr platform::FormLayout kAboutLayout{
    about_layout::kForm, about_layout::kControls, {}};

}  // namespace pelmora::ui

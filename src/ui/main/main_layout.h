// The main window as data: a borderless 208 x 51 skin with three label pairs, the
// edge lines, the meter box, the refresh timer and the Action popup menu.
#pragma once

#include <cstdint>
#include <string_view>

#include "meter/usage_meter.h"
#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/types.h"

namespace pelmora::ui {

// The main window's control and menu names, each stated once; handlers use these.
namespace frmmain_names {
using platform::ControlName;
inline constexpr ControlName lblTotalRam{"lblTotalRam"};
inline constexpr ControlName lblFreeRam{"lblFreeRam"};
inline constexpr ControlName lblRamUsage{"lblRamUsage"};
inline constexpr ControlName picGraph{"picGraph"};
inline constexpr ControlName MainTimer{"MainTimer"};
inline constexpr ControlName Line1{"Line1"};
inline constexpr ControlName Line2{"Line2"};
inline constexpr ControlName Line3{"Line3"};
inline constexpr ControlName mnuA{"mnuA"};
inline constexpr ControlName mnuAction{"mnuAction"};
}  // namespace frmmain_names

// The Action menu's items, by their index in the control array.
enum class ActionItem : std::int16_t {
    KeepOnTop = 0,
    PreciseValues = 1,
    ShowUsageMeter = 2,
    About = 4,
    Exit = 6,
};

namespace main_layout {

using namespace frmmain_names;
using platform::ControlKind;
using platform::kNoIndex;
inline constexpr platform::Alignment Center = platform::Alignment::Center;

inline constexpr platform::Colour kWhite = 0x00FFFFFF;
inline constexpr platform::Colour kRed = 0x000000FF;
inline constexpr platform::Colour kEdgeColour = platform::kWindowBackground;
inline constexpr platform::FontDef kFigureFont{"Arial", 9.0f, 700, platform::kAnsiCharset};

// A figure label: transparent, one line, fixed size, text centred until the first refresh.
constexpr platform::ControlDef figure(platform::ControlName name, std::int16_t index,
                                      std::int32_t left, std::int32_t top, std::int32_t height,
                                      std::string_view text, platform::Colour colour,
                                      std::int16_t tabIndex) {
    platform::ControlDef def{};
    def.name = name;
    def.index = index;
    def.kind = ControlKind::Label;
    def.left = left;
    def.top = top;
    def.width = 2910;
    def.height = height;
    def.text = text;
    def.foreColour = colour;
    def.transparent = true;
    def.font = kFigureFont;
    def.alignment = Center;
    def.sizing = platform::LabelSizing::Fixed;
    def.tabIndex = tabIndex;
    return def;
}

// An edge line one pixel wide in the window-background colour.
constexpr platform::ControlDef edge(platform::ControlName name, std::int32_t x1, std::int32_t y1,
                                    std::int32_t x2, std::int32_t y2) {
    platform::ControlDef def{};
    def.name = name;
    def.kind = ControlKind::Line;
    def.left = x1;
    def.top = y1;
    def.width = x2;
    def.height = y2;
    def.foreColour = kEdgeColour;
    def.borderWidth = 1;
    return def;
}

constexpr platform::ControlDef meterBox() {
    platform::ControlDef def{};
    def.name = picGraph;
    def.kind = ControlKind::PictureBox;
    def.left = 2925;
    def.top = 15;
    def.width = 180;
    def.height = 750;
    def.foreColour = platform::kWindowText;
    def.backColour = kWhite;
    def.framed = true;
    def.picture = platform::PictureId::Scale;
    def.visible = false;
    def.tabIndex = 6;
    def.levelName = "Free memory";
    def.lowLevel = meter::kRedLimit;
    return def;
}

constexpr platform::ControlDef refreshTimer() {
    platform::ControlDef def{};
    def.name = MainTimer;
    def.kind = ControlKind::Timer;
    def.interval = 30;
    return def;
}

// Front to back.
inline constexpr platform::ControlDef kControls[] = {
    meterBox(),
    refreshTimer(),
    edge(Line3, 3105, 0, 3105, 765),
    edge(Line2, 0, 0, 3105, 0),
    edge(Line1, 0, 0, 0, 765),
    figure(lblRamUsage, 1, 105, 510, 225, "RAM Usage:", kWhite, 5),
    figure(lblFreeRam, 1, 105, 285, 195, "Free RAM:", kWhite, 4),
    figure(lblRamUsage, 0, 120, 495, 225, "RAM Usage:", kRed, 2),
    figure(lblFreeRam, 0, 120, 270, 195, "Free RAM:", kRed, 1),
    figure(lblTotalRam, 0, 105, 45, 195, "Total RAM:", kWhite, 0),
    figure(lblTotalRam, 1, 120, 30, 195, "Total RAM:", kRed, 3),
};

// A row of the Action menu, enabled and visible.
constexpr platform::MenuDef row(std::int16_t index, std::string_view caption, bool checked) {
    platform::MenuDef def{};
    def.name = mnuAction;
    def.index = index;
    def.parent = mnuA;
    def.caption = caption;
    def.checked = checked;
    return def;
}

// An item of the Action menu, named by its command.
constexpr platform::MenuDef action(ActionItem item, std::string_view caption,
                                   bool checked = false) {
    return row(static_cast<std::int16_t>(item), caption, checked);
}

constexpr platform::MenuDef separator(std::int16_t index) {
    return row(index, "-", false);
}

// The top-level menu is never shown as a menu bar, only as a popup.
constexpr platform::MenuDef actionMenu() {
    platform::MenuDef def{};
    def.name = mnuA;
    def.caption = "&Action";
    def.visible = false;
    return def;
}

inline constexpr platform::MenuDef kMenus[] = {
    actionMenu(),
    action(ActionItem::KeepOnTop, "&Keep on top"),
    action(ActionItem::PreciseValues, "&Precise Values"),
    action(ActionItem::ShowUsageMeter, "&Show Usage Meter", true),
    separator(3),
    action(ActionItem::About, "&About"),
    separator(5),
    action(ActionItem::Exit, "E&xit"),
};

constexpr platform::FormDef window() {
    platform::FormDef def{};
    def.name = "frmmain";
    def.caption = "";
    def.border = platform::FormBorder::None;
    def.clientWidth = 3120;
    def.clientHeight = 765;
    def.startUp = platform::StartUpPosition::CenterScreen;
    def.showInTaskbar = false;
    def.backColour = platform::kWindowBackground;
    def.picture = platform::PictureId::Skin;
    def.icon = platform::PictureId::Icon;
    def.windowState = platform::WindowState::Normal;
    def.unit = platform::ScaleUnit::Twips;
    def.contextMenu = mnuA;
    return def;
}

inline constexpr platform::FormDef kForm = window();

}  // namespace main_layout

inline constexpr platform::FormLayout kMainLayout{main_layout::kForm, main_layout::kControls,
                                                  main_layout::kMenus};

}  // namespace pelmora::ui

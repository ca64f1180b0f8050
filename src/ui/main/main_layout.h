// The main window as data: a borderless 208 x 51 skin with three label pairs, the
// edge lines, the meter box, the refresh timer and the Action popup menu.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/types.h"

namespace pelmora::ui {

namespace main_layout {

using platform::ControlKind;
using platform::kNoIndex;
using platform::align::Center;

inline constexpr platform::Colour kWhite = 0x00FFFFFF;
inline constexpr platform::Colour kRed = 0x000000FF;
inline constexpr platform::Colour kEdgeColour = platform::kWindowBackground;
inline constexpr platform::FontDef kFigureFont{"Arial", 9.0f, 700, platform::kAnsiCharset};

// A figure label: transparent, one line, fixed size, text centred until the first refresh.
constexpr platform::ControlDef figure(std::string_view name, std::int16_t index, std::int32_t left,
                                      std::int32_t top, std::int32_t height, std::string_view text,
                                      platform::Colour colour, std::int16_t tabIndex) {
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
constexpr platform::ControlDef edge(std::string_view name, std::int32_t x1, std::int32_t y1,
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
    def.name = "picGraph";
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
    return def;
}

constexpr platform::ControlDef refreshTimer() {
    platform::ControlDef def{};
    def.name = "MainTimer";
    def.kind = ControlKind::Timer;
    def.interval = 30;
    return def;
}

// Front to back.
inline constexpr platform::ControlDef kControls[] = {
    meterBox(),
    refreshTimer(),
    edge("Line3", 3105, 0, 3105, 765),
    edge("Line2", 0, 0, 3105, 0),
    edge("Line1", 0, 0, 0, 765),
    figure("lblRamUsage", 1, 105, 510, 225, "RAM Usage:", kWhite, 5),
    figure("lblFreeRam", 1, 105, 285, 195, "Free RAM:", kWhite, 4),
    figure("lblRamUsage", 0, 120, 495, 225, "RAM Usage:", kRed, 2),
    figure("lblFreeRam", 0, 120, 270, 195, "Free RAM:", kRed, 1),
    figure("lblTotalRam", 0, 105, 45, 195, "Total RAM:", kWhite, 0),
    figure("lblTotalRam", 1, 120, 30, 195, "Total RAM:", kRed, 3),
};

// An item of the Action menu, enabled and visible.
constexpr platform::MenuDef action(std::int16_t index, std::string_view caption,
                                   bool checked = false) {
    platform::MenuDef def{};
    def.name = "mnuAction";
    def.index = index;
    def.parent = "mnuA";
    def.caption = caption;
    def.checked = checked;
    return def;
}

// The top-level menu is never shown as a menu bar, only as a popup.
constexpr platform::MenuDef actionMenu() {
    platform::MenuDef def{};
    def.name = "mnuA";
    def.caption = "&Action";
    def.visible = false;
    return def;
}

inline constexpr platform::MenuDef kMenus[] = {
    actionMenu(),
    action(0, "&Keep on top"),
    action(1, "&Precise Values"),
    action(2, "&Show Usage Meter", true),
    action(3, "-"),
    action(4, "&About"),
    action(5, "-"),
    action(6, "E&xit"),
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
    def.windowState = platform::winstate::Normal;
    def.unit = platform::ScaleUnit::Twips;
    return def;
}

inline constexpr platform::FormDef kForm = window();

}  // namespace main_layout

inline constexpr platform::FormLayout kMainLayout{main_layout::kForm, main_layout::kControls,
                                                  main_layout::kMenus};

}  // namespace pelmora::ui

#include "platform/core/accessible.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace pelmora::core {

using platform::ControlKind;

namespace {

bool overlap(const platform::ControlDef& a, const platform::ControlDef& b) noexcept {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

bool shadowOfAnother(const platform::FormLayout& layout, std::size_t control) noexcept {
    const platform::ControlDef& def = layout.controls[control];
    for (std::size_t i = 0; i < control; ++i) {
        const platform::ControlDef& front = layout.controls[i];
        if (front.kind == ControlKind::Label && front.name == def.name &&
            front.parent == def.parent && overlap(front, def)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string withoutAccessMarker(std::string_view caption) {
    std::string text;
    text.reserve(caption.size());
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
        }
        text += caption[i];
    }
    return text;
}

Accessible accessibleWindow(const platform::FormDef& def, std::string_view caption,
                            std::string_view title) {
    Accessible window;
    window.role =
        def.border == platform::FormBorder::None ? AccessibleRole::Window : AccessibleRole::Dialog;
    window.name = caption.empty() ? title : caption;
    return window;
}

Accessible accessibleControl(const platform::FormLayout& layout, std::size_t control,
                             std::string_view title) {
    const platform::ControlDef& def = layout.controls[control];
    Accessible told;
    switch (def.kind) {
        case ControlKind::Label:
            if (!shadowOfAnother(layout, control)) {
                told = accessibleText(def.text);
            }
            break;
        case ControlKind::PictureBox:
            told.role = def.levelName.empty() ? AccessibleRole::Pane : AccessibleRole::Meter;
            told.name = def.levelName;
            break;
        case ControlKind::Image:
            told.role = AccessibleRole::Image;
            told.name = def.picture == platform::PictureId::Icon ? title : std::string_view{};
            break;
        case ControlKind::CommandButton:
            told.role = AccessibleRole::PushButton;
            told.name = withoutAccessMarker(def.text);
            told.isDefault = def.isDefault;
            break;
        case ControlKind::Line:
        case ControlKind::Timer:
            break;
    }
    return told;
}

Accessible accessibleText(std::string_view text) {
    Accessible told;
    told.role = AccessibleRole::StaticText;
    told.name = text;
    return told;
}

Accessible accessibleLevel(const platform::ControlDef& def, float percent) {
    Accessible told;
    told.role = AccessibleRole::Meter;
    told.name = def.levelName;
    told.value = static_cast<double>(percent);
    told.description = percent <= def.lowLevel ? "Low" : "";
    // Whole percents as they are, others to a tenth: "25 %", "25.5 %".
    char text[48];
    const double tenths = std::round(static_cast<double>(percent) * 10.0) / 10.0;
    std::snprintf(text, sizeof text, tenths == std::round(tenths) ? "%.0f %%" : "%.1f %%", tenths);
    told.valueText = text;
    return told;
}

}  // namespace pelmora::core

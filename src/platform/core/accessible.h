// The accessible tree: what assistive technology is told of each form and control (its role,
// name and value), decided once from the layout and the program's texts and handed to the
// native layers in the widget plan.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/core/native.h"
#include "platform/layout.h"

namespace pelmora::core {

// A window: named by its caption, or after the program when the caption is empty.
Accessible accessibleWindow(const platform::FormDef& def, std::string_view caption,
                            std::string_view title);

// A control of the layout, as first built. A label that lies over another of the same name
// listed before it is that one's shadow and is not told; the icon is named after the program.
Accessible accessibleControl(const platform::FormLayout& layout, std::size_t control,
                             std::string_view title);

// A label's once its text changed.
Accessible accessibleText(std::string_view text);

// A meter's once it shows a level.
Accessible accessibleLevel(const platform::ControlDef& def, float percent);

// A caption or button text as read out: without the "&" that marks its access key ("&&"
// stands for one "&").
std::string withoutAccessMarker(std::string_view caption);

}  // namespace pelmora::core

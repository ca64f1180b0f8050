// Mouse presses on the main window: the right button opens the Action menu, any
// other drags the whole window, whichever part of it was pressed.
#include <array>

#include "app/frmmain.h"
#include "ui/main/window_calls.h"

namespace pelmora::app {

namespace {

// The form's own background (empty name), the three label arrays and the meter.
constexpr std::array<std::string_view, 5> kPressable{"", "lblTotalRam", "lblFreeRam", "lblRamUsage",
                                                     "picGraph"};

bool pressable(std::string_view control) {
    for (std::string_view name : kPressable) {
        if (name == control) {
            return true;
        }
    }
    return false;
}

}  // namespace

void FrmMain::onMouseDown(std::string_view control, std::int16_t /*index*/, std::int16_t button,
                          std::int16_t /*shift*/, float /*x*/, float /*y*/) {
    if (!pressable(control)) {
        return;
    }
    platform::Form& form = me();
    if ((button & platform::button::Right) != 0) {
        form.popupMenu(form.menu("mnuA"));
    } else {
        ui::Drag_Form(os_, form);
    }
}

}  // namespace pelmora::app

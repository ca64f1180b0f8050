// Mouse presses on the main window: the right button opens the Action menu, any
// other drags the whole window, whichever part of it was pressed.
#include <array>

#include "ui/main/frmmain.h"
#include "ui/main/window_calls.h"

namespace pelmora::ui {

using namespace frmmain_names;

namespace {

// The form's own background, the three label arrays and the meter.
constexpr std::array<platform::ControlName, 5> kPressable{platform::kFormItself, lblTotalRam,
                                                          lblFreeRam, lblRamUsage, picGraph};

bool pressable(platform::ControlName control) {
    for (platform::ControlName name : kPressable) {
        if (name == control) {
            return true;
        }
    }
    return false;
}

}  // namespace

void FrmMain::onMouseDown(platform::ControlName control, std::int16_t /*index*/,
                          platform::MouseButton button, platform::Modifiers /*shift*/, float /*x*/,
                          float /*y*/) {
    if (!pressable(control)) {
        return;
    }
    platform::Form& form = me();
    if (button == platform::MouseButton::Right) {
        form.popupMenu(form.menu(mnuA));
    } else {
        Drag_Form(os_, form);
    }
}

}  // namespace pelmora::ui

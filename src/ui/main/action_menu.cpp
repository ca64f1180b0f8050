// The Action menu's click handler and the About command.
#include "ui/about/about_layout.h"
#include "ui/main/frmmain.h"
#include "ui/main/window_calls.h"

namespace pelmora::ui {

using namespace frmmain_names;

namespace {

platform::MenuItem& item(platform::Form& form, ActionItem which) {
    return form.menuItem(mnuAction, static_cast<std::int16_t>(which));
}

// Flips the check mark and returns the mark as read back.
bool flip(platform::MenuItem& item) {
    item.setChecked(!item.checked());
    return item.checked();
}

}  // namespace

void FrmMain::onClick(platform::ControlName control, std::int16_t index) {
    if (control == mnuAction) {
        mnuAction_Click(static_cast<ActionItem>(index));
    }
}

void FrmMain::mnuAction_Click(ActionItem which) {
    switch (which) {
        case ActionItem::KeepOnTop: {
            platform::Form& form = me();
            if (flip(item(form, ActionItem::KeepOnTop))) {
                Set_OnTop(os_, form);
            } else {
                Set_NotOnTop(os_, form);
            }
            break;
        }
        case ActionItem::PreciseValues:
            state_.preciseValues = platform::toBool16(flip(item(me(), ActionItem::PreciseValues)));
            break;
        case ActionItem::ShowUsageMeter:
            flip(item(me(), ActionItem::ShowUsageMeter));
            break;
        case ActionItem::About:
            showAbout();
            break;
        case ActionItem::Exit:
            runtime_.unload(me());
            break;
    }
}

void FrmMain::showAbout() {
    runtime_.setMousePointer(platform::MousePointer::Hourglass);
    Set_NotOnTop(os_, me());
    runtime_.load(kAboutLayout, frmAbout_).show(platform::ShowMode::Modal);
    // The tray menu can close the main window while the box is open; then there is
    // nothing left to put back on top, and it must not be loaded again.
    if (!loaded_) {
        return;
    }
    platform::Form& form = me();
    if (item(form, ActionItem::KeepOnTop).checked()) {
        Set_OnTop(os_, form);
        runtime_.setMousePointer(platform::MousePointer::Default);
    }
}

}  // namespace pelmora::ui

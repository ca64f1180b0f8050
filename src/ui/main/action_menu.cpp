// The Action menu's click handler and the About command.
#include "app/frmmain.h"
#include "ui/about/about_layout.h"
#include "ui/main/window_calls.h"

namespace pelmora::app {

namespace {

// Flips the check mark and returns the mark as read back.
platform::Bool16 flip(platform::MenuItem& item) {
    item.setChecked(platform::toBool16(item.checked() == 0));
    return item.checked();
}

}  // namespace

void FrmMain::onClick(std::string_view control, std::int16_t index) {
    if (control == "mnuAction") {
        mnuAction_Click(index);
    }
}

void FrmMain::mnuAction_Click(std::int16_t index) {
    switch (index) {
        case 0: {
            platform::Form& form = me();
            if (flip(form.menuItem("mnuAction", 0)) != 0) {
                ui::Set_OnTop(os_, form);
            } else {
                ui::Set_NotOnTop(os_, form);
            }
            break;
        }
        case 1:
            state_.preciseValues = flip(me().menuItem("mnuAction", 1));
            break;
        case 2:
            flip(me().menuItem("mnuAction", 2));
            break;
        case 4:
            showAbout();
            break;
        case 6:
            runtime_.unload(me());
            break;
        default:
            break;
    }
}

void FrmMain::showAbout() {
    runtime_.setMousePointer(platform::pointer::Hourglass);
    ui::Set_NotOnTop(os_, me());
    runtime_.load(ui::kAboutLayout, frmAbout_).show(1);
    // The tray menu can close the main window while the box is open; then there is
    // nothing left to put back on top, and it must not be loaded again.
    if (!loaded_) {
        return;
    }
    platform::Form& form = me();
    if (form.menuItem("mnuAction", 0).checked() != 0) {
        ui::Set_OnTop(os_, form);
        runtime_.setMousePointer(platform::pointer::Default);
    }
}

}  // namespace pelmora::app

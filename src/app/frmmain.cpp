#include "app/frmmain.h"

#include "tray/api_stuff.h"
#include "ui/main/main_layout.h"

namespace pelmora::app {

platform::Form& FrmMain::me() {
    return runtime_.load(ui::kMainLayout, *this);
}

void FrmMain::onLoad() {
    state_ = readout::MainState{};
    loaded_ = true;
    platform::Form& form = me();
    readout::Update_Display(form, state_, os_);
    platform::Menu& menu = form.menu("mnuA");
    tray::Tray_Add(form, menu);
}

void FrmMain::onUnload(std::int16_t& /*cancel*/) {
    loaded_ = false;
    tray::Tray_Remove();
}

void FrmMain::onTerminate() {
    runtime_.unload(ui::kMainLayout);
}

void FrmMain::onTimer(std::string_view timer) {
    if (timer == "MainTimer") {
        MainTimer_Timer();
    }
}

void FrmMain::MainTimer_Timer() {
    platform::Form& form = me();
    readout::Update_Display(form, state_, os_);
    platform::PictureBox& meter = form.pictureBox("picGraph");
    meter.setVisible(form.menuItem("mnuAction", 2).checked());
}

}  // namespace pelmora::app

#include "ui/main/frmmain.h"

#include "tray/api_stuff.h"

namespace pelmora::ui {

using namespace frmmain_names;

platform::Form& FrmMain::me() {
    return runtime_.load(kMainLayout, *this);
}

void FrmMain::onLoad() {
    state_ = MainState{};
    loaded_ = true;
    trayAdded_ = false;
    platform::Form& form = me();
    Update_Display(form, state_, os_);
    addTrayIcon(form);
}

void FrmMain::addTrayIcon(platform::Form& form) {
    platform::Menu& menu = form.menu(mnuA);
    tray::Tray_Add(form, menu);
    trayAdded_ = true;
}

void FrmMain::onUnload(bool& /*cancel*/) {
    loaded_ = false;
    trayAdded_ = false;
    tray::Tray_Remove();
}

void FrmMain::onTerminate() {
    runtime_.unload(kMainLayout);
}

void FrmMain::onTimer(platform::ControlName timer) {
    if (timer == MainTimer) {
        MainTimer_Timer();
    }
}

void FrmMain::MainTimer_Timer() {
    platform::Form& form = me();
    Update_Display(form, state_, os_);
    // A first refresh that failed left the window without its icon and hook: the first
    // refresh that succeeds puts them in, once.
    if (!trayAdded_) {
        addTrayIcon(form);
    }
    platform::PictureBox& meter = form.pictureBox(picGraph);
    meter.setVisible(
        form.menuItem(mnuAction, static_cast<std::int16_t>(ActionItem::ShowUsageMeter)).checked());
}

}  // namespace pelmora::ui

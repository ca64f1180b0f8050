// The main window's events: load, the refresh timer, unload and terminate, the Action
// menu's commands and the mouse.
#pragma once

#include <cstdint>

#include "platform/forms.h"
#include "platform/os_calls.h"
#include "ui/about/frm_about.h"
#include "ui/main/main_layout.h"
#include "ui/main/update_display.h"

namespace pelmora::ui {

class FrmMain final : public platform::FormEvents {
  public:
    FrmMain(platform::FormsRuntime& runtime, platform::OsCalls& os)
        : runtime_(runtime), os_(os), frmAbout_(runtime) {}

    void onLoad() override;
    void onUnload(bool& cancel) override;
    void onTerminate() override;
    void onTimer(platform::ControlName timer) override;
    void onMouseDown(platform::ControlName control, std::int16_t index,
                     platform::MouseButton button, platform::Modifiers shift, float x,
                     float y) override;
    void onClick(platform::ControlName control, std::int16_t index) override;

    const MainState& state() const noexcept { return state_; }
    bool loaded() const noexcept { return loaded_; }

  private:
    // The loaded main window; inside its own handlers this never loads it anew.
    platform::Form& me();
    void MainTimer_Timer();
    void mnuAction_Click(ActionItem item);
    void showAbout();
    void addTrayIcon(platform::Form& form);

    platform::FormsRuntime& runtime_;
    platform::OsCalls& os_;
    MainState state_;
    FrmAbout frmAbout_;
    bool loaded_ = false;
    bool trayAdded_ = false;
};

}  // namespace pelmora::ui

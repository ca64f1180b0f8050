// The main window's events: load, the refresh timer, unload and terminate here;
// the Action menu's commands and the mouse in ui/main.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/forms.h"
#include "platform/os_calls.h"
#include "readout/update_display.h"
#include "ui/about/frm_about.h"

namespace pelmora::app {

class FrmMain final : public platform::FormEvents {
  public:
    FrmMain(platform::FormsRuntime& runtime, platform::OsCalls& os)
        : runtime_(runtime), os_(os), frmAbout_(runtime) {}

    void onLoad() override;
    void onUnload(std::int16_t& cancel) override;
    void onTerminate() override;
    void onTimer(std::string_view timer) override;
    void onMouseDown(std::string_view control, std::int16_t index, std::int16_t button,
                     std::int16_t shift, float x, float y) override;
    void onClick(std::string_view control, std::int16_t index) override;

    const readout::MainState& state() const noexcept { return state_; }
    bool loaded() const noexcept { return loaded_; }

  private:
    // The loaded main window; inside its own handlers this never loads it anew.
    platform::Form& me();
    void MainTimer_Timer();
    void mnuAction_Click(std::int16_t index);
    void showAbout();

    platform::FormsRuntime& runtime_;
    platform::OsCalls& os_;
    readout::MainState state_;
    ui::FrmAbout frmAbout_;
    bool loaded_ = false;
};

}  // namespace pelmora::app

// The About box's behaviour: caption, title and version at load, the default
// pointer on activation, the panel's slide, and OK closing it.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/forms.h"

namespace pelmora::ui {

// How far the panel moves per tick, and the left edge at which it comes to rest,
// both in the box's coordinate unit.
inline constexpr float kSlideStep = 30.0f;
inline constexpr float kSlideEnd = 30.0f;

class FrmAbout final : public platform::FormEvents {
  public:
    explicit FrmAbout(platform::FormsRuntime& runtime) : runtime_(runtime) {}

    void onLoad() override;
    void onActivate() override;
    void onTimer(platform::ControlName timer) override;
    void onClick(platform::ControlName control, std::int16_t index) override;

  private:
    platform::Form& me();
    void AnimateTimer_Timer();

    platform::FormsRuntime& runtime_;
};

}  // namespace pelmora::ui

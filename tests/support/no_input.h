// Input for native windows a test makes outside any form: every event goes nowhere.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/core/native.h"

namespace pelmora::testing {

class NoInput final : public core::WindowInput {
  public:
    void mousePressed(std::optional<core::WidgetId>, platform::MouseButton, platform::Modifiers,
                      core::PixelPoint) noexcept override {}
    void buttonClicked(core::WidgetId) noexcept override {}
    void timerTicked(core::WidgetId) noexcept override {}
    void closeRequested() noexcept override {}
    void activated() noexcept override {}
    void keyPressed(core::Key, platform::Modifiers) noexcept override {}
    void popupChosen(std::size_t) noexcept override {}
    void blockedPress() noexcept override {}
    void screensChanged() noexcept override {}
};

}  // namespace pelmora::testing

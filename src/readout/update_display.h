// One refresh of everything the main window shows: the figures, the six labels,
// the usage meter and the tray tip.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/forms.h"
#include "platform/os_calls.h"
#include "platform/types.h"

namespace pelmora::readout {

// The main window's own fields, all zero or empty when the window is created.
struct MainState {
    std::uint8_t memLoad = 0;
    std::int64_t availPhys = 0;
    std::int64_t totalPhys = 0;
    platform::Bool16 preciseValues = platform::kFalse;
    std::string_view totalUnit;
    std::string_view freeUnit;
};

// Totals above this many bytes are left-aligned; the rest are centred.
inline constexpr std::int64_t kAlignmentThreshold = 100'098'048;

// Queries the figures, sets alignment and captions of the six labels, redraws the
// meter in picGraph and hands the tip to the tray. Any failing step raises its Error
// at once; what the steps before it did stays done.
void Update_Display(platform::Form& frmmain, MainState& state, platform::OsCalls& os);

}  // namespace pelmora::readout

// One refresh of everything the main window shows: the figures, the six labels,
// the usage meter and the tray tip.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/forms.h"
#include "platform/os_calls.h"
#include "platform/types.h"

namespace pelmora::ui {

// The main window's own fields, all zero or empty when the window is created.
// The figures and mode that a refresh puts on the labels and the meter.
struct ShownFigures {
    std::uint8_t memLoad = 0;
    std::int64_t totalPhys = 0;
    std::int64_t availPhys = 0;
    bool precise = false;
    friend bool operator==(const ShownFigures&, const ShownFigures&) = default;
};

struct MainState {
    std::uint8_t memLoad = 0;
    std::int64_t availPhys = 0;
    std::int64_t totalPhys = 0;
    platform::Bool16 preciseValues = platform::kFalse;
    std::string_view totalUnit;
    std::string_view freeUnit;
    // What the last refresh that reached its end showed; none after a failure.
    std::optional<ShownFigures> shown;
};

// Totals above this many bytes are left-aligned; the rest are centred.
inline constexpr std::int64_t kAlignmentThreshold = 100'098'048;

// Queries the figures, sets alignment and captions of the six labels, redraws the
// meter in picGraph and hands the tip to the tray. When the figures and mode are those
// the last complete refresh showed, the labels and meter are left as they are (the meter
// only asked to show its drawing again, in case the window lost it) and only the tip is
// handed on. Any failing step raises its Error at once; what the steps before it did
// stays done.
void Update_Display(platform::Form& frmmain, MainState& state, platform::OsCalls& os);

}  // namespace pelmora::ui

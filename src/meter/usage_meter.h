// The usage meter: the free share of memory as a bar in a picture box.
#pragma once

#include <cstdint>

#include "platform/errors.h"
#include "platform/forms.h"
#include "platform/types.h"

namespace pelmora::meter {

inline constexpr platform::Colour kGreen = 0x0000FF00;
inline constexpr platform::Colour kRed = 0x000000FF;
// Shares above this percentage are green, the rest red.
inline constexpr float kRedLimit = 25.0f;

// User coordinates of the drawing area: x from 1 (left) to 4 (right), y from 0
// (bottom) to 100 (top); the bar covers x 1 to 3.
inline constexpr platform::UserRect kMeterScale{1.0f, 100.0f, 4.0f, 0.0f};
inline constexpr float kBarLeft = 1.0f;
inline constexpr float kBarRight = 3.0f;

// curVal as a percentage of maxVal, or the arithmetic error of computing it.
float percentageOf(std::int64_t maxVal, float curVal);

// Clears pic and draws the bar for curVal out of maxVal. The percentage is worked
// out before anything is cleared, so a failing division leaves the last bar.
platform::Status DrawPercent_Graph(std::int64_t maxVal, float curVal, platform::PictureBox& pic);

}  // namespace pelmora::meter

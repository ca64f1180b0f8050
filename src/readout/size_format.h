// Scaling of a byte count to the whole number and unit the main window shows.
#pragma once

#include <cstdint>
#include <string_view>

namespace pelmora::readout {

inline constexpr std::string_view kKiloUnit = " KB";
inline constexpr std::string_view kMegaUnit = " MB";
inline constexpr std::string_view kGigaUnit = " GB";

struct ScaledSize {
    std::int64_t shown = 0;
    std::string_view unit;
};

// Rounds to the nearest whole number, an exact half to the even neighbour.
std::int64_t roundHalfEven(double value) noexcept;

// Byte count to KB count, rounded on the exact quotient.
std::int64_t kiloCount(std::int64_t bytes) noexcept;

// KB up to 1024 KB, then MB (one more than the rounded count), then GB; each
// step rounds the result of the one before it.
ScaledSize scaleSize(std::int64_t bytes) noexcept;

}  // namespace pelmora::readout

#include "readout/size_format.h"

#include <cmath>

namespace pelmora::readout {

namespace {
constexpr std::int64_t kLastKiloCount = 1024;
constexpr std::int64_t kLastMegaKiloCount = 1024 * 1024;
}  // namespace

std::int64_t roundHalfEven(double value) noexcept {
    // nearbyint follows the current rounding mode, which is to-nearest-even by default.
    return static_cast<std::int64_t>(std::nearbyint(value));
}

std::int64_t kiloCount(std::int64_t bytes) noexcept {
    return roundHalfEven(static_cast<double>(bytes) / 1024.0);
}

ScaledSize scaleSize(std::int64_t bytes) noexcept {
    const std::int64_t kilo = kiloCount(bytes);
    if (kilo <= kLastKiloCount) {
        return {kilo, kKiloUnit};
    }
    const std::int64_t mega = roundHalfEven(static_cast<double>(kilo) / 1024.0);
    if (kilo <= kLastMegaKiloCount) {
        return {mega + 1, kMegaUnit};
    }
    return {roundHalfEven(static_cast<double>(mega) / 1024.0), kGigaUnit};
}

}  // namespace pelmora::readout

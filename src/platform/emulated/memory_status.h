// The memory status record filled from the figures a system gives, as Windows fills it.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/os_calls.h"

namespace pelmora::emulated {

// What a layer reads from its system, in bytes; the rest of the record follows from it.
struct MemoryFigures {
    // The share in use as the system states it; worked out from the physical figures if unset.
    std::optional<std::uint32_t> load = std::nullopt;
    std::uint64_t totalPhys = 0;
    std::uint64_t availPhys = 0;
    std::uint64_t totalSwap = 0;
    std::uint64_t freeSwap = 0;
};

// The share of memory in use, in percent, rounded to the nearest whole number.
std::uint32_t memoryLoadPercent(std::uint64_t total, std::uint64_t available) noexcept;

// Windows fails the call unless dwLength names the record's own size.
constexpr bool acceptsMemoryRecord(const platform::MEMORYSTATUSEX& status) noexcept {
    return status.dwLength == sizeof(platform::MEMORYSTATUSEX);
}

// GlobalMemoryStatusEx: fills the record and returns 1, or returns 0 and leaves it untouched
// when the record is refused.
std::int32_t fillMemoryStatus(platform::MEMORYSTATUSEX& status,
                              const MemoryFigures& figures) noexcept;

}  // namespace pelmora::emulated

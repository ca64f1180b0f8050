#include "platform/emulated/memory_status.h"

#include <cmath>

namespace pelmora::emulated {

namespace {
// The user part of a 64-bit address space.
constexpr std::uint64_t kUserAddressSpace = (std::uint64_t{1} << 47) - 4096;
}  // namespace

std::uint32_t memoryLoadPercent(std::uint64_t total, std::uint64_t available) noexcept {
    if (total == 0) {
        return 0;
    }
    const std::uint64_t used = available >= total ? 0 : total - available;
    // Figures of more than an exabyte leave the exact sum too large; the share is still exact
    // to far better than a percent.
    if (used > UINT64_MAX / 100) {
        return static_cast<std::uint32_t>(std::lround(100.0L * used / total));
    }
    return static_cast<std::uint32_t>((used * 100 + total / 2) / total);
}

std::int32_t fillMemoryStatus(platform::MEMORYSTATUSEX& status,
                              const MemoryFigures& figures) noexcept {
    if (!acceptsMemoryRecord(status)) {
        return 0;
    }
    status.dwMemoryLoad =
        figures.load.value_or(memoryLoadPercent(figures.totalPhys, figures.availPhys));
    status.ullTotalPhys = figures.totalPhys;
    status.ullAvailPhys = figures.availPhys;
    status.ullTotalPageFile = figures.totalPhys + figures.totalSwap;
    status.ullAvailPageFile = figures.availPhys + figures.freeSwap;
    status.ullTotalVirtual = kUserAddressSpace;
    status.ullAvailVirtual = kUserAddressSpace;
    status.ullAvailExtendedVirtual = 0;
    return 1;
}

}  // namespace pelmora::emulated

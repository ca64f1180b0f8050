// Fuzzes the /proc/meminfo parser: whatever the text, it never crashes, and every figure it
// accepts is a byte count that fits the program's signed 64-bit figures.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/linux/linux_meminfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    pelmora::linux_os::MemInfoFigures figures;
    std::string reason;
    if (!pelmora::linux_os::parseMemInfo(text, figures, &reason)) {
        return 0;
    }
    constexpr std::uint64_t kLargestKb = static_cast<std::uint64_t>(INT64_MAX) / 1024;
    if (figures.totalKb == 0 || figures.totalKb > kLargestKb || figures.availableKb > kLargestKb ||
        figures.swapTotalKb > kLargestKb || figures.swapFreeKb > kLargestKb) {
        std::abort();
    }
    const std::uint32_t load =
        pelmora::linux_os::memoryLoadPercent(figures.totalKb, figures.availableKb);
    if (load > 100) {
        std::abort();
    }
    return 0;
}

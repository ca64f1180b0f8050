// The memory figures of /proc/meminfo, read cheaply at every refresh: the file stays open and
// is read again from its start into a fixed buffer, without allocating.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/qt/qt_fd.h"

namespace pelmora::qt {

inline constexpr const char* kMemInfoPath = "/proc/meminfo";

struct MemInfoFigures {
    std::uint64_t totalKb = 0;
    std::uint64_t availableKb = 0;
    std::uint64_t swapTotalKb = 0;
    std::uint64_t swapFreeKb = 0;
};

// Reads MemTotal and MemAvailable (both required, MemTotal not 0) and the swap figures
// (optional); every figure accepted fits a signed 64-bit count of bytes. On failure returns
// false and names what was wrong in *reason.
bool parseMemInfo(std::string_view text, MemInfoFigures& figures, std::string* reason);

// The share of memory in use, in percent, rounded to the nearest whole number.
std::uint32_t memoryLoadPercent(std::uint64_t totalKb, std::uint64_t availableKb) noexcept;

class MemInfoReader {
  public:
    explicit MemInfoReader(std::string path = kMemInfoPath);

    // Fills the figures; on failure returns false with the reason (the file is opened again
    // at the next call).
    bool read(MemInfoFigures& figures, std::string& reason);

  private:
    std::string path_;
    UniqueFd fd_;
    std::array<char, 16384> buffer_{};
};

}  // namespace pelmora::qt

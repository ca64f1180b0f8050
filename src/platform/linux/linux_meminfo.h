// The memory figures of /proc/meminfo, read cheaply: the file stays open and is read again
// from its start into a fixed buffer, without allocating, once its last figures have aged.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/emulated/memory_status.h"
#include "platform/linux/linux_fd.h"

namespace pelmora::linux_os {

inline constexpr const char* kMemInfoPath = "/proc/meminfo";
// How long a good read is answered again. The kernel writes its whole table for every read,
// about as much work as the toolkit's own wake-up; a quarter of a second is not seen as stale.
inline constexpr std::chrono::milliseconds kMemInfoMaxAge{250};

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

using emulated::memoryLoadPercent;

class MemInfoReader {
  public:
    using Clock = std::chrono::steady_clock;

    explicit MemInfoReader(std::string path = kMemInfoPath,
                           Clock::duration maxAge = kMemInfoMaxAge);

    // Fills the figures, read anew unless the last good read is younger than the reader's
    // age limit; on failure returns false with the reason (nothing of a failed read is kept:
    // the file is opened and read again at the next call).
    bool read(MemInfoFigures& figures, std::string& reason, Clock::time_point now);
    bool read(MemInfoFigures& figures, std::string& reason) {
        return read(figures, reason, Clock::now());
    }

  private:
    bool readFile(MemInfoFigures& figures, std::string& reason);

    std::string path_;
    Clock::duration maxAge_;
    UniqueFd fd_;
    // When the figures kept were read; none after a failure.
    std::optional<Clock::time_point> readAt_;
    MemInfoFigures last_{};
    std::array<char, 16384> buffer_{};
};

}  // namespace pelmora::linux_os

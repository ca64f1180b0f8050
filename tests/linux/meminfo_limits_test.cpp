// The largest figures /proc/meminfo may hold: each one accepted must still be a true,
// positive byte count in the program's signed 64-bit figures.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/linux/linux_meminfo.h"

namespace pelmora::linux_os {
namespace {

constexpr std::uint64_t kLargestKb = static_cast<std::uint64_t>(INT64_MAX) / 1024;

TEST(MemInfoLimits, EveryAcceptedFigureFitsTheSignedByteCount) {
    const struct {
        std::uint64_t kb;
        bool accepted;
    } cases[] = {
        {kLargestKb - 1, true},
        {kLargestKb, true},
        {kLargestKb + 1, false},  // 2^53 kB: its bytes would wrap to the lowest 64-bit number
        {std::uint64_t{1} << 54, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kb);
        const std::string figure = std::to_string(c.kb);
        for (const std::string& text :
             {"MemTotal: " + figure + " kB\nMemAvailable: 1 kB\n",
              "MemTotal: " + figure + " kB\nMemAvailable: " + figure + " kB\n"}) {
            MemInfoFigures figures;
            std::string reason;
            ASSERT_EQ(parseMemInfo(text, figures, &reason), c.accepted) << reason;
            if (c.accepted) {
                EXPECT_GT(static_cast<std::int64_t>(figures.totalKb * 1024), 0);
                EXPECT_GT(static_cast<std::int64_t>(figures.availableKb * 1024), 0);
            } else {
                EXPECT_NE(reason.find("not a number of kB"), std::string::npos) << reason;
            }
        }
    }
}

}  // namespace
}  // namespace pelmora::linux_os

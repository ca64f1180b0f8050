#include "readout/size_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace pelmora::readout {
namespace {

constexpr std::int64_t KiB = 1024;
constexpr std::int64_t MiB = 1024 * KiB;
constexpr std::int64_t GiB = 1024 * MiB;

struct SizeCase {
    std::int64_t bytes;
    std::int64_t shown;
    std::string_view unit;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.bytes << " bytes";
}

class ScaleSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ScaleSize, ShowsTheRoundedFigureInItsUnit) {
    const ScaledSize scaled = scaleSize(GetParam().bytes);
    EXPECT_EQ(scaled.shown, GetParam().shown);
    EXPECT_EQ(scaled.unit, GetParam().unit);
}

INSTANTIATE_TEST_SUITE_P(
    TellingValues, ScaleSize,
    ::testing::Values(SizeCase{-2 * GiB, -2 * MiB, " KB"}, SizeCase{-513, -1, " KB"},
                      SizeCase{-512, 0, " KB"}, SizeCase{0, 0, " KB"}, SizeCase{512, 0, " KB"},
                      SizeCase{513, 1, " KB"}, SizeCase{1536, 2, " KB"}, SizeCase{2560, 2, " KB"},
                      SizeCase{MiB, 1024, " KB"}, SizeCase{MiB + 512, 1024, " KB"},
                      SizeCase{MiB + 513, 2, " MB"}, SizeCase{3 * MiB / 2 - 513, 2, " MB"},
                      SizeCase{3 * MiB / 2 - 512, 3, " MB"}, SizeCase{128 * MiB, 129, " MB"},
                      SizeCase{256 * MiB, 257, " MB"}, SizeCase{GiB, 1025, " MB"},
                      SizeCase{GiB + 512, 1025, " MB"}, SizeCase{GiB + 513, 1, " GB"},
                      SizeCase{3 * GiB / 2 - 512 * KiB - 512 - 1, 1, " GB"},
                      SizeCase{3 * GiB / 2 - 512 * KiB - 512, 2, " GB"},
                      SizeCase{3 * GiB / 2, 2, " GB"}, SizeCase{2 * GiB - 1, 2, " GB"}));

// Counts past the signed 32-bit range keep the same steps instead of turning negative.
INSTANTIATE_TEST_SUITE_P(BeyondTwoGiB, ScaleSize,
                         ::testing::Values(SizeCase{2 * GiB, 2, " GB"},
                                           SizeCase{5 * GiB / 2, 2, " GB"},
                                           SizeCase{3 * GiB, 3, " GB"},
                                           SizeCase{16 * GiB, 16, " GB"},
                                           SizeCase{1024 * GiB, 1024, " GB"}));

TEST(ScaleSize, OneMegabyteIsNeverShown) {
    // The last kilobyte figure is 1024 KB and the first megabyte figure 2 MB.
    for (std::int64_t kilo = 1020; kilo <= 1030; ++kilo) {
        const ScaledSize scaled = scaleSize(kilo * KiB);
        EXPECT_FALSE(scaled.shown == 1 && scaled.unit == kMegaUnit) << kilo;
    }
}

TEST(RoundHalfEven, ExactHalvesGoToTheEvenNeighbour) {
    const struct {
        double value;
        std::int64_t rounded;
    } cases[] = {{1.5, 2},
                 {2.5, 2},
                 {-0.5, 0},
                 {-1.5, -2},
                 {0.49, 0},
                 {0.51, 1},
                 {3.5, 4},
                 {1535.5, 1536},
                 {1.0, 1},
                 {-2.5, -2},
                 {1e12 + 0.5, 1000000000000}};
    for (const auto& c : cases) {
        EXPECT_EQ(roundHalfEven(c.value), c.rounded) << c.value;
    }
}

}  // namespace
}  // namespace pelmora::readout

#include "readout/mem_status.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "support/recording_os.h"

namespace pelmora::readout {
namespace {

struct Fields {
    std::uint8_t memLoad = 7;
    std::int64_t totalPhys = 1111;
    std::int64_t availPhys = 2222;
};

struct MemStatus : ::testing::Test {
    recording::RecordingPlatform platform;
    recording::RecordingOs os{platform};
    Fields f;
    void expectUntouched() const {
        EXPECT_EQ(f.memLoad, 7);
        EXPECT_EQ(f.totalPhys, 1111);
        EXPECT_EQ(f.availPhys, 2222);
    }
};

TEST_F(MemStatus, AsksWithTheSixtyFourByteRecordAndCopiesTheThreeFigures) {
    os.memory.load = 63;
    os.memory.totalPhys = 3ull << 30;
    os.memory.availPhys = (5ull << 30) / 4;
    Get_MemStatus(os, f.memLoad, f.totalPhys, f.availPhys);
    EXPECT_EQ(platform.journal.entries(),
              std::vector<std::string>{"GlobalMemoryStatusEx dwLength=64"});
    EXPECT_EQ(f.memLoad, 63);
    EXPECT_EQ(f.totalPhys, std::int64_t{3} << 30);
    EXPECT_EQ(f.availPhys, (std::int64_t{5} << 30) / 4);
}

TEST_F(MemStatus, LoadIsRangeCheckedBeforeAnythingIsWritten) {
    const struct {
        std::uint32_t load;
        bool passes;
    } cases[] = {{0, true},    {100, true},          {255, true},
                 {256, false}, {0x80000000u, false}, {0xFFFFFFFFu, false}};
    for (const auto& c : cases) {
        os.memory.load = c.load;
        f = Fields{};
        if (c.passes) {
            Get_MemStatus(os, f.memLoad, f.totalPhys, f.availPhys);
            EXPECT_EQ(f.memLoad, c.load);
            EXPECT_EQ(f.totalPhys, 512 << 20);
            continue;
        }
        try {
            Get_MemStatus(os, f.memLoad, f.totalPhys, f.availPhys);
            ADD_FAILURE() << "load " << c.load << " passed";
        } catch (const platform::Error& error) {
            EXPECT_TRUE(error.is(platform::ErrorCode::Overflow));
        }
        expectUntouched();
    }
}

TEST_F(MemStatus, ARefusedQueryRaisesAClearErrorAndWritesNothing) {
    platform.journal.failOn("GlobalMemoryStatusEx");
    try {
        Get_MemStatus(os, f.memLoad, f.totalPhys, f.availPhys);
        FAIL() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_TRUE(error.is(platform::ErrorCode::MemoryStatusUnavailable));
        EXPECT_NE(error.description().find("memory status"), std::string::npos);
    }
    expectUntouched();
}

TEST_F(MemStatus, AnErrorRaisedByTheOsCallPassesUnchanged) {
    platform.journal.failOn("GlobalMemoryStatusEx", 0, platform::Error(4242, "meminfo gone"));
    try {
        Get_MemStatus(os, f.memLoad, f.totalPhys, f.availPhys);
        FAIL() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.number(), 4242);
    }
    expectUntouched();
}

}  // namespace
}  // namespace pelmora::readout

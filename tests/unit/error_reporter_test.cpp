#include "platform/common/error_reporter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace pelmora::platform {
namespace {

using namespace std::chrono_literals;

struct ReporterFixture : ::testing::Test {
    std::vector<std::string> lines;
    std::chrono::steady_clock::time_point now{};
    ErrorReporter reporter{[this](std::string_view line) { lines.emplace_back(line); },
                           [this] { return now; }};
};

TEST_F(ReporterFixture, FirstReportNamesHandlerNumberAndDescription) {
    reporter.report("frmmain MainTimer_Timer", Error::overflow());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Pelmora: error in frmmain MainTimer_Timer: 6 Overflow");
}

TEST_F(ReporterFixture, RepeatsAreHeldBackThenCountedOnceTheQuietPeriodHasPassed) {
    for (int i = 0; i < 5; ++i) {
        reporter.report("tick", Error::overflow());
        now += 1s;
    }
    ASSERT_EQ(lines.size(), 1u);
    now += ErrorReporter::kQuietPeriod;
    reporter.report("tick", Error::overflow());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Pelmora: error in tick: 6 Overflow (4 repeats held back)");
}

TEST_F(ReporterFixture, OtherHandlersAndOtherErrorsAreNotHeldBack) {
    reporter.report("tick", Error::overflow());
    reporter.report("tick", Error::divisionByZero());
    reporter.report("load", Error::overflow());
    EXPECT_EQ(lines.size(), 3u);
}

TEST(ErrorReporter, AFailingSinkDoesNotEscape) {
    ErrorReporter reporter([](std::string_view) { throw std::runtime_error("sink gone"); });
    EXPECT_NO_THROW(reporter.report("tick", Error::overflow()));
}

}  // namespace
}  // namespace pelmora::platform

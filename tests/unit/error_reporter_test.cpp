#include "platform/core/error_reporter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace pelmora::core {
namespace {

using namespace std::chrono_literals;
using platform::Error;
using platform::ErrorCode;

struct ReporterFixture : ::testing::Test {
    std::vector<std::string> lines;
    std::chrono::steady_clock::time_point now{};
    ErrorReporter reporter{[this](std::string_view line) { lines.emplace_back(line); },
                           [this] { return now; }};
};

TEST_F(ReporterFixture, FirstReportNamesHandlerNumberAndDescription) {
    reporter.report("frmmain.MainTimer_Timer", Error::overflow());
    reporter.report("frmAbout.cmdOK_Click", Error(ErrorCode::ControlNotFound, "lblNone"));
    reporter.report("Tray_WndProc", Error(77, "shell gone"));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Pelmora: error in frmmain.MainTimer_Timer: 6 Overflow",
                         "Pelmora: error in frmAbout.cmdOK_Click: 730 Control not found: lblNone",
                         "Pelmora: error in Tray_WndProc: 77 shell gone",
                     }));
}

TEST_F(ReporterFixture, RepeatsAreHeldBackThenCountedOnceTheQuietPeriodHasPassed) {
    for (int i = 0; i < 5; ++i) {
        reporter.report("tick", Error::overflow());
        now += 1s;
    }
    ASSERT_EQ(lines.size(), 1u);
    now += ErrorReporter::kQuietPeriod;
    reporter.report("tick", Error::overflow());
    now += ErrorReporter::kQuietPeriod;
    reporter.report("tick", Error::overflow());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Pelmora: error in tick: 6 Overflow",
                         "Pelmora: error in tick: 6 Overflow (4 repeats held back)",
                         "Pelmora: error in tick: 6 Overflow",
                     }));
}

TEST_F(ReporterFixture, OneRepeatIsCountedInTheSingular) {
    reporter.report("tick", Error::overflow());
    reporter.report("tick", Error::overflow());
    now += ErrorReporter::kQuietPeriod;
    reporter.report("tick", Error::overflow());
    EXPECT_EQ(lines.back(), "Pelmora: error in tick: 6 Overflow (1 repeat held back)");
}

TEST_F(ReporterFixture, OtherHandlersAndOtherErrorsAreNotHeldBack) {
    reporter.report("tick", Error::overflow());
    reporter.report("tick", Error::divisionByZero());
    reporter.report("load", Error::overflow());
    EXPECT_EQ(lines.size(), 3u);
}

TEST(ErrorReporter, AFailingSinkOrClockDoesNotEscape) {
    ErrorReporter failingSink([](std::string_view) { throw std::runtime_error("sink gone"); });
    EXPECT_NO_THROW(failingSink.report("tick", Error::overflow()));
    std::vector<std::string> lines;
    ErrorReporter failingClock(
        [&](std::string_view line) { lines.emplace_back(line); },
        []() -> std::chrono::steady_clock::time_point { throw std::runtime_error("no clock"); });
    EXPECT_NO_THROW(failingClock.report("tick", Error::overflow()));
}

}  // namespace
}  // namespace pelmora::core

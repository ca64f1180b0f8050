// Scale factors given in the environment, rounded to whole device pixels per pixel.
#include <gtest/gtest.h>

#include <string>

#include "platform/qt/qt_style.h"

namespace pelmora::qt::test {
namespace {

TEST(WholeScaleFactors, EachFactorIsRoundedHalvesUpAndNeverBelowOne) {
    struct Case {
        const char* given;
        const char* rounded;
    };
    const Case cases[] = {
        {"1", "1"},
        {"2", "2"},
        {"1.5", "2"},
        {"1.25", "1"},
        {"1.75", "2"},
        {"2.5", "3"},
        {"0.5", "1"},
        {"0.25", "1"},
        {"0", "1"},
        {"-2", "1"},
        // One factor a screen, by name or in screen order; an empty entry stays empty.
        {"DP-1=1.5;HDMI-1=1", "DP-1=2;HDMI-1=1"},
        {"1.5;2.25;", "2;2;"},
        {"eDP-1=1.25", "eDP-1=1"},
        // What is no number is left for Qt to refuse.
        {"", ""},
        {"big", "big"},
        {"1.5x", "1.5x"},
        {"inf", "inf"},
        {"DP-1=;2.5", "DP-1=;3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wholeScaleFactors(c.given), c.rounded) << '"' << c.given << '"';
    }
}

}  // namespace
}  // namespace pelmora::qt::test

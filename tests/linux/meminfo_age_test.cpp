// The figures of a good read are answered again while they are young, and only then: a
// change of the file shows once they have aged, and a failure is never kept.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <string>

#include "platform/linux/linux_meminfo.h"

namespace pelmora::linux_os {
namespace {

using std::chrono::milliseconds;
using Clock = MemInfoReader::Clock;

constexpr const char* kFirst = "MemTotal: 8000 kB\nMemAvailable: 2000 kB\n";
constexpr const char* kSecond = "MemTotal: 8000 kB\nMemAvailable: 6000 kB\n";

TEST(MemInfoAge, ANewReadOnlyOnceTheLastHasAged) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("meminfo").toStdString();
    const Clock::time_point start{milliseconds(1'000'000)};
    const struct {
        const char* what;
        milliseconds age;    // the reader's limit
        milliseconds later;  // when the second read is asked for, after the first
        std::uint64_t available;
    } cases[] = {
        {"young figures are answered again", milliseconds(250), milliseconds(249), 2000},
        {"figures of the limit's age are read anew", milliseconds(250), milliseconds(250), 6000},
        {"a clock that went back reads anew", milliseconds(250), milliseconds(-1), 6000},
        {"no limit reads at every call", milliseconds(0), milliseconds(0), 6000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(path) << kFirst;
        MemInfoReader reader(path, c.age);
        MemInfoFigures figures;
        std::string reason;
        ASSERT_TRUE(reader.read(figures, reason, start)) << reason;
        EXPECT_EQ(figures.availableKb, 2000u);
        std::ofstream(path) << kSecond;
        ASSERT_TRUE(reader.read(figures, reason, start + c.later)) << reason;
        EXPECT_EQ(figures.availableKb, c.available);
    }
}

TEST(MemInfoAge, AFailedReadIsNotKept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("meminfo").toStdString();
    const Clock::time_point start{milliseconds(1'000'000)};
    MemInfoReader reader(path, milliseconds(250));
    MemInfoFigures figures;
    std::string reason;

    // Aged figures are not answered in place of a failure: it is told as it happens.
    std::ofstream(path) << kFirst;
    ASSERT_TRUE(reader.read(figures, reason, start)) << reason;
    std::ofstream(path) << "MemTotal: 8000 kB\n";
    EXPECT_FALSE(reader.read(figures, reason, start + milliseconds(300)));
    EXPECT_NE(reason.find("MemAvailable is missing"), std::string::npos) << reason;

    // The call after a failure reads, however soon it comes.
    std::ofstream(path) << kSecond;
    ASSERT_TRUE(reader.read(figures, reason, start + milliseconds(301))) << reason;
    EXPECT_EQ(figures.availableKb, 6000u);
}

}  // namespace
}  // namespace pelmora::linux_os

#include "readout/update_display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/system_fixture.h"
#include "ui/main/main_layout.h"

namespace pelmora::readout {
namespace {

constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = 1024 * KiB;
constexpr std::uint64_t GiB = 1024 * MiB;

// The main window loaded with events of the test's own, the tray module bound to
// the fake, and the refresh run by hand.
struct RefreshFixture : testing::SystemFixture {
    RefreshFixture() {
        form = &static_cast<fake::FakeForm&>(fake.load(ui::kMainLayout, sink));
        tray::bindModule(fake, fake);
    }
    void refresh() { Update_Display(*form, state, fake); }
    std::string text(std::string_view label, std::int16_t index) {
        return form->labelState(label, index).text;
    }
    std::vector<std::string> allCaptions() {
        std::vector<std::string> out;
        for (auto name : {"lblTotalRam", "lblFreeRam", "lblRamUsage"}) {
            for (std::int16_t i : {0, 1}) {
                out.push_back(text(name, i));
            }
        }
        return out;
    }
    std::string storedTip() {
        const char* tip = tray::apiStuff().trayData.szTip;
        return std::string(tip, strnlen(tip, 64));
    }

    testing::EventSink sink;
    fake::FakeForm* form = nullptr;
    MainState state;
};

TEST_F(RefreshFixture, OneRefreshWritesEverythingInItsOrder) {
    fake.memory = {49, 512 * MiB - 528 * KiB, 256 * MiB};
    const std::size_t from = fake.mark();
    refresh();
    const float percentage =
        static_cast<float>(256.0 * MiB * 100 / static_cast<double>(512 * MiB - 528 * KiB));
    EXPECT_EQ(fake.entries({}, from),
              (std::vector<std::string>{
                  "GlobalMemoryStatusEx dwLength=64",
                  "lblTotalRam(0).Alignment = 0",
                  "lblTotalRam(1).Alignment = 0",
                  "lblFreeRam(0).Alignment = 0",
                  "lblFreeRam(1).Alignment = 0",
                  "lblRamUsage(0).Alignment = 0",
                  "lblRamUsage(1).Alignment = 0",
                  "lblTotalRam(0).Caption = \"Total RAM = 512 MB\"",
                  "lblTotalRam(1).Caption = \"Total RAM = 512 MB\"",
                  "lblFreeRam(0).Caption = \"Free RAM = 257 MB\"",
                  "lblFreeRam(1).Caption = \"Free RAM = 257 MB\"",
                  "lblRamUsage(0).Caption = \"Usage = 49 %\"",
                  "lblRamUsage(1).Caption = \"Usage = 49 %\"",
                  "picGraph.Cls",
                  "picGraph.Refresh",
                  "picGraph.Scale 4, 1, 100, 4, 0",
                  "picGraph.Line 38, 1, 0, 3, " + fake::num(percentage) + ", &H0000FF00",
                  "Shell_NotifyIconA NIM_MODIFY cbSize=0 hWnd=0x0 uID=0 uFlags=4 "
                  "uCallbackMessage=0 hIcon=0x0 szTip=\"Pelmora  ( Free RAM = 257 MB )\"",
              }));
    EXPECT_EQ(state.memLoad, 49);
    EXPECT_EQ(state.totalPhys, static_cast<std::int64_t>(512 * MiB - 528 * KiB));
    EXPECT_EQ(state.availPhys, static_cast<std::int64_t>(256 * MiB));
    EXPECT_EQ(state.totalUnit, " MB");
    EXPECT_EQ(state.freeUnit, " MB");
}

TEST_F(RefreshFixture, CaptionsAndTipInBothModes) {
    const struct {
        fake::MemoryFigures memory;
        platform::Bool16 precise;
        std::string total, free, usage, tip;
    } cases[] = {
        {{49, 512 * MiB - 528 * KiB, 256 * MiB},
         0,
         "Total RAM = 512 MB",
         "Free RAM = 257 MB",
         "Usage = 49 %",
         "Pelmora  ( Free RAM = 257 MB )"},
        {{49, 512 * MiB - 528 * KiB, 256 * MiB},
         -1,
         "Total RAM = 536330240 Bytes",
         "Free RAM = 268435456 Bytes",
         "Usage = 49 %",
         "Pelmora  ( Free RAM = 257 MB )"},
        // Any non-zero flag selects exact bytes.
        {{0, 100'098'048, 1000},
         1,
         "Total RAM = 100098048 Bytes",
         "Free RAM = 1000 Bytes",
         "Usage = 0 %",
         "Pelmora  ( Free RAM = 1 KB )"},
        {{100, 16 * GiB, 3 * GiB},
         0,
         "Total RAM = 16 GB",
         "Free RAM = 3 GB",
         "Usage = 100 %",
         "Pelmora  ( Free RAM = 3 GB )"},
        {{100, 16 * GiB, 3 * GiB},
         -1,
         "Total RAM = 17179869184 Bytes",
         "Free RAM = 3221225472 Bytes",
         "Usage = 100 %",
         "Pelmora  ( Free RAM = 3 GB )"},
        {{3, 1024 * GiB, 513},
         0,
         "Total RAM = 1024 GB",
         "Free RAM = 1 KB",
         "Usage = 3 %",
         "Pelmora  ( Free RAM = 1 KB )"},
    };
    for (const auto& c : cases) {
        fake.memory = c.memory;
        state.preciseValues = c.precise;
        refresh();
        EXPECT_EQ(allCaptions(),
                  (std::vector<std::string>{c.total, c.total, c.free, c.free, c.usage, c.usage}));
        EXPECT_EQ(storedTip(), c.tip);
    }
}

TEST_F(RefreshFixture, OnlyTheTotalChoosesTheAlignmentOfAllSix) {
    const struct {
        std::uint64_t total, free;
        std::int16_t alignment;
    } cases[] = {
        {100'098'048, 100'098'049, platform::align::Center},
        {100'098'049, 1000, platform::align::Left},
        {64 * MiB, 4 * GiB, platform::align::Center},
        {16 * GiB, 1, platform::align::Left},
    };
    for (const auto& c : cases) {
        fake.memory.totalPhys = c.total;
        fake.memory.availPhys = c.free;
        refresh();
        for (auto name : {"lblTotalRam", "lblFreeRam", "lblRamUsage"}) {
            for (std::int16_t i : {0, 1}) {
                EXPECT_EQ(form->labelState(name, i).align, c.alignment) << c.total << name << i;
            }
        }
    }
}

TEST_F(RefreshFixture, AFailingMeterLeavesTheCaptionsSetAndTheTipAsItWas) {
    refresh();
    const std::size_t requests = fake.trayRequests().size();
    const auto bars = form->pictureState("picGraph").bars;
    fake.memory = {12, 0, 4096};
    try {
        refresh();
        FAIL() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.number(), platform::errnum::DivisionByZero);
    }
    EXPECT_EQ(allCaptions(),
              (std::vector<std::string>{"Total RAM = 0 KB", "Total RAM = 0 KB", "Free RAM = 4 KB",
                                        "Free RAM = 4 KB", "Usage = 12 %", "Usage = 12 %"}));
    EXPECT_EQ(form->labelState("lblRamUsage", 1).align, platform::align::Center);
    EXPECT_EQ(storedTip(), "Pelmora  ( Free RAM = 257 MB )");
    EXPECT_EQ(fake.trayRequests().size(), requests);
    EXPECT_EQ(form->pictureState("picGraph").bars.size(), bars.size());
}

TEST_F(RefreshFixture, AnUnreadableMemoryStatusKeepsTheLastFiguresAndTouchesNoLabel) {
    refresh();
    const MainState before = state;
    const auto captions = allCaptions();
    fake.failOn("GlobalMemoryStatusEx");
    fake.memory = {99, 2 * GiB, 1 * GiB};
    const std::size_t from = fake.mark();
    try {
        refresh();
        FAIL() << "no error";
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.number(), platform::errnum::MemoryStatusUnavailable);
    }
    EXPECT_EQ(fake.entries({}, from),
              std::vector<std::string>{"! GlobalMemoryStatusEx dwLength=64"});
    EXPECT_EQ(state.memLoad, before.memLoad);
    EXPECT_EQ(state.totalPhys, before.totalPhys);
    EXPECT_EQ(state.availPhys, before.availPhys);
    EXPECT_EQ(allCaptions(), captions);
}

TEST_F(RefreshFixture, AFailingCaptionStopsTheRefreshWithTheEarlierCaptionsSet) {
    refresh();
    fake.memory = {70, 2 * GiB, 300 * MiB};
    fake.failOn("lblFreeRam(1).Caption =");
    EXPECT_THROW(refresh(), platform::Error);
    EXPECT_EQ(allCaptions(),
              (std::vector<std::string>{"Total RAM = 2 GB", "Total RAM = 2 GB", "Free RAM = 301 MB",
                                        "Free RAM = 257 MB", "Usage = 49 %", "Usage = 49 %"}));
    // The figures and units were already taken.
    EXPECT_EQ(state.memLoad, 70);
    EXPECT_EQ(state.totalUnit, " GB");
    EXPECT_EQ(form->pictureState("picGraph").clsCount, 1);
}

}  // namespace
}  // namespace pelmora::readout

#include "ui/main/update_display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/system_fixture.h"

namespace pelmora::ui {
namespace {

using platform::Alignment;

constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = 1024 * KiB;
constexpr std::uint64_t GiB = 1024 * MiB;

// The main window loaded with events of the test's own, the tray module bound to the
// recording OS calls, and the refresh run by hand inside a handler, as the timer runs it.
struct RefreshFixture : testing::SystemFixture {
    RefreshFixture() {
        form = &runtime.load(ui::kMainLayout, sink);
        tray::bindModule(runtime, os);
    }
    // The refresh's error, which it raises to its caller; 0 when it succeeded.
    std::int32_t refresh() {
        std::int32_t number = 0;
        runtime.guard("frmmain.MainTimer_Timer", [&] {
            try {
                Update_Display(*form, state, os);
            } catch (const platform::Error& error) {
                number = error.number();
            }
        });
        return number;
    }
    recording::Widget& widget(std::string_view name, std::int16_t index) {
        return mainWindow().widget(name, index);
    }
    std::vector<std::string> allCaptions() {
        std::vector<std::string> out;
        for (auto name : {"lblTotalRam", "lblFreeRam", "lblRamUsage"}) {
            for (std::int16_t i : {0, 1}) {
                out.push_back(widget(name, i).text);
            }
        }
        return out;
    }
    std::string storedTip() {
        const char* tip = tray::apiStuff().trayData.szTip;
        return std::string(tip, std::find(tip, tip + 64, '\0'));
    }

    testing::EventSink sink;
    platform::Form* form = nullptr;
    MainState state;
};

TEST_F(RefreshFixture, OneRefreshWritesEverythingInItsOrder) {
    os.memory = {49, 512 * MiB - 528 * KiB, 256 * MiB};
    const std::size_t from = journal.mark();
    ASSERT_EQ(refresh(), 0);
    EXPECT_EQ(journal.entries({}, from),
              (std::vector<std::string>{
                  "GlobalMemoryStatusEx dwLength=64",
                  "setAlignment frmmain lblTotalRam(0) Left",
                  "setAlignment frmmain lblTotalRam(1) Left",
                  "setAlignment frmmain lblFreeRam(0) Left",
                  "setAlignment frmmain lblFreeRam(1) Left",
                  "setAlignment frmmain lblRamUsage(0) Left",
                  "setAlignment frmmain lblRamUsage(1) Left",
                  // Assistive technology reads the front label of each pair.
                  "setText frmmain lblTotalRam(0) \"Total RAM = 512 MB\"",
                  "setAccessible frmmain lblTotalRam(0) \"Total RAM = 512 MB\"",
                  "setText frmmain lblTotalRam(1) \"Total RAM = 512 MB\"",
                  "setText frmmain lblFreeRam(0) \"Free RAM = 257 MB\"",
                  "setText frmmain lblFreeRam(1) \"Free RAM = 257 MB\"",
                  "setAccessible frmmain lblFreeRam(1) \"Free RAM = 257 MB\"",
                  "setText frmmain lblRamUsage(0) \"Usage = 49 %\"",
                  "setText frmmain lblRamUsage(1) \"Usage = 49 %\"",
                  "setAccessible frmmain lblRamUsage(1) \"Usage = 49 %\"",
                  "Shell_NotifyIconA NIM_MODIFY cbSize=0 0x0 uID=0 tip "
                  "\"Pelmora  ( Free RAM = 257 MB )\"",
                  // The meter reaches the window as the handler returns.
                  "clearDrawing frmmain picGraph",
                  "fillBox frmmain picGraph 0,24 7x24 #00FF00",
                  "repaint frmmain picGraph",
                  "setAccessible frmmain picGraph \"Free memory\" 50.1 %",
              }));
    EXPECT_EQ(state.memLoad, 49);
    EXPECT_EQ(state.totalPhys, static_cast<std::int64_t>(512 * MiB - 528 * KiB));
    EXPECT_EQ(state.availPhys, static_cast<std::int64_t>(256 * MiB));
    EXPECT_EQ(state.totalUnit, " MB");
    EXPECT_EQ(state.freeUnit, " MB");
}

TEST_F(RefreshFixture, ARefreshThatChangesNothingOnScreenOnlyTellsTheTip) {
    ASSERT_EQ(refresh(), 0);
    const std::size_t from = journal.mark();
    ASSERT_EQ(refresh(), 0);
    EXPECT_EQ(journal.entries({}, from), (std::vector<std::string>{
                                             "GlobalMemoryStatusEx dwLength=64",
                                             "Shell_NotifyIconA NIM_MODIFY cbSize=0 0x0 uID=0 tip "
                                             "\"Pelmora  ( Free RAM = 257 MB )\"",
                                         }));
}

TEST_F(RefreshFixture, CaptionsAndTipInBothModes) {
    const struct {
        recording::MemoryFigures memory;
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
        os.memory = c.memory;
        state.preciseValues = c.precise;
        ASSERT_EQ(refresh(), 0);
        EXPECT_EQ(allCaptions(),
                  (std::vector<std::string>{c.total, c.total, c.free, c.free, c.usage, c.usage}));
        EXPECT_EQ(storedTip(), c.tip);
    }
}

TEST_F(RefreshFixture, OnlyTheTotalChoosesTheAlignmentOfAllSix) {
    const struct {
        std::uint64_t total, free;
        Alignment alignment;
    } cases[] = {
        {100'098'048, 100'098'049, Alignment::Center},
        {100'098'049, 1000, Alignment::Left},
        {64 * MiB, 4 * GiB, Alignment::Center},
        {16 * GiB, 1, Alignment::Left},
    };
    for (const auto& c : cases) {
        os.memory.totalPhys = c.total;
        os.memory.availPhys = c.free;
        ASSERT_EQ(refresh(), 0);
        for (auto name : {"lblTotalRam", "lblFreeRam", "lblRamUsage"}) {
            for (std::int16_t i : {0, 1}) {
                EXPECT_EQ(widget(name, i).alignment, c.alignment) << c.total << name << i;
            }
        }
    }
}

TEST_F(RefreshFixture, AFailingMeterLeavesTheCaptionsSetAndTheTipAsItWas) {
    ASSERT_EQ(refresh(), 0);
    const std::size_t requests = os.trayRequests().size();
    const auto bars = widget("picGraph", platform::kNoIndex).boxes;
    os.memory = {12, 0, 4096};
    EXPECT_EQ(refresh(), 11);
    EXPECT_EQ(allCaptions(),
              (std::vector<std::string>{"Total RAM = 0 KB", "Total RAM = 0 KB", "Free RAM = 4 KB",
                                        "Free RAM = 4 KB", "Usage = 12 %", "Usage = 12 %"}));
    EXPECT_EQ(widget("lblRamUsage", 1).alignment, Alignment::Center);
    EXPECT_EQ(storedTip(), "Pelmora  ( Free RAM = 257 MB )");
    EXPECT_EQ(os.trayRequests().size(), requests);
    EXPECT_EQ(widget("picGraph", platform::kNoIndex).boxes, bars);
}

TEST_F(RefreshFixture, AnUnreadableMemoryStatusKeepsTheLastFiguresAndTouchesNoLabel) {
    ASSERT_EQ(refresh(), 0);
    const MainState before = state;
    const auto captions = allCaptions();
    journal.failOn("GlobalMemoryStatusEx");
    os.memory = {99, 2 * GiB, 1 * GiB};
    const std::size_t from = journal.mark();
    EXPECT_EQ(refresh(), 31001);
    EXPECT_EQ(journal.entries({}, from),
              std::vector<std::string>{"! GlobalMemoryStatusEx dwLength=64"});
    EXPECT_EQ(state.memLoad, before.memLoad);
    EXPECT_EQ(state.totalPhys, before.totalPhys);
    EXPECT_EQ(state.availPhys, before.availPhys);
    EXPECT_EQ(allCaptions(), captions);
}

TEST_F(RefreshFixture, AFailingCaptionStopsTheRefreshWithTheEarlierCaptionsSet) {
    ASSERT_EQ(refresh(), 0);
    os.memory = {70, 2 * GiB, 300 * MiB};
    journal.failOn("setText frmmain lblFreeRam(1)");
    EXPECT_EQ(refresh(), recording::kInjectedError);
    EXPECT_EQ(allCaptions(),
              (std::vector<std::string>{"Total RAM = 2 GB", "Total RAM = 2 GB", "Free RAM = 301 MB",
                                        "Free RAM = 257 MB", "Usage = 49 %", "Usage = 49 %"}));
    // The figures and units were already taken; the meter was not reached.
    EXPECT_EQ(state.memLoad, 70);
    EXPECT_EQ(state.totalUnit, " GB");
    EXPECT_EQ(journal.count("clearDrawing"), 1u);
}

TEST_F(RefreshFixture, FiguresAlreadyShownAreWrittenAgainOnlyWhereTheLastRefreshFellShort) {
    ASSERT_EQ(refresh(), 0);
    const auto steps = [&](const char* what, auto before) {
        SCOPED_TRACE(what);
        before();
        const std::size_t from = journal.mark();
        refresh();
        return journal.entries({"setText", "setAlignment", "clearDrawing", "repaint", "!"}, from);
    };
    using Entries = std::vector<std::string>;

    // A caption the window refused is sent again, with those after it, though the figures
    // stay the same.
    os.memory = {70, 2 * GiB, 300 * MiB};
    EXPECT_EQ(steps("refused", [&] { journal.failOn("setText frmmain lblFreeRam(1)", 1); }).back(),
              "! setText frmmain lblFreeRam(1) \"Free RAM = 301 MB\"");
    EXPECT_EQ(steps("same figures after a refusal", [] {}),
              (Entries{"setText frmmain lblFreeRam(1) \"Free RAM = 301 MB\"",
                       "setText frmmain lblRamUsage(0) \"Usage = 70 %\"",
                       "setText frmmain lblRamUsage(1) \"Usage = 70 %\"",
                       "clearDrawing frmmain picGraph", "repaint frmmain picGraph"}));
    EXPECT_EQ(steps("same figures, all shown", [] {}), Entries{});

    // A meter drawing the window refused is drawn again by the next refresh.
    os.memory.availPhys = 600 * MiB;
    EXPECT_EQ(steps("meter refused", [&] { journal.failOn("repaint frmmain picGraph", 1); }).back(),
              "! repaint frmmain picGraph");
    EXPECT_EQ(steps("same figures after a refused meter", [] {}),
              (Entries{"clearDrawing frmmain picGraph", "repaint frmmain picGraph"}));
    EXPECT_EQ(steps("same figures, meter shown", [] {}), Entries{});

    // The other mode shows the same figures otherwise.
    EXPECT_EQ(steps("precise", [&] { state.preciseValues = platform::kTrue; }),
              (Entries{"setText frmmain lblTotalRam(0) \"Total RAM = 2147483648 Bytes\"",
                       "setText frmmain lblTotalRam(1) \"Total RAM = 2147483648 Bytes\"",
                       "setText frmmain lblFreeRam(0) \"Free RAM = 629145600 Bytes\"",
                       "setText frmmain lblFreeRam(1) \"Free RAM = 629145600 Bytes\""}));
    EXPECT_EQ(allCaptions()[5], "Usage = 70 %");
}

}  // namespace
}  // namespace pelmora::ui

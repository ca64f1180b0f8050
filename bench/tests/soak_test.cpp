// The soak's layer between the core and a backend (what it passes through, what it keeps to
// itself, how it answers popups) over the recording layer, how a phase is judged, and the
// driver's options.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/main.h"
#include "platform/layout.h"
#include "probe.h"
#include "soak.h"
#include "support/no_input.h"
#include "support/recording_platform.h"
#include "support/rig.h"
#include "tray/api_stuff.h"

namespace pelmora::bench {
namespace {

using pelmora::testing::NoInput;

constexpr platform::FormDef form(std::string_view name) {
    platform::FormDef def{};
    def.name = name;
    return def;
}
constexpr platform::FormDef kMainForm = form("frmmain");
constexpr platform::FormDef kAboutForm = form("frmAbout");

constexpr platform::ControlDef control(std::string_view name, platform::ControlKind kind,
                                       bool isDefault = false) {
    platform::ControlDef def{};
    def.name = platform::ControlName(name);
    def.kind = kind;
    def.isDefault = isDefault;
    return def;
}
constexpr platform::ControlDef kLabel = control("lblFreeRam", platform::ControlKind::Label);
constexpr platform::ControlDef kMeter = control("picGraph", platform::ControlKind::PictureBox);
constexpr platform::ControlDef kTimer = control("MainTimer", platform::ControlKind::Timer);
constexpr platform::ControlDef kPlainButton =
    control("cmdSysInfo", platform::ControlKind::CommandButton);
constexpr platform::ControlDef kDefaultButton =
    control("cmdOK", platform::ControlKind::CommandButton, true);

// The widgets of a window, one per control, numbered in order; each 10 x 48 pixels.
std::vector<core::WidgetSpec> widgets(std::initializer_list<const platform::ControlDef*> defs) {
    std::vector<core::WidgetSpec> made;
    for (const platform::ControlDef* def : defs) {
        core::WidgetSpec widget;
        widget.id = made.size();
        widget.def = def;
        widget.rect = {0, 0, 10, 48};
        made.push_back(widget);
    }
    return made;
}

// The probe over the recording layer, as the soak puts it over a backend.
struct Probe : ::testing::Test {
    recording::RecordingPlatform real;
    recording::Journal& journal = real.journal;
    int dismissals = 0;
    ProbePlatform probe{real, [this] { ++dismissals; }};
    NoInput input;

    std::unique_ptr<core::NativeWindow> open(const platform::FormDef& def) {
        return probe.createWindow(core::WindowSpec{&def, 208, 51, {}}, input);
    }
    // The window's native operations from the journal, without its making.
    std::vector<std::string> operations(std::size_t from) const {
        return journal.entries({"set", "fill", "repaint", "startTimer", "stopTimer"}, from);
    }
};

TEST_F(Probe, PassesDrawingThroughAndKeepsTimersToItself) {
    auto window = open(kMainForm);
    const auto built = widgets({&kLabel, &kMeter, &kTimer, &kTimer});
    window->build(built);
    const std::size_t from = journal.mark();
    window->setText(0, "Free RAM = 5 GB");
    window->fillBox(1, {0, 0, 3, 4}, 0);
    window->repaint(1);
    window->startTimer(2, 30);
    window->startTimer(2, 30);
    window->startTimer(3, 500);
    window->stopTimer(3);

    EXPECT_EQ(operations(from), (std::vector<std::string>{
                                    "setText frmmain lblFreeRam \"Free RAM = 5 GB\"",
                                    "fillBox frmmain picGraph 0,0 3x4 #000000",
                                    "repaint frmmain picGraph",
                                }));
    EXPECT_FALSE(real.window("frmmain").widgets[2].timerInterval.has_value());
    ProbeWindow* probed = probe.window("frmmain");
    ASSERT_NE(probed, nullptr);
    EXPECT_EQ(probed->runningTimers(), std::vector<core::WidgetId>{2});
    EXPECT_EQ(probed->handle(), real.window("frmmain").handle());
}

TEST_F(Probe, KnowsWindowsByFormNameWhileTheyLive) {
    auto main = open(kMainForm);
    {
        auto about = open(kAboutForm);
        EXPECT_NE(probe.window("frmAbout"), nullptr);
        EXPECT_EQ(probe.window("frmmain"), main.get());
    }
    EXPECT_EQ(probe.window("frmAbout"), nullptr);
    EXPECT_EQ(probe.window("frmother"), nullptr);
}

TEST_F(Probe, OwnsByTheBackendsOwnWindow) {
    auto main = open(kMainForm);
    auto about = open(kAboutForm);
    about->setOwner(main.get());
    EXPECT_EQ(journal.entries({"setOwner"}), std::vector<std::string>{"setOwner frmAbout frmmain"});
}

TEST_F(Probe, FindsTheButtonADialogKeyWouldPress) {
    auto about = open(kAboutForm);
    about->build(widgets({&kLabel, &kPlainButton, &kDefaultButton}));
    EXPECT_EQ(probe.window("frmAbout")->dialogButton(), core::WidgetId{2});

    auto main = open(kMainForm);
    main->build(widgets({&kLabel}));
    EXPECT_FALSE(probe.window("frmmain")->dialogButton().has_value());
    EXPECT_EQ(real.window("frmAbout").widgets.size(), 3u) << "the backend builds them all";
}

TEST_F(Probe, AnswersPopupsAsItsModeSays) {
    const auto row = [](std::string_view caption) {
        core::PopupRow r;
        r.caption = caption;
        r.separator = caption == "-";
        return r;
    };
    const std::array<core::PopupRow, 4> rows{row("Keep on &Top"), row("-"), row("&About"),
                                             row("E&xit")};
    auto window = open(kMainForm);

    probe.popupMode = PopupMode::Choose;
    probe.chooseCaption = "About";
    EXPECT_EQ(window->popupMenu(rows), std::size_t{2});
    probe.chooseCaption = "Help";
    EXPECT_FALSE(window->popupMenu(rows).has_value());
    probe.chooseCaption = "-";
    EXPECT_FALSE(window->popupMenu(rows).has_value()) << "a separator is never chosen";
    EXPECT_EQ(journal.count("popupMenu"), 0u) << "no real popup while the soak chooses";

    probe.popupMode = PopupMode::Dismiss;
    window->popupMenu(rows);
    EXPECT_EQ(dismissals, 1);
    probe.popupMode = PopupMode::Native;
    window->popupMenu(rows);
    EXPECT_EQ(dismissals, 1);
    EXPECT_EQ(journal.entries({"popupMenu"}),
              (std::vector<std::string>(
                  2, "popupMenu frmmain [\"Keep on &Top\", -, \"&About\", \"E&xit\"]")));
    EXPECT_EQ(probe.popupsShown, 5u);
    EXPECT_EQ(probe.popupsChosen, 3u);
}

TEST_F(Probe, RunsTheModalHookOnceFromTheEventLoop) {
    auto about = open(kAboutForm);
    int ran = 0;
    probe.onModalLoop = [&](ProbeWindow& window) {
        EXPECT_EQ(window.name(), "frmAbout");
        EXPECT_TRUE(window.inModalLoop());
        ++ran;
        window.endModalLoop();
    };
    about->runModalLoop();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(journal.entries({"post", "run", "endModalLoop"}),
              (std::vector<std::string>{"post", "runModalLoop frmAbout", "run posted",
                                        "endModalLoop frmAbout"}))
        << "posted before the loop starts, run from inside it";

    real.whileModal([&] { about->endModalLoop(); });
    about->runModalLoop();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(probe.modalLoopsRun, 2u);
    EXPECT_FALSE(probe.window("frmAbout")->inModalLoop());
}

TEST_F(Probe, NeverShowsABoxAndKeepsTheFirstReports) {
    probe.messageBox("Pelmora", "pelmora is Already running.", platform::MsgBoxIcon::Critical);
    for (int i = 0; i < 30; ++i) {
        probe.writeReportLine("line " + std::to_string(i));
    }
    EXPECT_TRUE(real.messageBoxes().empty());
    EXPECT_EQ(real.reports().size(), 31u) << "every line still reaches the backend";
    ASSERT_EQ(probe.reportLines.size(), 20u);
    EXPECT_EQ(probe.reportLines.front(), "message box: Pelmora: pelmora is Already running.");
}

// The probe put between the recording layer and the core by the layer's own assembly, as
// the soak starts the program; the tray module is left unbound afterwards.
struct ProbedProgram : ::testing::Test {
    ~ProbedProgram() override { tray::apiStuff() = tray::ApiStuff{}; }
};

TEST_F(ProbedProgram, StartsThroughTheProbeWhichSeesEveryWindow) {
    ProbePlatform* probe = nullptr;
    int dismissals = 0;
    testing::Rig rig(testing::builtIdentity(), interposeProbe(probe, [&] { ++dismissals; }));
    ASSERT_NE(probe, nullptr);
    ASSERT_TRUE(rig.start(app::Main));

    ProbeWindow* main = probe->window("frmmain");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->handle(), rig.platform.window("frmmain").handle());
    ASSERT_EQ(main->runningTimers().size(), 1u) << "the refresh timer, kept by the probe";
    EXPECT_EQ(rig.journal().count("startTimer"), 0u);

    probe->popupMode = PopupMode::Dismiss;
    main->input().mousePressed(std::nullopt, platform::MouseButton::Right, {}, {10, 10});
    EXPECT_EQ(dismissals, 1);
    EXPECT_EQ(rig.journal().count("popupMenu frmmain"), 1u);
}

TEST_F(ProbedProgram, AJournalThatKeepsNothingStillRefreshes) {
    ProbePlatform* probe = nullptr;
    testing::Rig rig(testing::builtIdentity(), interposeProbe(probe, nullptr));
    rig.journal().keepEntries(false);
    ASSERT_TRUE(rig.start(app::Main));
    ProbeWindow& main = *probe->window("frmmain");
    const std::string& shown = rig.platform.window("frmmain").widget("lblFreeRam", 0).text;
    const std::string before = shown;
    rig.os.memory.availPhys /= 2;
    main.input().timerTicked(main.runningTimers().front());

    EXPECT_TRUE(rig.journal().entries().empty());
    EXPECT_TRUE(rig.os.trayRequests().empty());
    EXPECT_NE(shown, before);
    EXPECT_EQ(rig.os.trayIcon().tip, "Pelmora  ( " + shown + " )");
}

Gauges gauges(std::int64_t rss, std::int64_t heap, std::int64_t handles, std::int64_t gfx,
              std::int64_t ui) {
    Gauges g;
    g.rssBytes = rss;
    g.heapBytes = heap;
    g.handles = handles;
    g.gfxObjects = gfx;
    g.uiObjects = ui;
    return g;
}

// Gauges read from a script, one reading per call.
struct ScriptedHost final : Host {
    std::vector<Gauges> readings;
    std::size_t next = 0;
    int drains = 0;
    std::string description() override { return "scripted"; }
    Gauges gauges() override { return readings.at(next++); }
    void drain() override { ++drains; }
    std::string gfxLabel() override { return "gfx"; }
    std::string uiLabel() override { return "ui"; }
};

struct Judging : Probe {
    ScriptedHost host;
    SoakOptions options;
    std::unique_ptr<core::NativeWindow> main = open(kMainForm);

    Judging() {
        options.ticks = 100;
        options.tickWarmup = 10;
        options.cycleWarmup = 2;
        main->startTimer(5, 30);
    }
    PhaseResult ticksBetween(Gauges start, Gauges end) {
        host.readings = {start, end};
        host.next = 0;
        return Soak(probe, host, options).ticks();
    }
};

TEST_F(Judging, RefreshesAreFlatWithinTheirAllowance) {
    const Gauges start = gauges(30 << 20, 1'000'000, 9, 32, 12);
    struct Case {
        const char* name;
        Gauges end;
        std::vector<std::string> over;
    };
    const std::vector<Case> cases{
        {"the same", start, {}},
        {"a cache that filled", {start.rssBytes, start.heapBytes + 4096, 9, 32, 12}, {}},
        {"heap past the allowance", {start.rssBytes, start.heapBytes + 9000, 9, 32, 12}, {"heap"}},
        {"RSS past its slack", {start.rssBytes + (1 << 20), start.heapBytes, 9, 32, 12}, {"RSS"}},
        {"one descriptor more", {start.rssBytes, start.heapBytes, 10, 32, 12}, {"descriptors"}},
        {"objects",
         {start.rssBytes, start.heapBytes, 9, 33, 13},
         {"graphics objects", "window objects"}},
        {"shrinking", {start.rssBytes - 4096, start.heapBytes - 500, 8, 31, 11}, {}},
    };
    for (const Case& c : cases) {
        const PhaseResult result = ticksBetween(start, c.end);
        EXPECT_TRUE(result.failure.empty()) << c.name;
        EXPECT_EQ(result.done, 100) << c.name;
        EXPECT_EQ(result.over, c.over) << c.name;
    }
    EXPECT_EQ(host.drains, 7 * 110) << "the event loop is drained after every tick";
}

TEST_F(Judging, WhatAPlatformCannotTellIsNotJudged) {
    const Gauges unknown{};
    const PhaseResult result = ticksBetween(unknown, gauges(-1, 1 << 30, -1, -1, -1));
    EXPECT_TRUE(result.over.empty());
    EXPECT_TRUE(result.failure.empty());
}

TEST_F(Judging, APhaseThatCannotRunSaysWhy) {
    main->stopTimer(5);
    EXPECT_EQ(ticksBetween({}, {}).failure, "the main window runs no timer");
    main.reset();
    EXPECT_EQ(ticksBetween({}, {}).failure, "the main window is not open");
}

TEST_F(Judging, APopupCycleThatOpensNoPopupDoesNotComplete) {
    // The window's input goes nowhere here, so a right press opens nothing.
    host.readings = {Gauges{}, Gauges{}};
    const PhaseResult result = Soak(probe, host, options).popupCycles();
    EXPECT_EQ(result.failure, "a warm-up cycle did not complete");
    EXPECT_EQ(probe.popupMode, PopupMode::Native) << "left as the user would find it";
}

TEST(SoakOptions, ReadsCountsAndRefusesTheRest) {
    struct Case {
        std::vector<const char*> argv;
        bool ok;
    };
    const std::vector<Case> cases{
        {{"soak", "--ticks", "5000", "--about", "3", "--popups", "0"}, true},
        {{"soak", "--tick-seconds", "2.5"}, true},
        {{"soak", "--ticks"}, false},
        {{"soak", "--ticks", "many"}, false},
        {{"soak", "--ticks", "-1"}, false},
        {{"soak", "--speed", "3"}, false},
    };
    for (const Case& c : cases) {
        SoakOptions options;
        std::ostringstream err;
        auto argv = c.argv;
        EXPECT_EQ(parseOptions(static_cast<int>(argv.size()), const_cast<char**>(argv.data()),
                               options, err),
                  c.ok)
            << c.argv[1];
        EXPECT_EQ(err.str().empty(), c.ok);
    }
    SoakOptions options;
    std::ostringstream err;
    std::array<const char*, 7> argv{"soak", "--ticks",        "5000", "--about",
                                    "3",    "--tick-seconds", "2.5"};
    ASSERT_TRUE(parseOptions(7, const_cast<char**>(argv.data()), options, err));
    EXPECT_EQ(options.ticks, 5000);
    EXPECT_EQ(options.aboutCycles, 3);
    EXPECT_EQ(options.popupCycles, 2000);
    EXPECT_DOUBLE_EQ(options.tickSeconds, 2.5);
}

}  // namespace
}  // namespace pelmora::bench

// The soak's layer between the core and a backend (what it passes through, what it keeps to
// itself, how it answers popups), how a phase is judged, and the driver's options.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/layout.h"
#include "probe.h"
#include "soak.h"

namespace pelmora::bench {
namespace {

struct Calls {
    std::vector<std::string> seen;
};

class RecordingWindow final : public core::NativeWindow {
  public:
    RecordingWindow(Calls& calls, platform::Hwnd handle) : calls_(calls), handle_(handle) {}
    platform::Hwnd handle() const override { return handle_; }
    std::uintptr_t iconHandle() const override { return 7; }
    void build(std::span<const core::WidgetSpec> widgets) override {
        calls_.seen.push_back("build " + std::to_string(widgets.size()));
    }
    void setCaption(std::string_view text) override {
        calls_.seen.push_back("caption " + std::string(text));
    }
    void show(core::Placement, const core::NativeWindow* owner) override {
        shownOver = owner;
        calls_.seen.push_back("show");
    }
    void hide() override { calls_.seen.push_back("hide"); }
    void runModalLoop() override { calls_.seen.push_back("modal loop"); }
    void endModalLoop() override { calls_.seen.push_back("end modal loop"); }
    platform::WindowState state() const override { return platform::WindowState::Normal; }
    void setState(platform::WindowState) override {}
    void focus() override {}
    std::optional<std::size_t> popupMenu(std::span<const core::PopupRow> rows) override {
        calls_.seen.push_back("popup " + std::to_string(rows.size()));
        return std::nullopt;
    }
    void setText(core::WidgetId id, std::string_view text) override {
        calls_.seen.push_back("text " + std::to_string(id) + " " + std::string(text));
    }
    void setAlignment(core::WidgetId, platform::Alignment) override {}
    void setVisible(core::WidgetId, bool) override {}
    void moveWidget(core::WidgetId, core::PixelPoint) override {}
    void clearDrawing(core::WidgetId) override {}
    void fillBox(core::WidgetId id, core::PixelRect, platform::Colour) override {
        calls_.seen.push_back("fill " + std::to_string(id));
    }
    void repaint(core::WidgetId id) override {
        calls_.seen.push_back("repaint " + std::to_string(id));
    }
    void startTimer(core::WidgetId id, int ms) override {
        calls_.seen.push_back("start timer " + std::to_string(id) + " " + std::to_string(ms));
    }
    void stopTimer(core::WidgetId id) override {
        calls_.seen.push_back("stop timer " + std::to_string(id));
    }

    const core::NativeWindow* shownOver = nullptr;

  private:
    Calls& calls_;
    platform::Hwnd handle_;
};

class RecordingPlatform final : public core::NativePlatform {
  public:
    explicit RecordingPlatform(Calls& calls) : calls_(calls) {}
    std::unique_ptr<core::NativeWindow> createWindow(const core::WindowSpec&,
                                                     core::WindowInput&) override {
        auto window = std::make_unique<RecordingWindow>(calls_, 0x100 + created.size());
        created.push_back(window.get());
        return window;
    }
    bool otherInstanceRunning() override { return false; }
    std::string executableName() override { return "pelmora"; }
    void messageBox(std::string_view, std::string_view, platform::MsgBoxIcon) override {
        calls_.seen.push_back("message box");
    }
    void setPointer(platform::MousePointer) override {}
    void post(std::function<void()> work) override { posted.push_back(std::move(work)); }
    void quit() override { calls_.seen.push_back("quit"); }
    void writeReportLine(std::string_view line) noexcept override {
        calls_.seen.push_back("report " + std::string(line));
    }

    std::vector<RecordingWindow*> created;
    std::vector<std::function<void()>> posted;

  private:
    Calls& calls_;
};

struct NoInput final : core::WindowInput {
    void mousePressed(std::optional<core::WidgetId>, platform::MouseButton, platform::Modifiers,
                      core::PixelPoint) noexcept override {}
    void buttonClicked(core::WidgetId) noexcept override {}
    void timerTicked(core::WidgetId) noexcept override {}
    void closeRequested() noexcept override {}
    void activated() noexcept override {}
    void popupChosen(std::size_t) noexcept override {}
};

constexpr platform::FormDef form(std::string_view name) {
    platform::FormDef def{};
    def.name = name;
    return def;
}
constexpr platform::FormDef kMainForm = form("frmmain");
constexpr platform::FormDef kAboutForm = form("frmAbout");

constexpr platform::ControlDef button(bool isDefault) {
    platform::ControlDef def{};
    def.kind = platform::ControlKind::CommandButton;
    def.isDefault = isDefault;
    return def;
}
constexpr platform::ControlDef kLabel{};
constexpr platform::ControlDef kPlainButton = button(false);
constexpr platform::ControlDef kDefaultButton = button(true);

struct Probe : ::testing::Test {
    Calls calls;
    RecordingPlatform real{calls};
    int dismissals = 0;
    ProbePlatform probe{real, [this] { ++dismissals; }};
    NoInput input;

    std::unique_ptr<core::NativeWindow> open(const platform::FormDef& def) {
        return probe.createWindow(core::WindowSpec{&def, 208, 51}, input);
    }
};

TEST_F(Probe, PassesDrawingThroughAndKeepsTimersToItself) {
    auto window = open(kMainForm);
    window->setText(2, "Free RAM = 5 GB");
    window->fillBox(9, {0, 0, 3, 4}, 0);
    window->repaint(9);
    window->startTimer(12, 30);
    window->startTimer(12, 30);
    window->startTimer(13, 500);
    window->stopTimer(13);

    EXPECT_EQ(calls.seen,
              (std::vector<std::string>{"text 2 Free RAM = 5 GB", "fill 9", "repaint 9"}));
    ProbeWindow* probed = probe.window("frmmain");
    ASSERT_NE(probed, nullptr);
    EXPECT_EQ(probed->runningTimers(), std::vector<core::WidgetId>{12});
    EXPECT_EQ(probed->handle(), real.created.front()->handle());
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

TEST_F(Probe, ShowsOverTheBackendsOwnWindow) {
    auto main = open(kMainForm);
    auto about = open(kAboutForm);
    about->show(core::Placement::CenterOwner, main.get());
    EXPECT_EQ(real.created[1]->shownOver, real.created[0]);
}

TEST_F(Probe, FindsTheButtonADialogKeyWouldPress) {
    std::array<core::WidgetSpec, 3> widgets{};
    const std::array<const platform::ControlDef*, 3> defs{&kLabel, &kPlainButton, &kDefaultButton};
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        widgets[i].id = i;
        widgets[i].def = defs[i];
    }
    auto about = open(kAboutForm);
    about->build(widgets);
    EXPECT_EQ(probe.window("frmAbout")->dialogButton(), core::WidgetId{2});

    auto main = open(kMainForm);
    main->build(std::span(widgets).first(1));
    EXPECT_FALSE(probe.window("frmmain")->dialogButton().has_value());
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
    EXPECT_TRUE(calls.seen.empty()) << "no real popup while the soak chooses";

    probe.popupMode = PopupMode::Dismiss;
    window->popupMenu(rows);
    EXPECT_EQ(dismissals, 1);
    probe.popupMode = PopupMode::Native;
    window->popupMenu(rows);
    EXPECT_EQ(dismissals, 1);
    EXPECT_EQ(calls.seen, (std::vector<std::string>{"popup 4", "popup 4"}));
    EXPECT_EQ(probe.popupsShown, 5u);
    EXPECT_EQ(probe.popupsChosen, 3u);
}

TEST_F(Probe, RunsTheModalHookOnceFromTheEventLoop) {
    auto about = open(kAboutForm);
    int ran = 0;
    probe.onModalLoop = [&](ProbeWindow& window) {
        EXPECT_EQ(window.name(), "frmAbout");
        ++ran;
    };
    about->runModalLoop();
    about->runModalLoop();
    ASSERT_EQ(real.posted.size(), 1u) << "posted, not run inside the loop's start";
    EXPECT_EQ(ran, 0);
    real.posted.front()();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(probe.modalLoopsRun, 2u);
}

TEST_F(Probe, NeverShowsABoxAndKeepsTheFirstReports) {
    probe.messageBox("Pelmora", "pelmora is Already running.", platform::MsgBoxIcon::Critical);
    for (int i = 0; i < 30; ++i) {
        probe.writeReportLine("line " + std::to_string(i));
    }
    EXPECT_EQ(std::count(calls.seen.begin(), calls.seen.end(), "message box"), 0);
    EXPECT_EQ(calls.seen.size(), 31u) << "every line still reaches the backend";
    ASSERT_EQ(probe.reportLines.size(), 20u);
    EXPECT_EQ(probe.reportLines.front(), "message box: Pelmora: pelmora is Already running.");
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

// The runtime core's rules of load, show, modal loops, unload, terminate and end, and of
// deferred destruction, run on the recording layer with probe forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/probe_form.h"
#include "support/rig.h"

namespace pelmora::core {
namespace {

using namespace testing::probe_names;
using platform::ShowMode;
using testing::kProbeA;
using testing::kProbeB;
using testing::kProbeC;

// Three probe forms on one program; the log holds what their events saw, in order.
struct ProbeProgram {
    ProbeProgram() {
        a.unload = [this](bool& cancel) { cancel = take(cancelA); };
        b.unload = [this](bool& cancel) { cancel = take(cancelB); };
    }
    static bool take(int& count) { return count > 0 && count-- > 0; }
    platform::Form& load(const platform::FormLayout& layout) {
        return rig.runtime.load(layout, probeFor(layout));
    }
    testing::Probe& probeFor(const platform::FormLayout& layout) {
        return layout.form.name == "frmA" ? a : layout.form.name == "frmB" ? b : c;
    }
    // The log from position `from` on.
    std::vector<std::string> logFrom(std::size_t from) const {
        return {log.begin() + static_cast<std::ptrdiff_t>(from), log.end()};
    }
    // Forms unloaded whose windows wait for the clean-up: windows no loaded form owns.
    std::size_t retiredForms() const {
        return static_cast<std::size_t>(
            std::count_if(platform.windows().begin(), platform.windows().end(), [&](auto* w) {
                const platform::Form* form = runtime.findForm(w->name);
                return form == nullptr || form->hWnd() != w->handle();
            }));
    }
    int number(const std::function<void()>& body) {
        try {
            body();
        } catch (const platform::Error& error) {
            return error.number();
        }
        return 0;
    }

    std::vector<std::string> log;
    testing::Probe a{"frmA", log}, b{"frmB", log}, c{"frmC", log};
    int cancelA = 0;  // unloads of frmA and frmB still to be cancelled
    int cancelB = 0;
    testing::Rig rig;
    recording::RecordingPlatform& platform = rig.platform;
    recording::Journal& journal = rig.platform.journal;
    Runtime& runtime = rig.runtime;
};

struct CoreLifecycle : ::testing::Test, ProbeProgram {};

TEST_F(CoreLifecycle, LoadBuildsTheWindowHiddenStartsItsTimersThenRunsLoadOnce) {
    a.load = [this] {
        recording::RecordingWindow& window = platform.window("frmA");
        log.push_back(window.shown ? "shown" : "hidden");
        log.push_back(window.widget("tmrTick").timerInterval ? "ticking" : "still");
    };
    platform::Form& form = load(kProbeA);
    EXPECT_EQ(log, (std::vector<std::string>{"frmA.Load", "hidden", "ticking"}));
    // Only an enabled timer with an interval ticks.
    EXPECT_EQ(journal.entries({}),
              (std::vector<std::string>{"createWindow frmA 200x100", "build frmA 11 widgets",
                                        "startTimer frmA tmrTick 100"}));
    // A loaded form is returned as it is, whatever the events and the case of its name.
    EXPECT_EQ(&load(kProbeA), &form);
    EXPECT_EQ(&runtime.load(kProbeA, b), &form);
    EXPECT_EQ(runtime.findForm("FRMA"), &form);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(journal.count("createWindow"), 1u);
}

TEST_F(CoreLifecycle, HandlersRunInTheOrderOfLoadUnloadAndTerminate) {
    const struct {
        std::vector<std::string> steps;
        std::vector<std::string> log;
        bool ended;
    } cases[] = {
        {{"load A", "load B", "unload A", "unload B"},
         {"frmA.Load", "frmB.Load", "frmA.Unload", "frmB.Unload", "frmA.Terminate",
          "frmB.Terminate"},
         true},
        // Terminate handlers follow the order the forms were first loaded in.
        {{"load B", "load A", "unload A", "unload B"},
         {"frmB.Load", "frmA.Load", "frmA.Unload", "frmB.Unload", "frmB.Terminate",
          "frmA.Terminate"},
         true},
        // A form loaded twice terminates once.
        {{"load A", "load B", "unload A", "load A", "unload B", "unload A"},
         {"frmA.Load", "frmB.Load", "frmA.Unload", "frmA.Load", "frmB.Unload", "frmA.Unload",
          "frmA.Terminate", "frmB.Terminate"},
         true},
        // The last form going ends the program; nothing loads after it.
        {{"load A", "unload A", "load A"},
         {"frmA.Load", "frmA.Unload", "frmA.Terminate", "error 364"},
         true},
        // End runs no unload or terminate handler.
        {{"load A", "load B", "end", "unload B", "load C"},
         {"frmA.Load", "frmB.Load", "error 364"},
         true},
        // A cancelled unload leaves the form loaded.
        {{"load A", "cancel A", "unload A", "unload A"},
         {"frmA.Load", "frmA.Unload", "frmA.Unload", "frmA.Terminate"},
         true},
        // A form that is not loaded is left alone.
        {{"load B", "unload A", "unload C", "unload B"},
         {"frmB.Load", "frmB.Unload", "frmB.Terminate"},
         true},
        {{"load A", "load B", "unload B"}, {"frmA.Load", "frmB.Load", "frmB.Unload"}, false},
    };
    const std::map<char, const platform::FormLayout*> layouts{
        {'A', &kProbeA}, {'B', &kProbeB}, {'C', &kProbeC}};
    for (const auto& c : cases) {
        auto program = std::make_unique<ProbeProgram>();
        for (const std::string& step : c.steps) {
            if (step == "end") {
                program->runtime.end();
                continue;
            }
            const platform::FormLayout& layout = *layouts.at(step.back());
            if (step.starts_with("load")) {
                if (const int n = program->number([&] { program->load(layout); })) {
                    program->log.push_back("error " + std::to_string(n));
                }
            } else if (step.starts_with("unload")) {
                program->runtime.unload(layout);
            } else if (step.starts_with("cancel")) {
                ++program->cancelA;
            }
        }
        EXPECT_EQ(program->log, c.log) << c.steps.size() << " " << c.steps.back();
        EXPECT_EQ(program->runtime.ended(), c.ended);
        EXPECT_EQ(program->journal.count("quit"), c.ended ? 1u : 0u);
    }
}

TEST_F(CoreLifecycle, AFormUnloadedInItsOwnHandlerStaysUsableUntilTheHandlerReturns) {
    platform::Form& form = load(kProbeA);
    form.show(ShowMode::Modeless);
    load(kProbeB);  // keeps the program running
    platform::Label& label = form.label(lblSolo);
    std::vector<std::string> seen;
    a.click = [&] {
        runtime.unload(form);
        seen.push_back(form.caption());
        seen.push_back(form.label(lblSolo).caption());
        seen.push_back(std::to_string(number([&] { label.setCaption("late"); })));
        seen.push_back(platform.find("frmA") != nullptr ? "window kept" : "window gone");
        seen.push_back(std::to_string(retiredForms()));
    };
    ASSERT_TRUE(platform.click("frmA", "cmdGo"));
    EXPECT_EQ(seen, (std::vector<std::string>{"frmA", "solo", "364", "window kept", "1"}));
    EXPECT_EQ(log.back(), "frmA.Unload");
    EXPECT_FALSE(platform.window("frmA").shown);
    // The form goes with the clean-up posted once the handler returned.
    EXPECT_NE(platform.find("frmA"), nullptr);
    EXPECT_EQ(platform.runPosted(), 1);
    EXPECT_EQ(platform.find("frmA"), nullptr);
    EXPECT_EQ(retiredForms(), 0u);
    EXPECT_EQ(runtime.findForm("frmA"), nullptr);
}

TEST_F(CoreLifecycle, TheCleanUpWaitsWhileAnyHandlerStillRuns) {
    load(kProbeA).show(ShowMode::Modeless);
    load(kProbeB);
    load(kProbeC);
    platform.runPosted();
    runtime.unload(kProbeC);  // from outside any handler: its clean-up is posted at once
    ASSERT_EQ(platform.pendingPosts(), 1u);
    a.click = [&] {
        runtime.unload(kProbeB);
        load(kProbeC).show(ShowMode::Modal);
    };
    platform.whileModal([&] {
        // The loop has run the posted clean-up first: it had to leave both forms.
        EXPECT_EQ(platform.pendingPosts(), 0u);
        EXPECT_EQ(retiredForms(), 2u);
        platform.close("frmC");
    });
    ASSERT_TRUE(platform.click("frmA", "cmdGo"));
    EXPECT_EQ(retiredForms(), 3u);
    platform.runPosted();
    EXPECT_EQ(retiredForms(), 0u);
    EXPECT_EQ(platform.windows().size(), 1u);
}

TEST_F(CoreLifecycle, AnUnloadInsideItsOwnUnloadOrLoadHandler) {
    platform::Form& form = load(kProbeA);
    load(kProbeB);
    int unloads = 0;
    a.unload = [&](bool&) {
        ++unloads;
        runtime.unload(form);  // already on its way: not run again
    };
    runtime.unload(form);
    EXPECT_EQ(unloads, 1);
    EXPECT_EQ(runtime.findForm("frmA"), nullptr);

    // A form unloaded by its own Load handler comes back unloaded: showing it fails.
    c.load = [&] { runtime.unload(kProbeC); };
    platform::Form& gone = load(kProbeC);
    EXPECT_EQ(runtime.findForm("frmC"), nullptr);
    EXPECT_EQ(number([&] { gone.show(ShowMode::Modeless); }), 364);
    EXPECT_FALSE(runtime.ended());
}

TEST_F(CoreLifecycle, AfterEndNoEventArrivesAndNothingLoads) {
    platform::Form& form = load(kProbeA);
    form.show(ShowMode::Modeless);
    a.click = [&] {
        runtime.end();
        log.push_back("after end");
    };
    ASSERT_TRUE(platform.click("frmA", "cmdGo"));
    EXPECT_EQ(logFrom(log.size() - 2), (std::vector<std::string>{"frmA.Click cmdGo", "after end"}));
    EXPECT_EQ(journal.entries({"stopTimer", "hide", "quit"}),
              (std::vector<std::string>{"stopTimer frmA tmrTick", "hide frmA", "quit"}));
    EXPECT_TRUE(runtime.ended());

    // Late input from the toolkit reaches no handler.
    const std::size_t from = log.size();
    recording::RecordingWindow& window = platform.window("frmA");
    window.input.timerTicked(window.widget("tmrTick").made.id);
    window.input.buttonClicked(window.widget("cmdGo").made.id);
    window.input.mousePressed(std::nullopt, platform::MouseButton::Left, {}, {});
    window.input.closeRequested();
    window.input.activated();
    EXPECT_EQ(logFrom(from), std::vector<std::string>{});
    EXPECT_EQ(number([&] { load(kProbeB); }), 364);
    runtime.unload(form);
    EXPECT_EQ(logFrom(from), std::vector<std::string>{});
}

TEST_F(CoreLifecycle, OnlyATimersOwnTickReachesItsHandler) {
    platform::Form& form = load(kProbeA);
    form.show(ShowMode::Modeless);
    recording::RecordingWindow& window = platform.window("frmA");
    const struct {
        const char* what;
        core::WidgetId id;
        std::vector<std::string> log;
    } cases[] = {
        {"the timer", window.widget("tmrTick").made.id, {"frmA.Timer tmrTick"}},
        {"a label's slot", window.widget("lblSolo").made.id, {}},
        {"a disabled timer", window.widget("tmrIdle").made.id, {}},
        {"past the last control", 10'000, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t from = log.size();
        window.input.timerTicked(c.id);
        EXPECT_EQ(logFrom(from), c.log);
    }
}

TEST_F(CoreLifecycle, AModalShowReturnsOnceTheFormIsGone) {
    const struct {
        const char* how;
        std::function<void(ProbeProgram&)> whileOpen;
        std::vector<std::string> log;  // from the show on
    } cases[] = {
        {"its own button",
         [](ProbeProgram& p) {
             p.b.click = [&p] { p.runtime.unload(kProbeB); };
             p.platform.click("frmB", "cmdGo");
         },
         {"frmB.Activate", "frmB.Click cmdGo", "frmB.Unload", "frmA.Activate", "returned"}},
        {"its frame",
         [](ProbeProgram& p) { p.platform.close("frmB"); },
         {"frmB.Activate", "frmB.Unload", "frmA.Activate", "returned"}},
        {"another form's timer",
         [](ProbeProgram& p) {
             p.a.tick = [&p] { p.runtime.unload(kProbeB); };
             p.platform.tick("frmA", "tmrTick");
         },
         {"frmB.Activate", "frmA.Timer tmrTick", "frmB.Unload", "frmA.Activate", "returned"}},
        {"end",
         [](ProbeProgram& p) {
             p.b.click = [&p] { p.runtime.end(); };
             p.platform.click("frmB", "cmdGo");
         },
         {"frmB.Activate", "frmB.Click cmdGo", "returned"}},
    };
    for (const auto& c : cases) {
        auto p = std::make_unique<ProbeProgram>();
        p->load(kProbeA).show(ShowMode::Modeless);
        p->a.click = [&p = *p] {
            p.load(kProbeB).show(ShowMode::Modal);
            p.log.push_back("returned");
        };
        p->platform.whileModal([&c, &p = *p] {
            // The first attempt to close is cancelled, and the loop goes on.
            p.cancelB = 1;
            p.platform.close("frmB");
            c.whileOpen(p);
        });
        const std::size_t from = p->log.size();
        ASSERT_TRUE(p->platform.click("frmA", "cmdGo"));
        std::vector<std::string> expected{"frmA.Click cmdGo", "frmB.Load"};
        expected.insert(expected.end(), c.log.begin(), c.log.end());
        // The cancelled close shows as one more Unload right after the activation.
        expected.insert(expected.begin() + 3, "frmB.Unload");
        EXPECT_EQ(p->logFrom(from), expected) << c.how;
        EXPECT_EQ(p->platform.window("frmB").modalLoops(), 0u);
        EXPECT_FALSE(p->platform.window("frmB").shown) << c.how;
    }
}

TEST_F(CoreLifecycle, AFormShownCannotBeShownModallyAgain) {
    platform::Form& a1 = load(kProbeA);
    a1.show(ShowMode::Modeless);
    EXPECT_EQ(number([&] { a1.show(ShowMode::Modal); }), 400);
    EXPECT_EQ(number([&] { a1.show(ShowMode::Modeless); }), 0);

    platform::Form& b1 = load(kProbeB);
    int insideModal = -1;
    int modelessInside = -1;
    platform.whileModal([&] {
        insideModal = number([&] { b1.show(ShowMode::Modal); });
        modelessInside = number([&] { b1.show(ShowMode::Modeless); });
        platform.close("frmB");
    });
    a.click = [&] { b1.show(ShowMode::Modal); };
    ASSERT_TRUE(platform.click("frmA", "cmdGo"));
    EXPECT_EQ(insideModal, 400);
    EXPECT_EQ(modelessInside, 0);
    EXPECT_EQ(journal.entries({"show frmB"}),
              (std::vector<std::string>{"show frmB Normal", "show frmB"}));
}

TEST_F(CoreLifecycle, ATickIsNotTakenWhileTheLastOneWaitsInAModalLoop) {
    load(kProbeA).show(ShowMode::Modeless);
    int ticks = 0;
    a.tick = [&] {
        if (++ticks == 1) {
            load(kProbeB).show(ShowMode::Modal);
        }
    };
    platform.whileModal([&] {
        EXPECT_TRUE(platform.tick("frmA", "tmrTick"));
        EXPECT_TRUE(platform.tick("frmA", "tmrTick"));
        EXPECT_TRUE(platform.tick("frmB", "tmrTick"));  // another timer ticks on
        platform.close("frmB");
    });
    ASSERT_TRUE(platform.tick("frmA", "tmrTick"));
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "frmB.Timer tmrTick"), 1);
    ASSERT_TRUE(platform.tick("frmA", "tmrTick"));
    EXPECT_EQ(ticks, 2);
}

TEST_F(CoreLifecycle, AModalLoopBlocksTheOtherFormsInputButNotTheirTimers) {
    load(kProbeA).show(ShowMode::Modeless);
    a.click = [&] { load(kProbeB).show(ShowMode::Modal); };
    std::vector<std::string> whileOpen;
    platform.whileModal([&] {
        const std::size_t from = log.size();
        platform.activate("frmA");
        platform.pressBackground("frmA", platform::MouseButton::Left);
        platform.click("frmA", "cmdGo");
        platform.close("frmA");
        platform.tick("frmA", "tmrTick");
        platform.press("frmB", "lblSolo", platform::kNoIndex, platform::MouseButton::Left);
        platform.activate("frmB");  // already the active form: nothing
        whileOpen = logFrom(from);
        platform.close("frmB");
    });
    ASSERT_TRUE(platform.click("frmA", "cmdGo"));
    EXPECT_EQ(whileOpen,
              (std::vector<std::string>{"frmA.Timer tmrTick", "frmB.MouseDown lblSolo Left 0,0"}));
    EXPECT_NE(runtime.findForm("frmA"), nullptr);
    // Once the box is gone its owner is the active form again, and takes input.
    EXPECT_EQ(log.back(), "frmA.Activate");
    EXPECT_EQ(platform.activeWindow(), &platform.window("frmA"));
    ASSERT_TRUE(platform.pressBackground("frmA", platform::MouseButton::Left));
    EXPECT_EQ(log.back(), "frmA.MouseDown (form) Left 0,0");
}

TEST_F(CoreLifecycle, AModalShowOutsideAnyHandlerOutlivesItsOwnUnloadAndTheCleanUp) {
    load(kProbeA);
    platform::Form& box = load(kProbeB);
    b.click = [&] { runtime.unload(kProbeB); };
    platform.whileModal([&] {
        platform.click("frmB", "cmdGo");
        platform.runPosted();  // what the loop does next
    });
    box.show(ShowMode::Modal);
    EXPECT_EQ(runtime.findForm("frmB"), nullptr);
    platform.runPosted();
    EXPECT_EQ(platform.find("frmB"), nullptr);
}

TEST_F(CoreLifecycle, APopupOutsideAnyHandlerOutlivesTheUnloadOfItsForm) {
    platform::Form& form = load(kProbeA);
    form.show(ShowMode::Modeless);
    load(kProbeB);
    platform.whilePopupOpen([&](const std::vector<recording::ShownRow>&) {
        platform.close("frmA");
        platform.runPosted();
        return std::optional<std::size_t>(0);
    });
    form.popupMenu(form.menu(mnuTop));
    EXPECT_EQ(log.back(), "frmA.Unload");  // the choice went nowhere: its form is gone
    platform.runPosted();
    EXPECT_EQ(platform.find("frmA"), nullptr);
}

TEST_F(CoreLifecycle, AFormUnloadedByItsOwnActivationRunsNoModalLoop) {
    load(kProbeA);
    b.activate = [this] { runtime.unload(kProbeB); };
    load(kProbeB).show(ShowMode::Modal);
    EXPECT_EQ(journal.count("runModalLoop"), 0u);
    EXPECT_EQ(runtime.findForm("frmB"), nullptr);
    EXPECT_EQ(logFrom(1), (std::vector<std::string>{"frmB.Load", "frmB.Activate", "frmB.Unload"}));
}

TEST_F(CoreLifecycle, AModalLoopThatCannotRunBlocksNothing) {
    load(kProbeA).show(ShowMode::Modeless);
    journal.failOn("runModalLoop frmB", 1);
    a.click = [&] { load(kProbeB).show(ShowMode::Modal); };
    ASSERT_TRUE(platform.click("frmA", "cmdGo"));
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "frmA.cmdGo_Click");
    // The box is shown but holds nothing up: the owner takes input, the box closes.
    ASSERT_TRUE(platform.pressBackground("frmA", platform::MouseButton::Left));
    EXPECT_EQ(log.back(), "frmA.MouseDown (form) Left 0,0");
    ASSERT_TRUE(platform.close("frmB"));
    EXPECT_EQ(runtime.findForm("frmB"), nullptr);
    EXPECT_EQ(journal.count("endModalLoop"), 0u);
}

TEST_F(CoreLifecycle, AnUnloadWhoseStepsFailStillEndsTheModalLoopAndHidesTheWindow) {
    load(kProbeA).show(ShowMode::Modeless);
    journal.failOn("stopTimer frmB tmrTick", 1);
    a.click = [&] {
        load(kProbeB).show(ShowMode::Modal);
        log.push_back("returned");
    };
    platform.whileModal([&] { platform.close("frmB"); });
    ASSERT_TRUE(platform.click("frmA", "cmdGo"));
    EXPECT_EQ(log.back(), "returned");
    EXPECT_FALSE(platform.window("frmB").shown);
    EXPECT_EQ(runtime.findForm("frmB"), nullptr);
}

TEST_F(CoreLifecycle, AFormThatCannotBeBuiltIsNotLoaded) {
    for (const char* step : {"createWindow frmA", "build frmA", "startTimer frmA tmrTick"}) {
        auto p = std::make_unique<ProbeProgram>();
        p->journal.failOn(step, 1);
        EXPECT_EQ(p->number([&] { p->load(kProbeA); }), recording::kInjectedError) << step;
        EXPECT_EQ(p->runtime.findForm("frmA"), nullptr) << step;
        EXPECT_EQ(p->platform.find("frmA"), nullptr) << step;  // no window left behind
        EXPECT_TRUE(p->log.empty()) << step;
        // The next load builds it afresh and runs its Load; it terminates once.
        p->load(kProbeA);
        p->runtime.unload(kProbeA);
        EXPECT_EQ(p->log, (std::vector<std::string>{"frmA.Load", "frmA.Unload", "frmA.Terminate"}))
            << step;
    }
}

}  // namespace
}  // namespace pelmora::core

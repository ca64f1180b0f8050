// The catching edge of the runtime core: whatever a handler raises is reported once under
// the handler's name and goes no further, and the program goes on.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/probe_form.h"
#include "support/rig.h"

namespace pelmora::core {
namespace {

using namespace std::chrono_literals;
using namespace testing::probe_names;
using platform::ShowMode;
using testing::kProbeA;
using testing::kProbeB;

struct Failure {
    const char* what;
    std::function<void()> raise;
    int number;
    std::string description;
};

const Failure kFailures[] = {
    {"its own error", [] { throw platform::Error(77, "shell gone"); }, 77, "shell gone"},
    {"a runtime error", [] { throw platform::Error(platform::ErrorCode::Overflow); }, 6,
     "Overflow"},
    {"no memory", [] { throw std::bad_alloc(); }, 7, "Out of memory"},
    {"a library's exception", [] { throw std::out_of_range("index 9"); }, 51,
     "Internal error: index 9"},
    {"anything else", [] { throw 42; }, 51, "Internal error: unknown failure"},
};

// frmA shown and frmB loaded; frmA's events raise on request.
struct EdgeProgram {
    EdgeProgram() {
        a.load = a.activate = a.terminate = a.tick = a.mouseDown = a.click = [this] { fail(); };
        a.unload = [this](bool&) { fail(); };
        b.unload = [this](bool&) { fail(); };
    }
    void fail() {
        if (raise) {
            raise();
        }
    }
    std::vector<std::string> log;
    testing::Probe a{"frmA", log}, b{"frmB", log};
    std::function<void()> raise;
    testing::Rig rig;
};

TEST(CoreEdge, WhatEscapesAHandlerIsReportedOnceUnderItsNameAndGoesNoFurther) {
    const struct {
        const char* handler;
        std::function<void(EdgeProgram&)> event;
        std::function<bool(EdgeProgram&)> after;  // the program went on as it should
    } events[] = {
        {"frmA.Form_Load", [](EdgeProgram& p) { p.rig.runtime.load(kProbeA, p.a); },
         [](EdgeProgram& p) { return p.rig.runtime.findForm("frmA") != nullptr; }},
        {"frmA.Form_Activate",
         [](EdgeProgram& p) {
             p.rig.runtime.load(kProbeB, p.b).show(ShowMode::Modeless);
             p.rig.platform.activate("frmA");
         },
         [](EdgeProgram& p) { return p.rig.platform.activeWindow()->name == "frmA"; }},
        {"frmA.tmrTick_Timer", [](EdgeProgram& p) { p.rig.platform.tick("frmA", "tmrTick"); },
         [](EdgeProgram& p) { return p.rig.platform.tick("frmA", "tmrTick"); }},
        {"frmA.cmdGo_Click", [](EdgeProgram& p) { p.rig.platform.click("frmA", "cmdGo"); },
         [](EdgeProgram&) { return true; }},
        {"frmA.lblPair_MouseDown",
         [](EdgeProgram& p) {
             p.rig.platform.press("frmA", "lblPair", 0, platform::MouseButton::Left);
         },
         [](EdgeProgram&) { return true; }},
        {"frmA.Form_MouseDown",
         [](EdgeProgram& p) {
             p.rig.platform.pressBackground("frmA", platform::MouseButton::Right);
         },
         [](EdgeProgram&) { return true; }},
        {"frmA.mnuItem_Click",
         [](EdgeProgram& p) {
             p.rig.platform.chooseInNextPopup("First");
             platform::Form& form = *p.rig.runtime.findForm("frmA");
             form.popupMenu(form.menu(mnuTop));
         },
         [](EdgeProgram&) { return true; }},
        // An unload goes ahead whatever its handler raised.
        {"frmA.Form_Unload", [](EdgeProgram& p) { p.rig.platform.close("frmA"); },
         [](EdgeProgram& p) { return p.rig.runtime.findForm("frmA") == nullptr; }},
    };
    for (const Failure& failure : kFailures) {
        for (const auto& e : events) {
            EdgeProgram p;
            if (std::string_view(e.handler) != "frmA.Form_Load") {
                p.rig.runtime.load(kProbeA, p.a).show(ShowMode::Modeless);
            }
            p.rig.runtime.load(kProbeB, p.b);
            p.raise = failure.raise;
            EXPECT_NO_THROW(e.event(p)) << e.handler << " " << failure.what;
            ASSERT_EQ(p.rig.reports().size(), 1u) << e.handler << " " << failure.what;
            const recording::Report& report = p.rig.reports()[0];
            EXPECT_EQ(report.handler, e.handler) << failure.what;
            EXPECT_EQ(report.number, failure.number) << e.handler;
            EXPECT_EQ(report.description, failure.description) << e.handler;
            p.raise = nullptr;
            EXPECT_TRUE(e.after(p)) << e.handler << " " << failure.what;
            EXPECT_EQ(p.rig.reports().size(), 1u) << e.handler;
        }
    }
}

TEST(CoreEdge, TerminateHandlersThatRaiseAreEachReportedAndTheProgramStillEnds) {
    EdgeProgram p;
    p.b.terminate = [] { throw platform::Error(77, "b"); };
    p.rig.runtime.load(kProbeA, p.a);
    p.rig.runtime.load(kProbeB, p.b);
    p.raise = kFailures[0].raise;
    p.rig.runtime.unload(kProbeB);
    p.rig.runtime.unload(kProbeA);
    ASSERT_EQ(p.rig.reports().size(), 4u);
    EXPECT_EQ(p.rig.reports()[0].handler, "frmB.Form_Unload");
    EXPECT_EQ(p.rig.reports()[1].handler, "frmA.Form_Unload");
    EXPECT_EQ(p.rig.reports()[2].handler, "frmA.Form_Terminate");
    EXPECT_EQ(p.rig.reports()[3].handler, "frmB.Form_Terminate");
    EXPECT_TRUE(p.rig.runtime.ended());
}

TEST(CoreEdge, RepeatsOfOneErrorAreHeldBackThenCounted) {
    EdgeProgram p;
    p.rig.runtime.load(kProbeA, p.a);
    p.raise = kFailures[0].raise;
    for (int i = 0; i < 4; ++i) {
        p.rig.platform.tick("frmA", "tmrTick");
    }
    p.rig.clock.advance(ErrorReporter::kQuietPeriod);
    p.rig.platform.tick("frmA", "tmrTick");
    ASSERT_EQ(p.rig.reports().size(), 2u);
    EXPECT_EQ(p.rig.reports()[1].description, "shell gone (3 repeats held back)");
}

TEST(CoreGuard, RunsTheBodyAndReportsWhatItRaisesUnderTheGivenName) {
    for (const Failure& failure : kFailures) {
        testing::Rig rig;
        bool ran = false;
        EXPECT_NO_THROW(rig.runtime.guard("Tray_WndProc", [&] {
            ran = true;
            failure.raise();
        }));
        EXPECT_TRUE(ran);
        ASSERT_EQ(rig.reports().size(), 1u) << failure.what;
        EXPECT_EQ(rig.reports()[0].handler, "Tray_WndProc");
        EXPECT_EQ(rig.reports()[0].number, failure.number);
        EXPECT_EQ(rig.reports()[0].description, failure.description);
    }
    testing::Rig quiet;
    int runs = 0;
    quiet.runtime.guard("Tray_WndProc", [&] { ++runs; });
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(quiet.reports().empty());
}

TEST(CoreGuard, AFormUnloadedInsideTheGuardGoesOnlyAfterIt) {
    std::vector<std::string> log;
    testing::Probe a{"frmA", log}, b{"frmB", log};
    testing::Rig rig;
    platform::Form& form = rig.runtime.load(kProbeA, a);
    rig.runtime.load(kProbeB, b);
    rig.runtime.guard("Tray_WndProc", [&] {
        rig.runtime.unload(form);
        rig.platform.runPosted();  // the window system may run posted work meanwhile
        EXPECT_NE(rig.platform.find("frmA"), nullptr);
        EXPECT_EQ(form.caption(), "frmA");
    });
    EXPECT_EQ(rig.platform.runPosted(), 1);
    EXPECT_EQ(rig.platform.find("frmA"), nullptr);
    EXPECT_TRUE(rig.reports().empty());
}

TEST(CoreGuard, AnInstanceCheckThatCannotTellAnswersNoAndIsToldOnce) {
    testing::Rig rig;
    rig.journal().failOn("otherInstanceRunning", 0,
                         NativeFailure(Failed::InstanceGuard, "lock file"));
    EXPECT_FALSE(rig.runtime.prevInstance());
    rig.clock.advance(1min);
    EXPECT_FALSE(rig.runtime.prevInstance());
    ASSERT_EQ(rig.reports().size(), 1u);
    EXPECT_EQ(rig.reports()[0].handler, "App.PrevInstance");
    rig.journal().clearFailures();
    rig.platform.otherInstance = true;
    EXPECT_TRUE(rig.runtime.prevInstance());
}

}  // namespace
}  // namespace pelmora::core

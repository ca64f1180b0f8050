// The runtime core's rule for picture boxes: what a handler draws reaches the window once the
// handler returns, and only when it differs from what the window shows.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/probe_form.h"
#include "support/rig.h"

namespace pelmora::core {
namespace {

using namespace testing::probe_names;
using platform::ShowMode;
using platform::UserRect;
using testing::kProbeA;
using testing::kProbeB;

constexpr platform::Colour kRed = 0x000000FF;
constexpr platform::Colour kGreen = 0x0000FF00;

// A filled box in pixels of the drawing area (the probe's box is 100 x 50).
struct Box {
    UserRect corners;
    platform::Colour colour;
};
const Box kA{{0, 0, 10, 10}, kRed};
const Box kB{{5, 5, 20, 20}, kGreen};  // overlaps kA
const Box kAGreen{{0, 0, 10, 10}, kGreen};
const Box kOutside{{200, 0, 300, 10}, kRed};

const char* const kClearA = "clearDrawing frmA picBox";
const char* const kFillA = "fillBox frmA picBox 0,0 10x10 #FF0000";
const char* const kFillB = "fillBox frmA picBox 5,5 15x15 #00FF00";
const char* const kFillAGreen = "fillBox frmA picBox 0,0 10x10 #00FF00";
const char* const kRepaintA = "repaint frmA picBox";
// Noted by the tick's handler as its last step.
const char* const kReturned = "handler returns";

const std::vector<std::string_view> kDrawing{"clearDrawing", "fillBox", "repaint", "!", kReturned};

// frmA shown, its tick drawing on its box in pixels whatever the test set for the next tick,
// and frmB loaded beside it.
struct DrawingProgram {
    DrawingProgram() {
        a.tick = [this] {
            if (next) {
                next();
            }
            rig.journal().note(kReturned);
        };
        rig.runtime.load(kProbeA, a).show(ShowMode::Modeless);
        box(rig.form("frmA")).scale({0, 0, 100, 50});
        rig.runtime.load(kProbeB, b);
    }
    static platform::PictureBox& box(platform::Form& form) { return form.pictureBox(picBox); }
    static void draw(platform::PictureBox& pic, bool cls, const std::vector<Box>& boxes) {
        if (cls) {
            pic.cls();
        }
        pic.refresh();
        for (const Box& fill : boxes) {
            pic.fillBox(fill.corners, fill.colour);
        }
    }
    // One tick of frmA that clears its box (or not) and fills the boxes; the drawing
    // operations and the handler's return from then on.
    std::vector<std::string> tick(bool cls, std::vector<Box> boxes) {
        next = [this, cls, boxes] { draw(box(rig.form("frmA")), cls, boxes); };
        const std::size_t from = rig.journal().mark();
        EXPECT_TRUE(rig.platform.tick("frmA", "tmrTick"));
        return rig.journal().entries(kDrawing, from);
    }
    std::vector<std::string> tick(std::vector<Box> boxes) { return tick(true, std::move(boxes)); }
    recording::Widget& shown(std::string_view form) {
        return rig.platform.window(form).widget("picBox");
    }

    std::vector<std::string> log;
    testing::Probe a{"frmA", log}, b{"frmB", log};
    std::function<void()> next;
    testing::Rig rig;
};

struct Drawing : ::testing::Test, DrawingProgram {};

TEST_F(Drawing, OnlyADrawingThatDiffersReachesTheWindowWholeAndAfterTheHandler) {
    const struct {
        const char* what;
        bool cls;
        std::vector<Box> boxes;
        std::vector<std::string> sent;
    } steps[] = {
        {"a first drawing", true, {kA}, {kReturned, kClearA, kFillA, kRepaintA}},
        {"the same again", true, {kA}, {kReturned}},
        {"only refreshed", false, {}, {kReturned}},
        {"one more box", true, {kA, kB}, {kReturned, kClearA, kFillA, kFillB, kRepaintA}},
        {"the same boxes in the other order",
         true,
         {kB, kA},
         {kReturned, kClearA, kFillB, kFillA, kRepaintA}},
        {"a box of another colour",
         true,
         {kB, kAGreen},
         {kReturned, kClearA, kFillB, kFillAGreen, kRepaintA}},
        {"a box outside the area adds nothing", true, {kB, kAGreen, kOutside}, {kReturned}},
        {"a box drawn over what is there",
         false,
         {kA},
         {kReturned, kClearA, kFillB, kFillAGreen, kFillA, kRepaintA}},
        {"cleared", true, {}, {kReturned, kClearA, kRepaintA}},
        {"cleared again", true, {}, {kReturned}},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(tick(step.cls, step.boxes), step.sent) << step.what;
    }
    EXPECT_TRUE(shown("frmA").boxes.empty());
    EXPECT_EQ(shown("frmA").repaints, 6);
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(Drawing, AFailingStepIsReportedUnderTheHandlerAndTheNextTickSendsTheWholeDrawingAgain) {
    const struct {
        const char* failing;
        std::vector<std::string> sent;  // by the failing tick, which draws kB over kA
    } cases[] = {
        {"clearDrawing", {kReturned, "! clearDrawing frmA picBox"}},
        {"fillBox", {kReturned, kClearA, "! fillBox frmA picBox 5,5 15x15 #00FF00"}},
        {"repaint", {kReturned, kClearA, kFillB, "! repaint frmA picBox"}},
    };
    // After the failure the window shows neither drawing for sure: the one it showed before
    // and the one that failed both go whole.
    const struct {
        Box box;
        const char* fill;
    } nextDrawings[] = {{kA, kFillA}, {kB, kFillB}};
    for (const auto& c : cases) {
        for (const auto& next : nextDrawings) {
            SCOPED_TRACE(std::string(c.failing) + ", then " + next.fill);
            DrawingProgram program;
            ASSERT_EQ(program.tick({kA}).size(), 4u);
            program.rig.journal().failOn(std::string(c.failing) + " frmA picBox", 1);
            EXPECT_EQ(program.tick({kB}), c.sent);
            ASSERT_EQ(program.rig.reports().size(), 1u);
            EXPECT_EQ(program.rig.reports()[0].handler, "frmA.tmrTick_Timer");
            EXPECT_EQ(program.rig.reports()[0].number, recording::kInjectedError);
            EXPECT_EQ(program.tick({next.box}),
                      (std::vector<std::string>{kReturned, kClearA, next.fill, kRepaintA}));
            EXPECT_EQ(program.tick({next.box}), std::vector<std::string>{kReturned});
            EXPECT_EQ(program.shown("frmA").boxes.size(), 1u);
            EXPECT_EQ(program.rig.reports().size(), 1u);
        }
    }
}

TEST_F(Drawing, ABoxThatFailsDoesNotKeepAnotherBoxFromBeingDrawn) {
    for (const bool failingDrawnFirst : {true, false}) {
        SCOPED_TRACE(failingDrawnFirst ? "the failing box drawn first" : "drawn last");
        DrawingProgram program;
        program.rig.journal().failOn("fillBox frmA picBox", 1);
        program.next = [&program, failingDrawnFirst] {
            for (const char* form :
                 failingDrawnFirst ? std::vector{"frmA", "frmB"} : std::vector{"frmB", "frmA"}) {
                draw(box(program.rig.form(form)), true, {kA});
            }
        };
        const std::size_t from = program.rig.journal().mark();
        ASSERT_TRUE(program.rig.platform.tick("frmA", "tmrTick"));
        EXPECT_EQ(program.rig.journal().count("! fillBox frmA picBox", from), 1u);
        EXPECT_EQ(program.rig.journal().count("repaint frmB picBox", from), 1u);
        EXPECT_EQ(program.shown("frmB").boxes.size(), 1u);
        ASSERT_EQ(program.rig.reports().size(), 1u);
        EXPECT_EQ(program.rig.reports()[0].handler, "frmA.tmrTick_Timer");
    }
}

TEST_F(Drawing, ABoxOfAFormUnloadedBeforeItsDrawingSettlesIsNotDrawn) {
    const std::vector<std::string> drawnOnB{
        "clearDrawing frmB picBox", "fillBox frmB picBox 0,0 10x10 #FF0000", "repaint frmB picBox"};
    const struct {
        const char* what;
        const char* form;
        bool inHandler;
        bool cancel;  // the form's unload handler cancels
        std::vector<std::string> sent;
    } cases[] = {
        {"another form, in the same handler", "frmB", true, false, {}},
        {"the handler's own form", "frmA", true, false, {}},
        {"outside any handler, until the clean-up", "frmB", false, false, {}},
        {"an unload that is cancelled", "frmB", true, true, drawnOnB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DrawingProgram program;
        program.b.unload = [&c](bool& cancel) { cancel = c.cancel; };
        const std::size_t from = program.rig.journal().mark();
        const auto drawAndUnload = [&program, &c] {
            platform::Form& form = program.rig.form(c.form);
            draw(box(form), true, {kA});
            program.rig.runtime.unload(form);
        };
        if (c.inHandler) {
            program.next = drawAndUnload;
            ASSERT_TRUE(program.rig.platform.tick("frmA", "tmrTick"));
        } else {
            drawAndUnload();
        }
        // The clean-up destroys the form and its window.
        program.rig.platform.runPosted();
        EXPECT_EQ(program.rig.platform.find(c.form) != nullptr, c.cancel);
        EXPECT_EQ(program.rig.journal().entries({"clearDrawing", "fillBox", "repaint"}, from),
                  c.sent);
        EXPECT_TRUE(program.rig.reports().empty());
    }
}

TEST_F(Drawing, AHandlerNestedInAModalLoopSettlesWhatWasDrawnWhenItReturns) {
    std::vector<std::string> sentByTheTick;
    std::vector<recording::DrawnBox> shownOnBWhileOpen;
    b.tick = [this] { draw(box(rig.form("frmB")), true, {kB}); };
    a.click = [this] {
        platform::PictureBox& own = box(rig.form("frmA"));
        draw(own, true, {kA});
        rig.form("frmB").show(ShowMode::Modal);
        own.fillBox(kB.corners, kB.colour);
    };
    rig.platform.whileModal([&] {
        const std::size_t from = rig.journal().mark();
        ASSERT_TRUE(rig.platform.tick("frmB", "tmrTick"));
        sentByTheTick = rig.journal().entries(kDrawing, from);
        shownOnBWhileOpen = shown("frmB").boxes;
        rig.platform.close("frmB");
    });
    ASSERT_TRUE(rig.platform.click("frmA", "cmdGo"));
    EXPECT_EQ(sentByTheTick, (std::vector<std::string>{"clearDrawing frmB picBox",
                                                       "fillBox frmB picBox 5,5 15x15 #00FF00",
                                                       "repaint frmB picBox"}));
    EXPECT_EQ(shownOnBWhileOpen, (std::vector<recording::DrawnBox>{{{5, 5, 15, 15}, kGreen}}));
    // The click's whole drawing once it returns.
    EXPECT_EQ(shown("frmA").boxes,
              (std::vector<recording::DrawnBox>{{{0, 0, 10, 10}, kRed}, {{5, 5, 15, 15}, kGreen}}));
    EXPECT_TRUE(rig.reports().empty());
}

}  // namespace
}  // namespace pelmora::core

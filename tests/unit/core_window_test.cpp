// The runtime core's window policy: where windows go when first shown and when the screens
// change, the order widgets are built in, first focus, and the forms a modal box blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/window_policy.h"
#include "support/probe_form.h"
#include "support/rig.h"

namespace pelmora::core {
namespace {

using namespace testing::probe_names;
using platform::ShowMode;
using platform::StartUpPosition;
using platform::WindowState;

constexpr PixelRect kScreen{0, 0, 1024, 768};
constexpr PixelRect kRightScreen{1024, 0, 1280, 1024};
constexpr PixelRect kUnderTopPanel{0, 24, 1024, 744};

TEST(WindowPlacement, CentresOverTheOwnerOrOnTheScreenOfTheOwnerOrPointer) {
    using Areas = std::vector<PixelRect>;
    const PixelRect box{0, 0, 200, 100};
    const PixelRect about{0, 0, 278, 194};
    const struct {
        const char* what;
        StartUpPosition startUp;
        PixelRect frame;
        std::optional<PixelRect> owner;
        PixelPoint pointer;
        Areas areas;
        std::optional<PixelPoint> expected;
    } cases[] = {
        {"one screen", StartUpPosition::CenterScreen, box, {}, {5, 5}, {kScreen}, {{412, 334}}},
        {"under a top panel",
         StartUpPosition::CenterScreen,
         box,
         {},
         {5, 5},
         {kUnderTopPanel},
         {{412, 346}}},
        {"pointer on the second screen",
         StartUpPosition::CenterScreen,
         box,
         {},
         {1500, 500},
         {kScreen, kRightScreen},
         {{1564, 462}}},
        {"owner on the second screen",
         StartUpPosition::CenterScreen,
         box,
         PixelRect{1100, 40, 208, 51},
         {5, 5},
         {kScreen, kRightScreen},
         {{1564, 462}}},
        {"pointer off every screen",
         StartUpPosition::CenterScreen,
         box,
         {},
         {3000, 5},
         {kScreen, kRightScreen},
         {{1564, 462}}},
        {"over its owner",
         StartUpPosition::CenterOwner,
         box,
         PixelRect{300, 200, 208, 51},
         {5, 5},
         {kScreen},
         {{304, 176}}},
        {"over an owner near the corner",
         StartUpPosition::CenterOwner,
         about,
         PixelRect{768, 670, 208, 51},
         {5, 5},
         {kScreen},
         {{733, 574}}},
        {"over an owner half off the left",
         StartUpPosition::CenterOwner,
         about,
         PixelRect{-150, 300, 208, 51},
         {5, 5},
         {kScreen},
         {{0, 229}}},
        {"no owner shown",
         StartUpPosition::CenterOwner,
         box,
         {},
         {1500, 500},
         {kScreen, kRightScreen},
         {{1564, 462}}},
        {"no screen known",
         StartUpPosition::CenterOwner,
         box,
         PixelRect{300, 200, 208, 51},
         {5, 5},
         {},
         {{304, 176}}},
        {"no screen, no owner", StartUpPosition::CenterScreen, box, {}, {5, 5}, {}, {}},
        {"manual", StartUpPosition::Manual, box, {}, {5, 5}, {kScreen}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(placement({c.startUp, c.frame, c.owner, c.pointer}, c.areas), c.expected)
            << c.what;
    }
}

TEST(WindowPlacement, AfterAScreenChangeAModalBoxIsWholeAndAnyOtherKeepsAGrip) {
    const std::vector<PixelRect> one{kScreen};
    const std::vector<PixelRect> small{{0, 0, 640, 480}};
    const std::vector<PixelRect> two{kScreen, kRightScreen};
    const struct {
        const char* what;
        PixelRect window;
        bool whole;
        const std::vector<PixelRect>& areas;
        std::optional<PixelPoint> expected;
    } cases[] = {
        {"beyond the right edge", {1524 + 1280, 100, 200, 100}, false, two, {{2104, 100}}},
        {"below and left", {-900, 1068, 200, 100}, false, one, {{0, 668}}},
        {"a sliver on the screen", {1020, 100, 200, 100}, false, one, {{824, 100}}},
        {"above, a sliver", {300, -93, 200, 100}, false, one, {{300, 0}}},
        {"a grip shows", {1016, 760, 200, 100}, false, one, {}},
        {"half on the screen", {924, 100, 200, 100}, false, one, {}},
        {"on the screen", {10, 20, 200, 100}, false, one, {}},
        {"modal, half on the screen", {924, 100, 200, 100}, true, one, {{824, 100}}},
        {"modal, left on a screen grown small", {733, 597, 278, 194}, true, small, {{362, 286}}},
        {"modal, larger than the screen", {10, 10, 700, 500}, true, small, {{0, 0}}},
        {"modal, across two screens", {2200, 900, 200, 200}, true, two, {{2104, 824}}},
        {"modal, on the screen", {10, 20, 200, 100}, true, one, {}},
        {"no screen", {5000, 20, 200, 100}, true, {}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(keptOnScreen(c.window, c.whole, c.areas), c.expected) << c.what;
    }
}

// Two probe forms on one program: frmA centred on the screen, frmB centred over it.
struct CoreWindow : ::testing::Test {
    platform::Form& load(const platform::FormLayout& layout) {
        return rig.runtime.load(layout, layout.form.name == "frmA" ? a : b);
    }
    recording::RecordingWindow& window(std::string_view name) { return platform.window(name); }

    std::vector<std::string> log;
    testing::Probe a{"frmA", log}, b{"frmB", log};
    testing::Rig rig;
    recording::RecordingPlatform& platform = rig.platform;
    recording::Journal& journal = rig.platform.journal;
};

TEST_F(CoreWindow, WidgetsAreBuiltParentsFirstChildWindowsInFront) {
    load(testing::kProbeA);
    std::vector<std::string> order;
    for (const recording::Widget& w : window("frmA").widgets) {
        order.push_back(w.name);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"picBox", "lblInner", "cmdGo", "lblPair(0)",
                                               "lblPair(1)", "lblSolo", "tmrTick", "tmrIdle",
                                               "tmrNone", "linEdge", "imgLogo"}));
}

TEST_F(CoreWindow, ALayoutWhoseTreeCannotBeBuiltLoadsNothing) {
    using platform::ControlDef;
    using platform::ControlKind;
    const auto make = [](std::string_view name, ControlKind kind, std::string_view parent) {
        ControlDef def{};
        def.name = platform::ControlName(name);
        def.kind = kind;
        def.parent = platform::ControlName(parent);
        def.width = def.height = 300;
        return def;
    };
    const struct {
        const char* what;
        std::vector<ControlDef> controls;
    } cases[] = {
        {"a control inside a label",
         {make("lblA", ControlKind::Label, ""), make("lblB", ControlKind::Label, "lblA")}},
        {"a box inside itself", {make("picA", ControlKind::PictureBox, "picA")}},
        {"two boxes inside each other",
         {make("picA", ControlKind::PictureBox, "picB"),
          make("picB", ControlKind::PictureBox, "picA")}},
        {"a container that is not there", {make("lblA", ControlKind::Label, "picGone")}},
    };
    for (const auto& c : cases) {
        const platform::FormLayout layout{testing::kProbeA.form, c.controls, {}};
        try {
            rig.runtime.load(layout, a);
            ADD_FAILURE() << c.what << " loaded";
        } catch (const platform::Error& error) {
            EXPECT_EQ(error.number(), 730) << c.what;
        }
        EXPECT_TRUE(platform.windows().empty()) << c.what;
    }
}

TEST_F(CoreWindow, TheLayerIsToldResolvedValuesAndTheButtonsChainOfFocus) {
    using platform::ControlDef;
    using platform::ControlKind;
    const auto make = [](std::string_view name, ControlKind kind, std::int16_t tabIndex) {
        ControlDef def =
            testing::probe_layout::placed(platform::ControlName(name), kind, {}, 0, 0, 300, 300);
        def.tabIndex = tabIndex;
        def.text = name;
        def.borderWidth = 0;
        return def;
    };
    // By tab index, those without one after, ties as the table lists them; labels have none.
    const std::vector<ControlDef> controls{make("cmdLate", ControlKind::CommandButton, 2),
                                           make("cmdNone", ControlKind::CommandButton, -1),
                                           make("lblText", ControlKind::Label, 0),
                                           make("cmdFirst", ControlKind::CommandButton, 0),
                                           make("cmdTie", ControlKind::CommandButton, 2),
                                           make("cmdLast", ControlKind::CommandButton, -1),
                                           make("linRule", ControlKind::Line, -1)};
    const struct {
        const char* name;
        std::optional<int> tabStop;
    } expected[] = {{"cmdLate", 1}, {"cmdNone", 3}, {"lblText", std::nullopt}, {"cmdFirst", 0},
                    {"cmdTie", 2},  {"cmdLast", 4}, {"linRule", std::nullopt}};
    load(platform::FormLayout{testing::kProbeA.form, controls, {}});
    const recording::RecordingWindow& w = window("frmA");
    EXPECT_EQ(w.made.name, "frmA");
    EXPECT_EQ(w.made.caption, testing::kProbeA.form.caption);
    for (const auto& e : expected) {
        const auto found =
            std::find_if(w.widgets.begin(), w.widgets.end(),
                         [&](const recording::Widget& x) { return x.name == e.name; });
        ASSERT_NE(found, w.widgets.end()) << e.name;
        EXPECT_EQ(found->made.tabStop, e.tabStop) << e.name;
        EXPECT_EQ(found->made.text, e.name) << e.name;
        // A line is never thinner than a pixel.
        EXPECT_EQ(found->made.lineWidth, 1) << e.name;
    }
}

TEST_F(CoreWindow, AModalBoxGoesOverItsOwnerDisablesItAndEnablesItBeforeItHides) {
    platform::Form& owner = load(testing::kProbeA);
    owner.show(ShowMode::Modeless);
    EXPECT_EQ(window("frmA").frameRect, (PixelRect{412, 334, 200, 100}));
    platform::Form& box = load(testing::kProbeB);
    const std::size_t from = journal.mark();
    platform.whileModal([&] {
        EXPECT_FALSE(window("frmA").enabled);
        EXPECT_EQ(window("frmB").owner, "frmA");
        EXPECT_EQ(window("frmB").focused, "cmdGo");
        platform.close("frmB");
    });
    box.show(ShowMode::Modal);
    EXPECT_EQ(journal.entries({"setOwner", "moveTo", "setEnabled", "runModalLoop", "hide"}, from),
              (std::vector<std::string>{"setOwner frmB frmA", "moveTo frmB 412,334",
                                        "setEnabled frmA false", "runModalLoop frmB",
                                        "setEnabled frmA true", "hide frmB"}));
    EXPECT_TRUE(window("frmA").enabled);
}

TEST_F(CoreWindow, APressOnAWindowAModalBoxBlocksBringsTheBoxBackRestored) {
    load(testing::kProbeA).show(ShowMode::Modeless);
    const struct {
        WindowState box;
        std::vector<std::string> calls;
    } cases[] = {
        {WindowState::Normal, {"state frmB -> Normal", "bringToFront frmB"}},
        {WindowState::Minimized,
         {"state frmB -> Minimized", "setState frmB Normal", "bringToFront frmB"}},
    };
    for (const auto& c : cases) {
        platform::Form& box = load(testing::kProbeB);
        platform.whileModal([&] {
            window("frmB").windowState = c.box;
            const std::size_t from = journal.mark();
            const std::size_t logged = log.size();
            EXPECT_TRUE(platform.click("frmA", "cmdGo"));
            EXPECT_TRUE(platform.pressBackground("frmA", platform::MouseButton::Left));
            std::vector<std::string> expected = c.calls;
            expected.insert(expected.end(), {"state frmB -> Normal", "bringToFront frmB"});
            EXPECT_EQ(journal.entries({"state", "setState", "bringToFront"}, from), expected)
                << "the first press restores the box; the second finds it so";
            EXPECT_EQ(log.size(), logged) << "no handler of frmA ran";
            EXPECT_EQ(platform.activeWindow(), &window("frmB"));
            platform.close("frmB");
        });
        box.show(ShowMode::Modal);
    }
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(CoreWindow, AScreenChangeClosesThePopupAndBringsTheWindowsBack) {
    load(testing::kProbeA).show(ShowMode::Modeless);
    window("frmA").frameRect = {600, 400, 200, 100};  // dragged near the corner
    platform::Form& box = load(testing::kProbeB);
    b.mouseDown = [&] { box.popupMenu(box.menu(mnuTop)); };
    platform.whileModal([&] {
        EXPECT_EQ(window("frmB").frameRect, (PixelRect{600, 400, 200, 100}));
        platform.whilePopupOpen([&](const std::vector<recording::ShownRow>&) {
            platform.changeScreens({{0, 0, 640, 480}});
            return std::optional<std::size_t>(0);  // too late: the popup is gone
        });
        EXPECT_TRUE(platform.pressBackground("frmB", platform::MouseButton::Right));
        platform.close("frmB");
    });
    box.show(ShowMode::Modal);
    EXPECT_EQ(journal.count("closePopup frmB"), 2u) << "each window reports the change";
    EXPECT_EQ(std::count(log.begin(), log.end(), "frmB.Click mnuItem(0)"), 0)
        << "no item of the closed popup ran";
    EXPECT_EQ(window("frmA").frameRect, (PixelRect{600, 400, 200, 100})) << "a grip shows";
    EXPECT_EQ(journal.entries({"moveTo frmB"}).back(), "moveTo frmB 440,380");
    EXPECT_TRUE(rig.reports().empty());
}

TEST_F(CoreWindow, FocusOnAHiddenFormIsNoErrorAndAToolkitFailureIsTheRuntimesOwn) {
    platform::Form& hidden = load(testing::kProbeA);
    EXPECT_NO_THROW(hidden.setFocus());
    EXPECT_EQ(journal.count("bringToFront"), 0u);
    platform.refuseWindows = true;
    try {
        load(testing::kProbeB);
        ADD_FAILURE() << "loaded without a window";
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.number(), 31002);
        EXPECT_EQ(error.description(),
                  "Cannot create the window: frmB: the toolkit made no window");
    }
    platform.refuseWindows = false;
    journal.failOn("createWindow frmB", 1);
    try {
        load(testing::kProbeB);
        ADD_FAILURE() << "loaded without a window";
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.number(), recording::kInjectedError) << "an error of the table stays";
    }
}

}  // namespace
}  // namespace pelmora::core

// The contract every native layer keeps under the runtime core, checked once and run on each:
// what reaches the system when the user presses, clicks, types, closes and chooses; timers and
// posted work; modal shows; popups and message boxes; what labels, picture boxes and the meter
// show; and what the native interface does with calls the core should never make.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "layer.h"
#include "meter/usage_meter.h"
#include "platform/core/accessible.h"
#include "platform/core/form.h"
#include "support/no_input.h"
#include "support/probe_form.h"
#include "ui/about/about_layout.h"
#include "ui/main/main_layout.h"

namespace pelmora::conformance {
namespace {

using platform::ControlDef;
using platform::ControlKind;
using platform::ControlName;
using platform::MouseButton;
using platform::ShowMode;
namespace names = ui::frmmain_names;

// The system's events as one line each: "Load", "Click cmdGo(-1)", "MouseDown lblTotalRam(0)
// Right+Shift 645,105" (x, y in the form's unit), then the hook the case set, if any.
class Events : public platform::FormEvents {
  public:
    std::vector<std::string> log;
    std::function<void()> onTick;
    bool cancelUnload = false;

    void onLoad() override { log.emplace_back("Load"); }
    void onUnload(bool& cancel) override {
        log.emplace_back("Unload");
        cancel = cancelUnload;
    }
    void onActivate() override { log.emplace_back("Activate"); }
    void onTimer(ControlName timer) override {
        ++ticks;
        if (onTick) {
            onTick();
        }
        (void)timer;
    }
    void onMouseDown(ControlName control, std::int16_t index, MouseButton button,
                     platform::Modifiers keys, float x, float y) override {
        const char* const buttons[] = {"Left", "Right", "Middle"};
        char at[48];
        std::snprintf(at, sizeof at, " %g,%g", static_cast<double>(x), static_cast<double>(y));
        log.push_back("MouseDown " + std::string(control.text()) + "(" + std::to_string(index) +
                      ") " + buttons[static_cast<int>(button)] + (keys.shift ? "+Shift" : "") +
                      (keys.control ? "+Ctrl" : "") + (keys.alt ? "+Alt" : "") + at);
    }
    void onClick(ControlName control, std::int16_t index) override {
        log.push_back("Click " + std::string(control.text()) + "(" + std::to_string(index) + ")");
        if (onChosen) {
            onChosen(index);
        }
    }

    int ticks = 0;
    std::function<void(std::int16_t index)> onChosen;
};

// ---- a small form of the suite's own: a framed box holding a label and a button, a timer,
// a default and a cancel button

constexpr ControlName kBox{"picBox"};
constexpr ControlName kInner{"lblInner"};
constexpr ControlName kTick{"tmrMain"};
constexpr ControlName kGo{"cmdGo"};
constexpr ControlName kStop{"cmdStop"};
constexpr ControlName kInBox{"cmdInBox"};

// Captioned with its own name.
constexpr ControlDef control(ControlName name, ControlKind kind, ControlName parent,
                             std::int32_t left, std::int32_t top, std::int32_t width,
                             std::int32_t height) {
    ControlDef def = testing::probe_layout::placed(name, kind, parent, left, top, width, height);
    def.text = name.text();
    return def;
}

constexpr ControlDef button(ControlName name, ControlName parent, std::int32_t left,
                            std::int32_t top, bool isDefault, bool isCancel, std::int16_t tab) {
    ControlDef def = control(name, ControlKind::CommandButton, parent, left, top, 900, 345);
    def.isDefault = isDefault;
    def.isCancel = isCancel;
    def.tabIndex = tab;
    return def;
}

constexpr ControlDef kControls[] = {
    [] {
        ControlDef def = control(kBox, ControlKind::PictureBox, {}, 1500, 0, 1500, 780);
        def.framed = true;
        return def;
    }(),
    control(kInner, ControlKind::Label, kBox, 150, 15, 600, 300),
    button(kInBox, kBox, 150, 375, false, false, 2),
    [] {
        ControlDef def = control(kTick, ControlKind::Timer, {}, 0, 0, 0, 0);
        def.interval = 10;
        return def;
    }(),
    button(kGo, {}, 0, 1050, true, false, 0),
    button(kStop, {}, 1500, 1050, false, true, 1),
};

// Widget ids are positions in the table.
constexpr core::WidgetId kBoxId = 0;
constexpr core::WidgetId kInnerId = 1;
constexpr core::WidgetId kInBoxId = 2;
constexpr core::WidgetId kStopId = 5;

constexpr platform::FormDef formDef(std::string_view name, platform::FormBorder border,
                                    platform::StartUpPosition startUp) {
    platform::FormDef def{};
    def.name = name;
    def.caption = name;
    def.border = border;
    def.clientWidth = 3000;
    def.clientHeight = 1500;
    def.startUp = startUp;
    return def;
}

constexpr platform::FormLayout kTestLayout{
    formDef("frmTest", platform::FormBorder::None, platform::StartUpPosition::CenterScreen),
    kControls,
    {}};
constexpr platform::FormLayout kDialogLayout{
    formDef("frmDialog", platform::FormBorder::FixedDialog, platform::StartUpPosition::CenterOwner),
    kControls,
    {}};

// Whether a window's frame sits centred over an area (a screen's work area, another frame).
bool centred(core::PixelRect window, core::PixelRect over) {
    return window.left == over.left + (over.width - window.width) / 2 &&
           window.top == over.top + (over.height - window.height) / 2;
}

// ---------------------------------------------------------------------------------------------
// Lifecycle and what the user does to a window

TEST_P(Conformance, AFormIsBuiltHiddenAndShowsCentredOnTheScreenAsActive) {
    Events events;
    platform::Form& form = runtime().load(kTestLayout, events);
    EXPECT_FALSE(layer().shown(form.hWnd()));
    EXPECT_EQ(events.log, std::vector<std::string>{"Load"});
    form.show(ShowMode::Modeless);
    EXPECT_TRUE(layer().shown(form.hWnd()));
    const std::vector<core::PixelRect> areas = native().workAreas();
    ASSERT_FALSE(areas.empty());
    EXPECT_TRUE(centred(layer().frameOf(form.hWnd()), areas.front()));
    layer().waitFor([&] { return events.log.size() >= 2; }, 200);
    EXPECT_EQ(events.log, (std::vector<std::string>{"Load", "Activate"}));
}

TEST_P(Conformance, TheCloseButtonUnloadsTheFormUnlessItsHandlerCancels) {
    Events events;
    platform::Form& form = runtime().load(kTestLayout, events);
    form.show(ShowMode::Modeless);
    const platform::Hwnd hWnd = form.hWnd();
    events.cancelUnload = true;
    layer().close(hWnd);
    layer().waitFor([&] { return events.log.back() == "Unload"; }, 500);
    EXPECT_EQ(events.log.back(), "Unload");
    EXPECT_TRUE(layer().shown(hWnd)) << "a cancelled unload leaves the form as it was";
    EXPECT_NE(runtime().findForm("frmTest"), nullptr);

    events.cancelUnload = false;
    layer().close(hWnd);
    EXPECT_TRUE(layer().waitFor([&] { return runtime().findForm("frmTest") == nullptr; }));
    EXPECT_EQ(std::count(events.log.begin(), events.log.end(), "Unload"), 2);
    EXPECT_TRUE(runtime().ended()) << "the last form went";
}

TEST_P(Conformance, PressesReachTheFrontmostControlWithItsIndexButtonKeysAndPoint) {
    Events events;
    platform::Form& form = runtime().load(ui::kMainLayout, events);
    form.show(ShowMode::Modeless);
    form.pictureBox(names::picGraph).setVisible(true);
    struct Press {
        core::PixelPoint at;  // in the client area
        MouseButton button;
        platform::Modifiers keys;
        const char* expected;  // twips from the pressed control's corner
    };
    const platform::Modifiers none;
    const platform::Modifiers shift{true, false, false};
    const platform::Modifiers shiftControl{true, true, false};
    const platform::Modifiers controlAlt{false, true, true};
    const Press presses[] = {
        {{50, 10}, MouseButton::Left, none, "MouseDown lblTotalRam(0) Left 645,105"},
        {{20, 8}, MouseButton::Right, shift, "MouseDown lblTotalRam(0) Right+Shift 195,75"},
        {{50, 2}, MouseButton::Right, none, "MouseDown lblTotalRam(1) Right 630,0"},
        {{100, 35},
         MouseButton::Left,
         shiftControl,
         "MouseDown lblRamUsage(1) Left+Shift+Ctrl 1395,15"},
        {{20, 40}, MouseButton::Left, controlAlt, "MouseDown lblRamUsage(1) Left+Ctrl+Alt 195,90"},
        {{3, 40}, MouseButton::Middle, shift, "MouseDown (-1) Middle+Shift 45,600"},
        {{100, 49}, MouseButton::Left, none, "MouseDown (-1) Left 1500,735"},
        {{0, 20}, MouseButton::Right, none, "MouseDown (-1) Right 0,300"},
        {{199, 5}, MouseButton::Right, none, "MouseDown picGraph(-1) Right 45,45"},
    };
    for (const Press& press : presses) {
        SCOPED_TRACE(press.expected);
        events.log.clear();
        layer().press(form.hWnd(), press.at, press.button, press.keys);
        layer().waitFor([&] { return !events.log.empty(); }, 500);
        EXPECT_EQ(events.log, std::vector<std::string>{press.expected});
    }
    // Hidden, the meter lets a press through to the label under it.
    form.pictureBox(names::picGraph).setVisible(false);
    events.log.clear();
    layer().press(form.hWnd(), {199, 5}, MouseButton::Left);
    layer().waitFor([&] { return !events.log.empty(); }, 500);
    EXPECT_EQ(events.log, std::vector<std::string>{"MouseDown lblTotalRam(0) Left 2880,30"});
}

// Space presses the button that has the focus: the first in the tab order as the form shows.
TEST_P(Conformance, ButtonsAnywhereAndEnterEscapeAndSpaceClickTheirButton) {
    Events events;
    platform::Form& form = runtime().load(kTestLayout, events);
    form.show(ShowMode::Modeless);
    const platform::Hwnd hWnd = form.hWnd();
    struct Case {
        const char* what;
        std::function<void()> act;
        const char* expected;
    };
    // Keys first: a click may take the focus to the clicked button on some toolkits.
    const Case cases[] = {
        {"Space", [&] { layer().key(hWnd, Key::Space); }, "Click cmdGo(-1)"},
        {"Enter", [&] { layer().key(hWnd, Key::Enter); }, "Click cmdGo(-1)"},
        {"Escape", [&] { layer().key(hWnd, Key::Escape); }, "Click cmdStop(-1)"},
        {"click", [&] { layer().clickButton(hWnd, kStopId); }, "Click cmdStop(-1)"},
        {"click in a box", [&] { layer().clickButton(hWnd, kInBoxId); }, "Click cmdInBox(-1)"},
    };
    const auto clicks = [&] {
        std::vector<std::string> seen;
        std::copy_if(events.log.begin(), events.log.end(), std::back_inserter(seen),
                     [](const std::string& line) { return line.starts_with("Click"); });
        return seen;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        events.log.clear();
        c.act();
        layer().waitFor([&] { return !clicks().empty(); });
        EXPECT_EQ(clicks(), std::vector<std::string>{c.expected});
    }
}

// ---------------------------------------------------------------------------------------------
// Timers, posted work, the pointer

TEST_P(Conformance, TimersTickUntilDisabledAndAFailingHandlerIsReportedOnce) {
    Events events;
    platform::Form& form = runtime().load(kTestLayout, events);
    events.onTick = [] { throw platform::Error::overflow(); };
    ASSERT_TRUE(layer().waitFor([&] { return events.ticks >= 3; }));
    const std::vector<std::string> reports = layer().reports();
    ASSERT_EQ(reports.size(), 1u) << "repeats are held back";
    EXPECT_NE(reports[0].find("frmTest.tmrMain_Timer: 6 Overflow"), std::string::npos)
        << reports[0];

    form.timer(kTick).setEnabled(false);
    const int stopped = events.ticks;
    layer().waitFor([] { return false; }, 100);
    EXPECT_EQ(events.ticks, stopped);
    form.timer(kTick).setEnabled(true);
    EXPECT_TRUE(layer().waitFor([&] { return events.ticks > stopped; }));
}

TEST_P(Conformance, PostedWorkRunsLaterInOrderAndNotOnceThePlatformIsGone) {
    std::vector<int> ran;
    native().post([&] { ran.push_back(1); });
    native().post([&] { ran.push_back(2); });
    EXPECT_TRUE(ran.empty()) << "not while the poster runs";
    EXPECT_TRUE(layer().waitFor([&] { return ran.size() == 2; }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    native().post([&] { ran.push_back(3); });
    layer().stop();
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST_P(Conformance, TheHourglassIsSetAndRestoredWithoutStacking) {
    EXPECT_FALSE(layer().hourglassShown());
    runtime().setMousePointer(platform::MousePointer::Hourglass);
    runtime().setMousePointer(platform::MousePointer::Hourglass);
    EXPECT_TRUE(layer().hourglassShown());
    runtime().setMousePointer(platform::MousePointer::Default);
    EXPECT_FALSE(layer().hourglassShown());
}

// ---------------------------------------------------------------------------------------------
// Modal shows and message boxes

TEST_P(Conformance, AModalShowRunsALoopThatBlocksTheOwnerUntilTheFormUnloads) {
    Events mainEvents;
    platform::Form& main = runtime().load(kTestLayout, mainEvents);
    main.show(ShowMode::Modeless);
    Events dialogEvents;
    platform::Form& dialog = runtime().load(kDialogLayout, dialogEvents);
    const platform::Hwnd dialogHwnd = dialog.hWnd();
    std::vector<std::string> pressedOwner;
    bool dialogCentred = false;
    dialogEvents.onTick = [&] {
        if (dialogEvents.ticks == 1) {
            dialogCentred = centred(layer().frameOf(dialogHwnd), layer().frameOf(main.hWnd()));
            // A press on the blocked owner reaches nobody.
            const std::size_t before = mainEvents.log.size();
            layer().press(main.hWnd(), {10, 10}, MouseButton::Left);
            pressedOwner.assign(mainEvents.log.begin() + static_cast<std::ptrdiff_t>(before),
                                mainEvents.log.end());
        }
        if (dialogEvents.ticks == 5) {
            runtime().unload(dialog);
        }
    };
    // The user's part, from inside the loop: waiting for the ticks.
    native().post([&] { layer().waitFor([&] { return dialogEvents.ticks >= 5; }); });
    dialog.show(ShowMode::Modal);
    EXPECT_EQ(dialogEvents.ticks, 5);
    EXPECT_GT(mainEvents.ticks, 0) << "the owner's timer ticks on";
    EXPECT_TRUE(pressedOwner.empty()) << pressedOwner.front();
    EXPECT_TRUE(dialogCentred);
    EXPECT_EQ(dialogEvents.log, (std::vector<std::string>{"Load", "Activate", "Unload"}));
    EXPECT_EQ(runtime().findForm("frmDialog"), nullptr);

    mainEvents.log.clear();
    layer().press(main.hWnd(), {10, 10}, MouseButton::Left);
    layer().waitFor([&] { return !mainEvents.log.empty(); }, 500);
    EXPECT_EQ(mainEvents.log, std::vector<std::string>{"MouseDown (-1) Left 150,150"})
        << "the owner takes presses again";
}

TEST_P(Conformance, AModalBoxGoesWithTheFormItWasShownOverAndTheProgramEnds) {
    Events mainEvents;
    platform::Form& main = runtime().load(kTestLayout, mainEvents);
    main.show(ShowMode::Modeless);
    Events dialogEvents;
    platform::Form& dialog = runtime().load(kDialogLayout, dialogEvents);
    dialogEvents.onTick = [&] {
        if (dialogEvents.ticks == 1) {
            runtime().unload(main);
        }
    };
    native().post([&] { layer().waitFor([&] { return dialogEvents.ticks >= 1; }); });
    dialog.show(ShowMode::Modal);
    EXPECT_EQ(dialogEvents.log, (std::vector<std::string>{"Load", "Activate", "Unload"}));
    EXPECT_EQ(runtime().findForm("frmDialog"), nullptr);
    EXPECT_EQ(runtime().findForm("frmTest"), nullptr);
}

TEST_P(Conformance, TheMessageBoxShowsTheTitlePromptAndIconAndReturnsOnceClosed) {
    for (const platform::MsgBoxIcon icon :
         {platform::MsgBoxIcon::Critical, platform::MsgBoxIcon::Information}) {
        layer().closeNextMessageBox();
        runtime().msgBox("pelmora is Already running.\r\nPlease check.", icon);
        ShownBox seen = layer().lastMessageBox();
        ASSERT_TRUE(seen.seen);
        EXPECT_EQ(seen.title, runtime().title());
        std::erase(seen.prompt, '\r');
        EXPECT_EQ(seen.prompt, "pelmora is Already running.\nPlease check.");
        EXPECT_EQ(seen.icon, icon);
    }
}

// ---------------------------------------------------------------------------------------------
// Popups

TEST_P(Conformance, APopupShowsItsVisibleRowsAndRunsTheChosenOneBeforeReturning) {
    Events events;
    platform::Form& form = runtime().load(testing::kProbeA, events);
    form.show(ShowMode::Modeless);
    const std::vector<Row> expected = {
        {"&First", false, false, true},
        {"-", true, false, true},
        {"&Second", false, true, true},
        {"&Disabled", false, false, false},
    };
    struct Case {
        std::optional<std::size_t> row;
        const char* click;  // none: dismissed
    };
    const Case cases[] = {
        {2, "Click mnuItem(2)"}, {0, "Click mnuItem(0)"}, {std::nullopt, nullptr}};
    for (const Case& c : cases) {
        std::vector<Row> shown;
        layer().answerNextPopup([&](const std::vector<Row>& rows) {
            shown = rows;
            return c.row;
        });
        events.log.clear();
        form.popupMenu(form.menu(testing::probe_names::mnuTop));
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(events.log, c.click != nullptr ? std::vector<std::string>{c.click}
                                                 : std::vector<std::string>{});
    }
}

TEST_P(Conformance, APopupAskedForWhileOneIsOpenIsDismissed) {
    Events events;
    platform::Form& form = runtime().load(testing::kProbeA, events);
    form.show(ShowMode::Modeless);
    events.log.clear();
    int opened = 0;
    layer().answerNextPopup([&](const std::vector<Row>&) -> std::optional<std::size_t> {
        ++opened;
        form.popupMenu(form.menu(testing::probe_names::mnuTop));
        return 0;
    });
    form.popupMenu(form.menu(testing::probe_names::mnuTop));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(events.log, std::vector<std::string>{"Click mnuItem(0)"});
}

TEST_P(Conformance, TheMainMenuShowsItsSevenRowsAndAChoiceChangesNoMarkByItself) {
    Events events;
    platform::Form& form = runtime().load(ui::kMainLayout, events);
    form.show(ShowMode::Modeless);
    struct Choice {
        std::int16_t index;
        bool handlerFlipsMark;
    };
    for (const Choice choice : {Choice{2, true}, Choice{0, true}, Choice{0, false}}) {
        SCOPED_TRACE(choice.index);
        events.onChosen = [&](std::int16_t index) {
            if (choice.handlerFlipsMark) {
                auto& item = form.menuItem(names::mnuAction, index);
                item.setChecked(!item.checked());
            }
        };
        const bool before = form.menuItem(names::mnuAction, choice.index).checked();
        std::vector<Row> shown;
        layer().answerNextPopup([&](const std::vector<Row>& rows) {
            shown = rows;
            return std::optional<std::size_t>(static_cast<std::size_t>(choice.index));
        });
        events.log.clear();
        form.popupMenu(form.menu(names::mnuA));
        EXPECT_EQ(events.log, std::vector<std::string>{"Click mnuAction(" +
                                                       std::to_string(choice.index) + ")"});
        EXPECT_EQ(form.menuItem(names::mnuAction, choice.index).checked() != before,
                  choice.handlerFlipsMark);
        ASSERT_EQ(shown.size(), 7u);
        EXPECT_EQ(shown[static_cast<std::size_t>(choice.index)].checked, before)
            << "the mark as it was";
        std::vector<std::string> captions;
        for (const Row& row : shown) {
            captions.push_back(row.caption);
        }
        EXPECT_EQ(captions,
                  (std::vector<std::string>{"&Keep on top", "&Precise Values", "&Show Usage Meter",
                                            "-", "&About", "-", "E&xit"}));
    }
}

TEST_P(Conformance, TheContextMenuKeyAndShiftF10OpenTheMainMenuWhoseChoiceRuns) {
    Events events;
    platform::Form& form = runtime().load(ui::kMainLayout, events);
    form.show(ShowMode::Modeless);
    for (const Key key : {Key::ContextMenu, Key::ShiftF10}) {
        SCOPED_TRACE(static_cast<int>(key));
        std::vector<Row> shown;
        layer().answerNextPopup([&](const std::vector<Row>& rows) {
            shown = rows;
            return std::optional<std::size_t>(1);
        });
        events.log.clear();
        layer().key(form.hWnd(), key);
        layer().waitFor([&] { return !events.log.empty(); });
        EXPECT_EQ(events.log, std::vector<std::string>{"Click mnuAction(1)"});
        EXPECT_EQ(shown.size(), 7u);
    }
}

// ---------------------------------------------------------------------------------------------
// What assistive technology reads

Told told(core::AccessibleRole role, std::string name, std::optional<double> value = {},
          std::string description = {}, bool isDefault = false) {
    return {role, std::move(name), value, std::move(description), isDefault};
}

TEST_P(Conformance, AssistiveTechnologyReadsTheWindowItsFiguresOnceAndTheMeterLevel) {
    using core::AccessibleRole;
    Events events;
    platform::Form& form = runtime().load(ui::kMainLayout, events);
    form.show(ShowMode::Modeless);
    const platform::Hwnd hWnd = form.hWnd();
    platform::PictureBox& meter = form.pictureBox(names::picGraph);
    meter.setVisible(true);
    for (std::int16_t index : {0, 1}) {
        form.label(names::lblTotalRam, index).setCaption("Total RAM = 24 GB");
        form.label(names::lblRamUsage, index).setCaption("Usage = 49 %");
    }
    // Widget ids are positions in the layout: the meter, the timer, three lines, then the
    // labels front to back; of each pair of labels the one in front is read, not its shadow.
    constexpr core::WidgetId kMeter = 0, kLine = 2, kUsage = 5, kUsageShadow = 7, kTotal = 9,
                             kTotalShadow = 10;
    const Told meterAt25 = told(AccessibleRole::Meter, "Free memory", 25.0, "Low");
    const Told meterAbove = told(AccessibleRole::Meter, "Free memory", 25.5);
    struct Case {
        const char* what;
        std::function<void()> act;
        std::optional<core::WidgetId> widget;
        std::optional<Told> expected;
    };
    const Case cases[] = {
        {"window", [] {}, std::nullopt, told(AccessibleRole::Window, runtime().title())},
        {"total", [] {}, kTotal, told(AccessibleRole::StaticText, "Total RAM = 24 GB")},
        {"usage", [] {}, kUsage, told(AccessibleRole::StaticText, "Usage = 49 %")},
        {"shadows", [] {}, kTotalShadow, std::nullopt},
        {"shadow", [] {}, kUsageShadow, std::nullopt},
        {"line", [] {}, kLine, std::nullopt},
        {"meter at 25 %", [&] { meter.setLevel(25.0f); }, kMeter, meterAt25},
        {"meter at 25.5 %", [&] { meter.setLevel(25.5f); }, kMeter, meterAbove},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        std::optional<Told> read;
        layer().waitFor([&] { return (read = layer().told(hWnd, c.widget)) == c.expected; });
        EXPECT_EQ(read, c.expected);
    }
}

TEST_P(Conformance, AssistiveTechnologyReadsTheAboutBoxItsTextsPictureAndDefaultButton) {
    using core::AccessibleRole;
    Events events;
    platform::Form& form = runtime().load(ui::kAboutLayout, events);
    form.setCaption("About " + runtime().title());
    form.show(ShowMode::Modeless);
    const platform::Hwnd hWnd = form.hWnd();
    const std::pair<std::optional<core::WidgetId>, Told> cases[] = {
        {std::nullopt, told(AccessibleRole::Dialog, "About " + runtime().title())},
        {1, told(AccessibleRole::Pane, "")},
        {3, told(AccessibleRole::StaticText, std::string(ui::about_layout::kDisclaimer))},
        {8, told(AccessibleRole::Image, runtime().title())},
        {10, told(AccessibleRole::PushButton, "OK", {}, {}, true)},
    };
    for (const auto& [widget, expected] : cases) {
        SCOPED_TRACE(expected.name);
        EXPECT_EQ(layer().told(hWnd, widget), expected);
    }
}

// ---------------------------------------------------------------------------------------------
// What controls show

TEST_P(Conformance, LabelsShowTheirCaptionsAndBoxesHideAndMoveTheirContents) {
    Events events;
    platform::Form& form = runtime().load(kTestLayout, events);
    form.show(ShowMode::Modeless);
    const platform::Hwnd hWnd = form.hWnd();
    EXPECT_EQ(layer().text(hWnd, kInnerId), "lblInner") << "the layout's text at first";
    form.label(kInner).setCaption("Free RAM = 257 MB");
    EXPECT_EQ(layer().text(hWnd, kInnerId), "Free RAM = 257 MB");
    // The box is framed: its contents sit in the drawing area inside the frame.
    EXPECT_EQ(layer().position(hWnd, kInnerId), (core::PixelPoint{10, 1}));
    EXPECT_EQ(layer().position(hWnd, kBoxId), (core::PixelPoint{100, 0}));
    platform::PictureBox& box = form.pictureBox(kBox);
    box.setLeft(750);
    EXPECT_EQ(layer().position(hWnd, kBoxId), (core::PixelPoint{50, 0}));
    EXPECT_FLOAT_EQ(box.left(), 750.0f);
    EXPECT_TRUE(layer().widgetShown(hWnd, kBoxId));
    box.setVisible(false);
    EXPECT_FALSE(layer().widgetShown(hWnd, kBoxId));
    box.setVisible(true);
    EXPECT_TRUE(layer().widgetShown(hWnd, kBoxId));
}

TEST_P(Conformance, TheMeterFillsTheLeftTwoThirdsFromTheBottomInItsColour) {
    Events events;
    platform::Form& form = runtime().load(ui::kMainLayout, events);
    form.show(ShowMode::Modeless);
    platform::PictureBox& meter = form.pictureBox(names::picGraph);
    meter.setVisible(true);
    constexpr platform::Colour kGreen = 0x0000FF00;
    constexpr platform::Colour kRed = 0x000000FF;
    struct Bar {
        float percent;
        platform::Colour colour;
        int rows;
    };
    // Each bar is drawn after a taller one: clearing leaves only the new bar.
    const Bar bars[] = {{100.0f, kGreen, 48}, {50.0f, kGreen, 24}, {26.0f, kGreen, 12},
                        {25.5f, kGreen, 12},  {25.0f, kRed, 12},   {10.0f, kRed, 5},
                        {0.0f, kRed, 0}};
    for (const Bar& bar : bars) {
        SCOPED_TRACE(bar.percent);
        // Drawn as a refresh draws it, inside a handler: the box shows it once it returns.
        platform::Status status;
        runtime().guard("frmmain.MainTimer_Timer",
                        [&] { status = meter::DrawPercent_Graph(400, bar.percent * 4.0f, meter); });
        ASSERT_TRUE(status.ok());
        layer().waitFor([] { return false; }, 30);
        const Drawing shown = layer().drawing(form.hWnd(), 0, platform::PictureId::Scale);
        ASSERT_EQ(shown.width, 10);
        ASSERT_EQ(shown.height, 48);
        int wrong = 0;
        for (int row = 0; row < shown.height; ++row) {
            for (int column = 0; column < shown.width; ++column) {
                const bool inBar = column < 7 && row >= shown.height - bar.rows;
                wrong += shown.at(column, row) == (inBar ? bar.colour : Drawing::kUndrawn) ? 0 : 1;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Calls the core never makes, and windows that cannot be

TEST_P(Conformance, FocusOnAHiddenFormIsNoErrorAndShowsNothing) {
    Events events;
    platform::Form& form = runtime().load(kTestLayout, events);
    EXPECT_NO_THROW(form.setFocus());
    EXPECT_FALSE(layer().shown(form.hWnd()));
}

using pelmora::testing::NoInput;

std::vector<core::WidgetSpec> widgetTable() {
    std::vector<core::WidgetSpec> table(std::size(kControls));
    const core::PixelRect rects[] = {{100, 0, 100, 52}, {10, 1, 40, 20},  {10, 25, 60, 23}, {},
                                     {0, 70, 60, 23},   {100, 70, 60, 23}};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = core::widgetLook(kControls[i], i);
        table[i].rect = rects[i];
    }
    table[0].frame = 1;
    table[1].parent = 0;
    table[2].parent = 0;
    return table;
}

// The core never names a widget the window did not build; a layer refuses it as a fault of its
// own, not as an error of the runtime's table, and the core reports that as an internal error.
TEST_P(Conformance, AWidgetTheWindowDidNotBuildIsRefusedAsAFaultNotARuntimeError) {
    NoInput input;
    const auto window = native().createWindow(core::windowLook(kTestLayout.form, 200, 100), input);
    window->build(widgetTable());
    const std::function<void()> calls[] = {
        [&] { window->setText(99, "x"); },
        [&] { window->setAccessible(99, core::accessibleText("x")); },
        [&] { window->setVisible(99, false); },
        [&] {
            window->moveWidget(99, {1, 1});
        },
        [&] { window->clearDrawing(99); },
    };
    for (const auto& call : calls) {
        bool refused = false;
        try {
            call();
        } catch (const platform::Error& error) {
            ADD_FAILURE() << "a runtime error: " << error.number() << " " << error.description();
        } catch (const std::exception&) {
            refused = true;
        }
        EXPECT_TRUE(refused);
    }
}

TEST_P(Conformance, AModalLoopOnAHiddenWindowRunsUntilItIsEnded) {
    NoInput input;
    const auto window = native().createWindow(core::windowLook(kTestLayout.form, 200, 100), input);
    window->build(widgetTable());
    bool ran = false;
    native().post([&] {
        ran = true;
        window->endModalLoop();
    });
    window->runModalLoop();
    EXPECT_TRUE(ran) << "the loop returned before it dispatched anything";
}

// A layout whose controls cannot make one tree is refused before any window is made: the same
// error and nothing left on screen, whatever the layer.
TEST_P(Conformance, ALayoutThatCannotBeBuiltLoadsNothing) {
    const ControlDef label = control(kInner, ControlKind::Label, {}, 0, 0, 300, 300);
    const auto inside = [&](ControlName name, ControlKind kind, ControlName parent) {
        return control(name, kind, parent, 0, 0, 300, 300);
    };
    const struct {
        const char* what;
        std::vector<ControlDef> controls;
    } cases[] = {
        {"a control inside a label", {label, inside(kGo, ControlKind::Label, kInner)}},
        {"a control inside itself", {inside(kBox, ControlKind::PictureBox, kBox)}},
        {"a container that is not there", {inside(kGo, ControlKind::Label, kStop)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Events events;
        const platform::FormLayout layout{kTestLayout.form, c.controls, {}};
        try {
            runtime().load(layout, events);
            ADD_FAILURE() << "loaded";
        } catch (const platform::Error& error) {
            EXPECT_EQ(error.number(), 730) << error.description();
        }
        EXPECT_EQ(runtime().findForm(kTestLayout.form.name), nullptr);
        EXPECT_TRUE(events.log.empty());
    }
}

}  // namespace
}  // namespace pelmora::conformance

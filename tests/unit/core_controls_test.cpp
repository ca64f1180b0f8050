// The runtime core's controls: lookups and their errors, what reaches the screen when a
// property is set, popups, the pointer and the message box.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/probe_form.h"
#include "support/rig.h"

namespace pelmora::core {
namespace {

using namespace testing::probe_names;
using platform::ControlName;
using platform::ErrorCode;
using platform::Form;
using platform::ShowMode;
using testing::kProbeA;
using testing::kProbeB;

struct CoreControls : ::testing::Test {
    CoreControls() { form = &rig.runtime.load(kProbeA, a); }
    // The error a call raises: its number and description, or 0 and "" when it succeeds.
    static std::pair<int, std::string> raised(const std::function<void()>& body) {
        try {
            body();
        } catch (const platform::Error& error) {
            return {error.number(), error.description()};
        }
        return {0, ""};
    }
    recording::RecordingWindow& window() { return rig.platform.window("frmA"); }

    std::vector<std::string> log;
    testing::Probe a{"frmA", log}, b{"frmB", log};
    testing::Rig rig;
    recording::Journal& journal = rig.platform.journal;
    Form* form = nullptr;
};

TEST_F(CoreControls, LookupsFindEachControlByNameInAnyCaseAndRaiseTheRuntimesErrors) {
    const ControlName pair{"LBLPAIR"};
    const struct {
        const char* call;
        std::function<void(Form&)> lookup;
        ErrorCode error;  // InternalError: found
        const char* detail;
    } cases[] = {
        {"label lblPair(0)", [](Form& f) { f.label(lblPair, 0); }, ErrorCode::InternalError, ""},
        {"label LBLPAIR(1)", [&](Form& f) { f.label(pair, 1); }, ErrorCode::InternalError, ""},
        {"label lblPair", [](Form& f) { f.label(lblPair); }, ErrorCode::ControlArrayElementMissing,
         "lblPair"},
        {"label lblPair(7)", [](Form& f) { f.label(lblPair, 7); },
         ErrorCode::ControlArrayElementMissing, "lblPair(7)"},
        {"label lblSolo(0)", [](Form& f) { f.label(lblSolo, 0); },
         ErrorCode::ControlArrayElementMissing, "lblSolo(0)"},
        {"label lblNone", [](Form& f) { f.label(ControlName{"lblNone"}); },
         ErrorCode::ControlNotFound, "lblNone"},
        {"label picBox", [](Form& f) { f.label(picBox); }, ErrorCode::TypeMismatch, "picBox"},
        {"label linEdge", [](Form& f) { f.label(linEdge); }, ErrorCode::TypeMismatch, "linEdge"},
        {"label cmdGo", [](Form& f) { f.label(cmdGo); }, ErrorCode::TypeMismatch, "cmdGo"},
        {"label imgLogo", [](Form& f) { f.label(imgLogo); }, ErrorCode::TypeMismatch, "imgLogo"},
        {"pictureBox PICBOX", [](Form& f) { f.pictureBox(ControlName{"PICBOX"}); },
         ErrorCode::InternalError, ""},
        {"pictureBox tmrTick", [](Form& f) { f.pictureBox(tmrTick); }, ErrorCode::TypeMismatch,
         "tmrTick"},
        {"timer tmrtick", [](Form& f) { f.timer(ControlName{"tmrtick"}); },
         ErrorCode::InternalError, ""},
        {"timer lblSolo", [](Form& f) { f.timer(lblSolo); }, ErrorCode::TypeMismatch, "lblSolo"},
        {"menu MnuTop", [](Form& f) { f.menu(ControlName{"MnuTop"}); }, ErrorCode::InternalError,
         ""},
        {"menu mnuItem", [](Form& f) { f.menu(mnuItem); }, ErrorCode::ControlNotFound, "mnuItem"},
        {"menuItem MNUITEM(4)", [](Form& f) { f.menuItem(ControlName{"MNUITEM"}, 4); },
         ErrorCode::InternalError, ""},
        {"menuItem mnuItem", [](Form& f) { f.menuItem(mnuItem); },
         ErrorCode::ControlArrayElementMissing, "mnuItem"},
        {"menuItem mnuItem(9)", [](Form& f) { f.menuItem(mnuItem, 9); },
         ErrorCode::ControlArrayElementMissing, "mnuItem(9)"},
        {"menuItem mnuNone", [](Form& f) { f.menuItem(ControlName{"mnuNone"}); },
         ErrorCode::ControlNotFound, "mnuNone"},
    };
    const std::size_t from = journal.mark();
    for (const auto& c : cases) {
        const auto [number, description] = raised([&] { c.lookup(*form); });
        if (c.error == ErrorCode::InternalError) {
            EXPECT_EQ(number, 0) << c.call << ": " << description;
            continue;
        }
        EXPECT_EQ(number, static_cast<int>(c.error)) << c.call;
        EXPECT_EQ(description, std::string(platform::errorText(c.error)) + ": " + c.detail)
            << c.call;
    }
    // Any spelling finds the one control.
    EXPECT_EQ(&form->label(pair, 1), &form->label(lblPair, 1));
    EXPECT_TRUE(journal.entries({}, from).empty());  // lookups reach no native layer
}

TEST_F(CoreControls, ASetToTheValueShownMakesNoNativeCallAChangeMakesOne) {
    platform::Label& label = form->label(lblPair, 1);      // "one", centred
    platform::PictureBox& box = form->pictureBox(picBox);  // shown, 150 twips from the left
    const struct {
        const char* set;
        std::function<void()> body;
        std::vector<std::string> calls;
    } cases[] = {
        {"same caption", [&] { label.setCaption("one"); }, {}},
        {"new caption", [&] { label.setCaption("two"); }, {"setText frmA lblPair(1) \"two\""}},
        {"same alignment", [&] { label.setAlignment(platform::Alignment::Center); }, {}},
        {"new alignment",
         [&] { label.setAlignment(platform::Alignment::Right); },
         {"setAlignment frmA lblPair(1) Right"}},
        {"same visibility", [&] { box.setVisible(true); }, {}},
        {"new visibility", [&] { box.setVisible(false); }, {"setVisible frmA picBox false"}},
        {"same pixel", [&] { box.setLeft(157.0f); }, {}},  // 10.47 pixels
        {"next pixel", [&] { box.setLeft(158.0f); }, {"moveWidget frmA picBox 11,10"}},
        {"form caption", [&] { form->setCaption("frmA"); }, {"setCaption frmA \"frmA\""}},
        {"timer on", [&] { form->timer(tmrTick).setEnabled(true); }, {}},
        {"timer off", [&] { form->timer(tmrTick).setEnabled(false); }, {"stopTimer frmA tmrTick"}},
        {"idle timer on",
         [&] { form->timer(tmrIdle).setEnabled(true); },
         {"startTimer frmA tmrIdle 50"}},
        {"timer without interval", [&] { form->timer(tmrNone).setEnabled(true); }, {}},
        {"check mark", [&] { form->menuItem(mnuItem, 0).setChecked(true); }, {}},
    };
    for (const auto& c : cases) {
        const std::size_t from = journal.mark();
        c.body();
        EXPECT_EQ(journal.entries({}, from), c.calls) << c.set;
    }
    EXPECT_EQ(label.caption(), "two");
    EXPECT_EQ(box.left(), 165.0f);
    EXPECT_TRUE(form->menuItem(mnuItem, 0).checked());
}

TEST_F(CoreControls, ASetThatFailsLeavesTheOldValueAndTheSameSetIsTriedAgain) {
    platform::Label& label = form->label(lblPair, 1);
    platform::PictureBox& box = form->pictureBox(picBox);
    const struct {
        const char* failing;
        std::function<void()> set;
        std::function<std::string()> read;   // what the form says
        std::function<std::string()> shown;  // what the screen shows
        std::string before, after;
    } cases[] = {
        {"setText frmA lblPair(1)", [&] { label.setCaption("two"); },
         [&] { return label.caption(); }, [&] { return window().widget("lblPair", 1).text; }, "one",
         "two"},
        {"setAlignment frmA lblPair(1)", [&] { label.setAlignment(platform::Alignment::Left); },
         [&] { return std::string(recording::alignmentText(label.alignment())); },
         [&] {
             return std::string(recording::alignmentText(window().widget("lblPair", 1).alignment));
         },
         "Center", "Left"},
        {"setVisible frmA picBox", [&] { box.setVisible(false); },
         [&] { return std::to_string(box.visible()); },
         [&] { return std::to_string(window().widget("picBox").visible); }, "1", "0"},
        {"moveWidget frmA picBox", [&] { box.setLeft(300.0f); },
         [&] { return std::to_string(static_cast<int>(box.left())); },
         [&] { return std::to_string(window().widget("picBox").rect.left * 15); }, "150", "300"},
        {"setCaption frmA", [&] { form->setCaption("renamed"); }, [&] { return form->caption(); },
         [&] { return window().caption; }, "frmA", "renamed"},
    };
    for (const auto& c : cases) {
        journal.failOn(c.failing, 1);
        EXPECT_EQ(raised(c.set).first, recording::kInjectedError) << c.failing;
        EXPECT_EQ(c.read(), c.before) << c.failing;
        EXPECT_EQ(c.shown(), c.before) << c.failing;
        EXPECT_EQ(raised(c.set).first, 0) << c.failing;
        EXPECT_EQ(c.read(), c.after) << c.failing;
        EXPECT_EQ(c.shown(), c.after) << c.failing;
    }
}

TEST_F(CoreControls, AnUnloadedFormsControlsRaiseObjectUnloaded) {
    rig.runtime.load(kProbeB, b);
    platform::Label& label = form->label(lblSolo);
    platform::PictureBox& box = form->pictureBox(picBox);
    platform::Timer& timer = form->timer(tmrTick);
    rig.runtime.unload(*form);
    const std::function<void()> calls[] = {
        [&] { label.setCaption("late"); },
        [&] { box.cls(); },
        [&] {
            box.fillBox({0, 0, 1, 1}, 0);
        },
        [&] { timer.setEnabled(true); },
        [&] { form->setCaption("late"); },
        [&] { form->show(ShowMode::Modeless); },
        [&] { form->setFocus(); },
        [&] { form->popupMenu(form->menu(mnuTop)); },
    };
    const std::size_t from = journal.mark();
    for (const auto& call : calls) {
        EXPECT_EQ(raised(call).first, 364);
    }
    EXPECT_TRUE(journal.entries({}, from).empty());
    // What it held is still there to read.
    EXPECT_EQ(label.caption(), "solo");
    EXPECT_EQ(form->caption(), "frmA");
}

TEST_F(CoreControls, APopupShowsTheMenusVisibleRowsAndClicksOnlyARealChoice) {
    form->show(ShowMode::Modeless);
    form->menuItem(mnuItem, 2).setChecked(false);
    form->menuItem(mnuItem, 0).setChecked(true);
    const struct {
        std::optional<std::size_t> row;  // none: dismissed
        std::vector<std::string> log;
    } cases[] = {
        {0, {"frmA.Click mnuItem(0)"}},
        {2, {"frmA.Click mnuItem(2)"}},
        {1, {}},  // the separator
        {3, {}},  // the disabled row
        {4, {}},  // past the last row
        {std::nullopt, {}},
    };
    for (const auto& c : cases) {
        if (c.row) {
            rig.platform.chooseRowInNextPopup(*c.row);
        } else {
            rig.platform.dismissNextPopup();
        }
        const std::size_t from = log.size();
        form->popupMenu(form->menu(mnuTop));
        EXPECT_EQ(
            std::vector<std::string>(log.begin() + static_cast<std::ptrdiff_t>(from), log.end()),
            c.log);
    }
    EXPECT_EQ(journal.entries({"popupMenu"}).back(),
              "popupMenu frmA [\"&First\" checked, -, \"&Second\", \"&Disabled\" disabled]");
}

TEST_F(CoreControls, AMenuOfAnotherFormPopsUpThereAndClicksOnItsOwner) {
    Form& other = rig.runtime.load(kProbeB, b);
    other.show(ShowMode::Modeless);
    rig.platform.chooseInNextPopup("Sub");
    other.popupMenu(form->menu(mnuOther));
    EXPECT_EQ(log.back(), "frmA.Click mnuSub");
    EXPECT_EQ(journal.entries({"popupMenu"}),
              std::vector<std::string>{"popupMenu frmB [\"&Sub\"]"});

    // A menu that is not the runtime's own is refused.
    struct Foreign : platform::Menu {
    } foreign;
    EXPECT_EQ(raised([&] { other.popupMenu(foreign); }).first, 5);
    // One whose form is gone too.
    platform::Menu& gone = form->menu(mnuTop);
    rig.runtime.unload(*form);
    EXPECT_EQ(raised([&] { other.popupMenu(gone); }).first, 364);
}

TEST_F(CoreControls, APressIsReportedInTheFormsUnitFromThePressedControl) {
    rig.runtime.load(kProbeB, b).show(ShowMode::Modeless);
    form->show(ShowMode::Modeless);
    const struct {
        const char* form;
        const char* control;
        std::int16_t index;
        platform::MouseButton button;
        platform::Modifiers modifiers;
        std::string log;
    } cases[] = {
        {"frmA",
         "lblPair",
         1,
         platform::MouseButton::Right,
         {},
         "frmA.MouseDown lblPair(1) Right 30,45"},
        {"frmB",
         "lblPair",
         1,
         platform::MouseButton::Right,
         {},
         "frmB.MouseDown lblPair(1) Right 2,3"},
        {"frmA",
         "lblInner",
         platform::kNoIndex,
         platform::MouseButton::Middle,
         {true},
         "frmA.MouseDown lblInner Middle+Shift 30,45"},
        {"frmA",
         "",
         platform::kNoIndex,
         platform::MouseButton::Left,
         {},
         "frmA.MouseDown (form) Left 30,45"},
    };
    for (const auto& c : cases) {
        const bool delivered =
            std::string_view(c.control).empty()
                ? rig.platform.pressBackground(c.form, c.button, c.modifiers, {2, 3})
                : rig.platform.press(c.form, c.control, c.index, c.button, c.modifiers, {2, 3});
        ASSERT_TRUE(delivered);
        EXPECT_EQ(log.back(), c.log);
    }
    // A control inside a hidden box takes no press.
    form->pictureBox(picBox).setVisible(false);
    EXPECT_FALSE(
        rig.platform.press("frmA", "lblInner", platform::kNoIndex, platform::MouseButton::Left));
}

TEST_F(CoreControls, ThePointerAndTheMessageBox) {
    const std::size_t from = journal.mark();
    rig.runtime.setMousePointer(platform::MousePointer::Default);
    rig.runtime.setMousePointer(platform::MousePointer::Hourglass);
    rig.runtime.setMousePointer(platform::MousePointer::Hourglass);
    rig.runtime.msgBox("Done.\r\nReally.", platform::MsgBoxIcon::Information);
    EXPECT_EQ(journal.entries({}, from),
              (std::vector<std::string>{
                  "setPointer Hourglass",
                  "messageBox \"Pelmora\" \"Done.\\r\\nReally.\" Information",
              }));
    EXPECT_EQ(rig.runtime.exeName(), "Pelmora");
    EXPECT_EQ(rig.platform.messageBoxes().size(), 1u);
}

TEST(CoreRuntime, AnHourglassLeftOnIsPutBackWhenTheRuntimeGoes) {
    recording::RecordingPlatform platform;
    {
        Runtime runtime(platform, testing::builtIdentity());
        runtime.setMousePointer(platform::MousePointer::Hourglass);
    }
    EXPECT_EQ(platform.pointer(), platform::MousePointer::Default);
}

}  // namespace
}  // namespace pelmora::core

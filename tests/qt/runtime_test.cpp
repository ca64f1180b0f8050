// The forms runtime's own rules on a small layout of the test's own: the error edge, unload,
// terminate and end, control lookups, refused layouts, the pointer and the single-instance lock.
#include <unistd.h>

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <stdexcept>

#include "backend_fixture.h"
#include "platform/qt/qt_instance.h"

namespace pelmora::qt::test {
namespace {

using platform::ControlDef;
using platform::ControlKind;
using platform::MenuDef;

constexpr ControlDef control(std::string_view name, ControlKind kind, std::string_view parent,
                             std::int32_t left, std::int32_t top, std::int32_t width,
                             std::int32_t height) {
    ControlDef def{};
    def.name = name;
    def.kind = kind;
    def.parent = parent;
    def.left = left;
    def.top = top;
    def.width = width;
    def.height = height;
    return def;
}

constexpr MenuDef menu(std::string_view name, std::int16_t index, std::string_view parent,
                       std::string_view caption, bool checked = false) {
    MenuDef def{};
    def.name = name;
    def.index = index;
    def.parent = parent;
    def.caption = caption;
    def.checked = checked;
    def.visible = !parent.empty();
    return def;
}

constexpr platform::FormDef form(std::string_view name, std::int32_t width, std::int32_t height) {
    platform::FormDef def{};
    def.name = name;
    def.clientWidth = width;
    def.clientHeight = height;
    return def;
}

constexpr ControlDef kControls[] = {
    [] {
        auto def = control("lblText", ControlKind::Label, "", 0, 0, 1500, 300);
        def.text = "hello";
        return def;
    }(),
    control("picBox", ControlKind::PictureBox, "", 1500, 0, 750, 750),
    control("lblInside", ControlKind::Label, "picBox", 0, 0, 300, 300),
    [] {
        auto def = control("tmrFast", ControlKind::Timer, "", 0, 0, 0, 0);
        def.interval = 1;
        return def;
    }(),
    [] {
        auto def = control("cmdGo", ControlKind::CommandButton, "", 0, 900, 900, 345);
        def.text = "Go";
        def.tabIndex = 0;
        def.isDefault = true;
        return def;
    }(),
};
constexpr MenuDef kMenus[] = {
    menu("mnuTop", platform::kNoIndex, "", "&Top"),
    menu("mnuItem", 0, "mnuTop", "&Alpha", true),
    menu("mnuItem", 1, "mnuTop", "-"),
    menu("mnuItem", 2, "mnuTop", "&Beta"),
};
constexpr platform::FormDef kForm = form("frmTest", 3000, 1500);
constexpr platform::FormDef kOtherForm = form("frmOther", 3000, 1500);
constexpr platform::FormLayout kLayout{kForm, kControls, kMenus};
constexpr platform::FormLayout kOtherLayout{kOtherForm, kControls, kMenus};

class RuntimeTest : public BackendTest {
  protected:
    RecordingEvents events;
    RecordingEvents otherEvents;
};

TEST_F(RuntimeTest, ErrorsFromHandlersAreReportedUnderTheirNameAndTheProgramGoesOn) {
    struct Failure {
        std::function<void()> raise;
        std::string line;
    };
    const Failure failures[] = {
        {[] { throw platform::Error::overflow(); },
         "Pelmora: error in frmTest tmrFast_Timer: 6 Overflow"},
        {[] { throw std::out_of_range("index 9"); },
         "Pelmora: error in frmTest tmrFast_Timer: 51 index 9"},
        {[] { throw 42; }, "Pelmora: error in frmTest tmrFast_Timer: 51 unknown failure"},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.line);
        errors.clear();
        makeRuntime();
        RecordingEvents failing;
        failing.onTick = [&](std::string_view) { failure.raise(); };
        QtForm& form = load(kLayout, failing);
        ASSERT_TRUE(waitFor([&] { return failing.count("Timer tmrFast") >= 3; }));
        EXPECT_EQ(errors, std::vector<std::string>{failure.line}) << "repeats are held back";
        EXPECT_TRUE(form.loaded());
        runtime().unload(form);
    }
}

TEST_F(RuntimeTest, UnloadAsksTheFormAndTheLastOneEndsTheProgramWithTerminateOnce) {
    QtForm& form = load(kLayout, events);
    events.cancelUnload = 1;
    runtime().unload(form);
    EXPECT_TRUE(form.loaded());
    EXPECT_EQ(quits, 0);

    events.cancelUnload = 0;
    events.calls.clear();
    runtime().unload(form);
    EXPECT_FALSE(form.loaded());
    EXPECT_EQ(events.calls, (std::vector<std::string>{"Unload", "Terminate"}));
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(runtime().stopped());

    runtime().unload(kLayout);
    EXPECT_EQ(events.count("Unload"), 1u);
    EXPECT_THROW(runtime().load(kLayout, events), platform::Error);
}

TEST_F(RuntimeTest, TheProgramGoesOnWhileAnyFormIsLoaded) {
    QtForm& form = load(kLayout, events);
    QtForm& other = load(kOtherLayout, otherEvents);
    EXPECT_EQ(&runtime().load(kLayout, events), &form) << "a loaded form is returned as it is";
    runtime().unload(other);
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(otherEvents.count("Terminate"), 0u);
    runtime().unload(kLayout);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(events.count("Terminate"), 1u);
    EXPECT_EQ(otherEvents.count("Terminate"), 1u);
}

TEST_F(RuntimeTest, EndStopsEveryEventAtOnceWithoutUnloadOrTerminate) {
    QtForm& form = load(kLayout, events);
    form.show(0);
    ASSERT_TRUE(waitFor([&] { return events.count("Timer tmrFast") > 0; }));
    runtime().end();
    EXPECT_EQ(quits, 1);
    const auto seen = events.calls;
    waitFor([] { return false; }, 50);
    EXPECT_EQ(events.calls, seen);
    EXPECT_EQ(events.count("Unload") + events.count("Terminate"), 0u);
    EXPECT_FALSE(form.widget().isVisible());
    EXPECT_EQ(form.caption(), "") << "the form object outlives end() for the running handler";
    runtime().end();
    EXPECT_EQ(quits, 1);
}

TEST_F(RuntimeTest, AFormUnloadedByItsOwnHandlerLivesUntilTheHandlerReturns) {
    load(kOtherLayout, otherEvents);
    QtForm& form = load(kLayout, events);
    form.show(0);
    std::string captionAfterUnload = "unset";
    events.onChoose = [&](std::string_view, std::int16_t) {
        runtime().unload(form);
        captionAfterUnload = form.caption();
        EXPECT_EQ(runtime().retiredForms(), 1u);
    };
    auto* button = form.widget().findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(captionAfterUnload, "");
    EXPECT_TRUE(waitFor([&] { return runtime().retiredForms() == 0; }));
}

TEST_F(RuntimeTest, DrawingShowsWhenItsHandlerReturnsAlsoInsideAnotherHandlersWait) {
    struct Counter final : Settling {
        int settled = 0;
        void settle() override { ++settled; }
    };
    QObject owner;
    Counter nested;
    runtime().dispatch("outer", [&] {
        // As a timer tick runs while a menu command waits in a modal show.
        runtime().dispatch("inner", [&] { runtime().settleAfterHandlers(owner, nested); });
        EXPECT_EQ(nested.settled, 1);
    });
    Counter outside;
    runtime().settleAfterHandlers(owner, outside);
    EXPECT_EQ(outside.settled, 0) << "outside any handler it waits for the event loop";
    EXPECT_TRUE(waitFor([&] { return outside.settled == 1; }));
}

TEST_F(RuntimeTest, EnterAndEscapeChooseTheDefaultButton) {
    QtForm& form = load(kLayout, events);
    form.show(0);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&form.widget(), &enter);
    EXPECT_EQ(events.count("Click cmdGo(-1)"), 1u);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&form.widget(), &escape);
    EXPECT_EQ(events.count("Click cmdGo(-1)"), 1u) << "Go is not the cancel button";
}

TEST_F(RuntimeTest, LookupsNameWhatIsMissing) {
    QtForm& form = load(kLayout, events);
    platform::Form& f = form;
    struct Lookup {
        const char* what;
        std::function<void()> call;
        std::int32_t number;
    };
    const Lookup lookups[] = {
        {"unknown label", [&] { f.label("lblNone"); }, platform::errnum::ControlNotFound},
        {"missing element", [&] { f.menuItem("mnuItem", 3); },
         platform::errnum::ControlArrayElementMissing},
        {"array without index", [&] { f.menuItem("mnuItem"); },
         platform::errnum::ControlArrayElementMissing},
        {"label as picture box", [&] { f.pictureBox("lblText"); }, 13},
        {"picture box as timer", [&] { f.timer("picBox"); }, 13},
        {"item as menu", [&] { f.menu("mnuItem"); }, platform::errnum::ControlArrayElementMissing},
        {"unknown menu", [&] { f.menu("mnuNone"); }, platform::errnum::ControlNotFound},
        {"show neither modal nor modeless", [&] { f.show(2); },
         platform::errnum::InvalidProcedureCall},
        {"window state out of range", [&] { f.setWindowState(5); }, 380},
        {"focus on a hidden form", [&] { f.setFocus(); }, platform::errnum::InvalidProcedureCall},
    };
    for (const Lookup& lookup : lookups) {
        try {
            lookup.call();
            ADD_FAILURE() << lookup.what << " did not fail";
        } catch (const platform::Error& error) {
            EXPECT_EQ(error.number(), lookup.number) << lookup.what << ": " << error.description();
        }
    }
    EXPECT_EQ(f.label("lblInside").caption(), "");
    EXPECT_EQ(f.menuItem("mnuItem", 0).checked(), platform::kTrue);
    f.show(0);
    EXPECT_THROW(f.show(1), platform::Error) << "already shown: not modally";
}

TEST_F(RuntimeTest, BrokenLayoutsAreRefusedWholeAndLeaveNothingLoaded) {
    constexpr ControlDef kOrphan[] = {
        control("lblLost", ControlKind::Label, "picNone", 0, 0, 1, 1)};
    constexpr ControlDef kTwice[] = {control("lblA", ControlKind::Label, "", 0, 0, 1, 1),
                                     control("lblA", ControlKind::Label, "", 0, 0, 1, 1)};
    constexpr MenuDef kLostItem[] = {menu("mnuX", 0, "mnuNone", "&X")};
    const platform::FormLayout layouts[] = {
        {kForm, kOrphan, {}},         {kForm, kTwice, {}},
        {kForm, {}, kLostItem},       {form("frmTest", 0, 100), {}, {}},
        {form("", 100, 100), {}, {}},
    };
    for (const platform::FormLayout& layout : layouts) {
        EXPECT_THROW(runtime().load(layout, events), platform::Error);
        EXPECT_FALSE(runtime().anyFormLoaded());
        EXPECT_TRUE(events.calls.empty());
    }
    EXPECT_EQ(quits, 0);
}

TEST_F(RuntimeTest, MousePointerIsSetAndRestoredWithoutStacking) {
    runtime().setMousePointer(platform::pointer::Hourglass);
    runtime().setMousePointer(platform::pointer::Hourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    runtime().setMousePointer(platform::pointer::Default);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_THROW(runtime().setMousePointer(16), platform::Error);
    EXPECT_THROW(runtime().setMousePointer(-1), platform::Error);
}

TEST_F(RuntimeTest, PreviousInstanceIsTrueWhileAnotherCopyHoldsTheLock) {
    EXPECT_EQ(runtime().prevInstance(), platform::kFalse);
    {
        RuntimeOptions options;
        options.lockPath = path("instance.lock");
        options.errorSink = [](std::string_view) {};
        QtRuntime second(std::move(options));
        EXPECT_EQ(second.prevInstance(), platform::kTrue);
    }
    EXPECT_EQ(runtime().exeName(), "pelmora_qt_tests") << "the running file's own name";
}

TEST(InstanceLock, IsHeldOnceAndFreedWithItsHolder) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("lock").toStdString();
    auto first = std::make_unique<InstanceLock>(file);
    EXPECT_TRUE(first->held());
    EXPECT_FALSE(first->heldElsewhere());
    EXPECT_TRUE(InstanceLock(file).heldElsewhere());
    first.reset();
    EXPECT_TRUE(InstanceLock(file).held());

    const std::string link = dir.filePath("link").toStdString();
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    InstanceLock planted(link);
    EXPECT_FALSE(planted.held());
    EXPECT_FALSE(planted.heldElsewhere());
    EXPECT_FALSE(planted.problem().empty()) << "a link in the lock's place is not followed";

    EXPECT_FALSE(InstanceLock("").held());
    EXPECT_FALSE(InstanceLock(dir.filePath("none/lock").toStdString()).problem().empty());
}

}  // namespace
}  // namespace pelmora::qt::test

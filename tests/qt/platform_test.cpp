// The Qt platform on a small layout of the test's own: the registry of live windows, refused
// widget lists, the pointer and the single-instance lock. Timer ticks, Enter and Escape, frames
// of picture boxes, posted work and the message box are in the conformance suite.
#include <unistd.h>

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>

#include "backend_fixture.h"
#include "platform/core/form.h"
#include "platform/linux/linux_instance.h"
#include "support/no_input.h"
#include "support/probe_form.h"

namespace pelmora::qt::test {
namespace {

using linux_os::InstanceLock;
using platform::ControlDef;
using platform::ControlKind;
using platform::ControlName;

constexpr ControlName kText{"lblText"};
constexpr ControlName kBox{"picBox"};
constexpr ControlName kInner{"picInner"};
constexpr ControlName kTick{"tmrFast"};
constexpr ControlName kGo{"cmdGo"};
constexpr ControlName kStop{"cmdStop"};

constexpr auto control = testing::probe_layout::placed;

constexpr ControlDef button(ControlName name, std::int32_t left, bool isDefault, bool isCancel) {
    ControlDef def = control(name, ControlKind::CommandButton, {}, left, 900, 900, 345);
    def.text = "Go";
    def.tabIndex = 0;
    def.isDefault = isDefault;
    def.isCancel = isCancel;
    return def;
}

constexpr platform::FormDef formDef(std::string_view name) {
    platform::FormDef def{};
    def.name = name;
    def.caption = "Test";
    def.clientWidth = 3000;
    def.clientHeight = 1500;
    return def;
}

constexpr ControlDef kControls[] = {
    [] {
        ControlDef def = control(kBox, ControlKind::PictureBox, {}, 1500, 0, 750, 750);
        def.framed = true;
        return def;
    }(),
    control(kText, ControlKind::Label, kBox, 0, 0, 300, 300),
    control(kInner, ControlKind::PictureBox, kBox, 150, 150, 300, 300),
    [] {
        ControlDef def = control(kTick, ControlKind::Timer, {}, 0, 0, 0, 0);
        def.interval = 1;
        return def;
    }(),
    button(kGo, 0, true, false),
    button(kStop, 1500, false, true),
};
constexpr platform::FormDef kForm = formDef("frmTest");
constexpr platform::FormDef kOtherForm = formDef("frmOther");
constexpr platform::FormLayout kLayout{kForm, kControls, {}};
constexpr platform::FormLayout kOtherLayout{kOtherForm, {}, {}};

class PlatformTest : public BackendTest {
  protected:
    RecordingEvents events;
    RecordingEvents otherEvents;
};

TEST_F(PlatformTest, WindowsAreFoundByTheirHandlesOnlyWhileTheyLive) {
    platform::Form& form = runtime().load(kLayout, events);
    platform::Form& other = runtime().load(kOtherLayout, otherEvents);
    const platform::Hwnd h = form.hWnd();
    const std::uintptr_t icon = form.iconHandle();
    EXPECT_NE(h, other.hWnd());
    EXPECT_EQ(&platform().findWindow(h)->widget(), &widget(form));
    EXPECT_EQ(platform().findIcon(icon), nullptr) << "a form without an icon has none";
    EXPECT_EQ(platform().windowCount(), 2u);
    runtime().unload(form);
    EXPECT_TRUE(waitFor([&] { return platform().findWindow(h) == nullptr; }));
    EXPECT_EQ(platform().windowCount(), 1u);
    EXPECT_NE(platform().findWindow(other.hWnd()), nullptr);
}

using pelmora::testing::NoInput;

TEST_F(PlatformTest, WindowsThatCannotBeBuiltAreRefusedAndNoneLeavesAnythingBehind) {
    NoInput input;
    const ControlDef label = control(kText, ControlKind::Label, {}, 0, 0, 300, 300);
    const auto item = [&](core::WidgetId id, std::optional<core::WidgetId> parent) {
        core::WidgetSpec widget = core::widgetLook(label, id);
        widget.parent = parent;
        widget.rect = {0, 0, 20, 20};
        return widget;
    };
    struct Case {
        const char* what;
        int width;
        std::vector<core::WidgetSpec> widgets;
        bool built;
    };
    // The core checks the layout's tree (tests/unit/core_window_test.cpp); what is left is
    // what the toolkit cannot do, a failure of its own that the core names. An empty client
    // area is a window as any other, as on Windows.
    const Case cases[] = {
        {"an empty client area", 0, {}, true},
        {"a control before its container", 100, {item(1, 0), item(0, std::nullopt)}, false},
        {"a container that is not there", 100, {item(0, 5)}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            const auto native =
                platform().createWindow(core::windowLook(kForm, c.width, 100), input);
            native->build(c.widgets);
            EXPECT_TRUE(c.built) << "built";
            EXPECT_EQ(platform().windowCount(), 1u);
        } catch (const platform::Error& error) {
            ADD_FAILURE() << "an error of the runtime's own: " << error.description();
        } catch (const std::exception&) {
            EXPECT_FALSE(c.built) << "refused";
        }
        EXPECT_EQ(platform().windowCount(), 0u);
    }
}

TEST_F(PlatformTest, MousePointerIsSetAndRestoredWithoutStacking) {
    runtime().setMousePointer(platform::MousePointer::Hourglass);
    runtime().setMousePointer(platform::MousePointer::Hourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    runtime().setMousePointer(platform::MousePointer::Default);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    runtime().setMousePointer(platform::MousePointer::Hourglass);
    stop();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "restored when the program ends";
}

TEST_F(PlatformTest, AnotherInstanceIsSeenWhileThisOneHoldsTheLock) {
    EXPECT_FALSE(platform().otherInstanceRunning());
    PlatformOptions options;
    options.lockPath = path("instance.lock");
    QtPlatform second(options);
    EXPECT_TRUE(second.otherInstanceRunning());
    options.lockPath = path("none/instance.lock");
    QtPlatform cannotTell(options);
    try {
        cannotTell.otherInstanceRunning();
        ADD_FAILURE() << "no error";
    } catch (const core::NativeFailure& failure) {
        EXPECT_EQ(failure.failed(), core::Failed::InstanceGuard);
        EXPECT_NE(std::string(failure.what()).find("none/instance.lock"), std::string::npos);
    }
    EXPECT_EQ(platform().executableName(), "pelmora_qt_tests") << "the running file's own name";
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
    // In this user's own folder a link in the lock's place is stale: it is replaced by a
    // lock file, never followed to the file it names.
    const InstanceLock planted(link);
    EXPECT_TRUE(planted.held()) << planted.problem();
    EXPECT_TRUE(InstanceLock(file).held()) << "the link's target was not locked through it";

    EXPECT_FALSE(InstanceLock("").held());
    EXPECT_FALSE(InstanceLock(dir.filePath("none/lock").toStdString()).problem().empty());
}

}  // namespace
}  // namespace pelmora::qt::test

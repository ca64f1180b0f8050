// The Qt platform on a small layout of the test's own: real Qt input reaching the core (timer
// ticks, Enter and Escape), frames of picture boxes, the registry of live windows, refused
// widget lists, the pointer, posted work, the message box and the single-instance lock.
#include <unistd.h>

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "backend_fixture.h"
#include "platform/core/coordinates.h"
#include "platform/qt/qt_instance.h"

namespace pelmora::qt::test {
namespace {

using platform::ControlDef;
using platform::ControlKind;
using platform::ControlName;

constexpr ControlName kText{"lblText"};
constexpr ControlName kBox{"picBox"};
constexpr ControlName kInner{"picInner"};
constexpr ControlName kTick{"tmrFast"};
constexpr ControlName kGo{"cmdGo"};
constexpr ControlName kStop{"cmdStop"};

constexpr ControlDef control(ControlName name, ControlKind kind, ControlName parent,
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

TEST_F(PlatformTest, TimerTicksReachTheFormUntilItsTimerIsDisabled) {
    platform::Form& form = runtime().load(kLayout, events);
    ASSERT_TRUE(waitFor([&] { return events.count("Timer tmrFast") >= 3; }));
    form.timer(kTick).setEnabled(false);
    const std::size_t ticks = events.count("Timer tmrFast");
    waitFor([] { return false; }, 30);
    EXPECT_EQ(events.count("Timer tmrFast"), ticks);
    form.timer(kTick).setEnabled(true);
    EXPECT_TRUE(waitFor([&] { return events.count("Timer tmrFast") > ticks; }));
}

TEST_F(PlatformTest, EnterChoosesTheDefaultButtonAndEscapeTheCancelButton) {
    platform::Form& form = runtime().load(kLayout, events);
    form.show(platform::ShowMode::Modeless);
    struct Key {
        Qt::Key key;
        const char* expected;
    };
    const Key keys[] = {{Qt::Key_Return, "Click cmdGo(-1)"},
                        {Qt::Key_Enter, "Click cmdGo(-1)"},
                        {Qt::Key_Escape, "Click cmdStop(-1)"},
                        {Qt::Key_Space, nullptr}};
    for (const Key& key : keys) {
        SCOPED_TRACE(key.key);
        events.calls.clear();
        QKeyEvent press(QEvent::KeyPress, key.key, Qt::NoModifier);
        QApplication::sendEvent(&widget(form), &press);
        const auto clicks =
            std::count_if(events.calls.begin(), events.calls.end(),
                          [](const std::string& c) { return c.starts_with("Click"); });
        if (key.expected == nullptr) {
            EXPECT_EQ(clicks, 0);
        } else {
            EXPECT_EQ(clicks, 1);
            EXPECT_EQ(events.count(key.expected), 1u);
        }
    }
}

TEST_F(PlatformTest, ChildrenOfAFramedBoxArePlacedInsideItsFrame) {
    platform::Form& form = runtime().load(kLayout, events);
    QtWindow& native = window(form);
    const auto* box = dynamic_cast<PictureWidget*>(native.widgetOf(0));
    QWidget* text = native.widgetOf(1);
    QWidget* inner = native.widgetOf(2);
    ASSERT_TRUE(box != nullptr && text != nullptr && inner != nullptr);
    EXPECT_EQ(box->frame(), 1);
    EXPECT_EQ(box->size() - QSize(2, 2), QSize(48, 48)) << "the drawing area is inside the frame";
    EXPECT_EQ(text->parentWidget(), box);
    EXPECT_EQ(text->pos(), QPoint(1, 1));
    EXPECT_EQ(inner->pos(), QPoint(11, 11));
    platform::PictureBox& innerBox = form.pictureBox(kInner);
    innerBox.setLeft(75);
    EXPECT_EQ(inner->pos(), QPoint(6, 11));
    EXPECT_FLOAT_EQ(innerBox.left(), 75.0f);
}

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

// Input for windows made outside any form; it goes nowhere.
class NoInput final : public core::WindowInput {
  public:
    void mousePressed(std::optional<core::WidgetId>, platform::MouseButton, platform::Modifiers,
                      core::PixelPoint) noexcept override {}
    void buttonClicked(core::WidgetId) noexcept override {}
    void timerTicked(core::WidgetId) noexcept override {}
    void closeRequested() noexcept override {}
    void activated() noexcept override {}
    void popupChosen(std::size_t) noexcept override {}
    void blockedPress() noexcept override {}
    void screensChanged() noexcept override {}
};

TEST_F(PlatformTest, WindowsThatCannotBeBuiltAreRefusedAndLeaveNothingBehind) {
    NoInput input;
    const ControlDef label = control(kText, ControlKind::Label, {}, 0, 0, 300, 300);
    const auto item = [&](core::WidgetId id, std::optional<core::WidgetId> parent) {
        core::WidgetSpec widget;
        widget.id = id;
        widget.def = &label;
        widget.parent = parent;
        widget.rect = {0, 0, 20, 20};
        return widget;
    };
    struct Case {
        const char* what;
        int width;
        std::vector<core::WidgetSpec> widgets;
    };
    // The core checks the layout's tree (tests/unit/core_window_test.cpp); what is left is
    // what the toolkit cannot do, a failure of its own that the core names.
    const Case cases[] = {
        {"an empty client area", 0, {}},
        {"a control before its container", 100, {item(1, 0), item(0, std::nullopt)}},
        {"a container that is not there", 100, {item(0, 5)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            const auto native = platform().createWindow({&kForm, c.width, 100}, input);
            native->build(c.widgets);
            ADD_FAILURE() << "built";
        } catch (const platform::Error& error) {
            ADD_FAILURE() << "an error of the runtime's own: " << error.description();
        } catch (const std::exception&) {
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

TEST_F(PlatformTest, PostedWorkRunsFromTheEventLoopAndNotAfterThePlatformIsGone) {
    int ran = 0;
    platform().post([&] { ++ran; });
    EXPECT_EQ(ran, 0);
    EXPECT_TRUE(waitFor([&] { return ran == 1; }));
    platform().post([&] { ++ran; });
    stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 1);
}

TEST_F(PlatformTest, MessageBoxShowsTheTitlePromptAndIconAndReturnsOnceClosed) {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(20, [&] {
        auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(open, nullptr);
        title = open->windowTitle();
        text = open->text();
        icon = open->icon();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(open, &enter);
    });
    runtime().msgBox("pelmora is Already running.\r\nPlease check.",
                     platform::MsgBoxIcon::Critical);
    EXPECT_EQ(title, "Pelmora");
    EXPECT_EQ(text, "pelmora is Already running.\nPlease check.");
    EXPECT_EQ(icon, QMessageBox::Critical);
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
    } catch (const platform::Error& error) {
        EXPECT_TRUE(error.is(platform::ErrorCode::FileAccess)) << error.description();
        EXPECT_NE(error.description().find("none/instance.lock"), std::string::npos);
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

// The About box built from its real table: the panel's slide in pixels, clipping of its
// children at its edges, label sizing, and the modal show that the system's own handlers drive
// from real Qt input (timer ticks, keys, a click on OK, the close button).
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <limits>

#include "backend_fixture.h"
#include "platform/qt/qt_style.h"
#include "ui/about/about_layout.h"
#include "ui/about/frm_about.h"
#include "ui/main/main_layout.h"

namespace pelmora::qt::test {
namespace {

using namespace ui::frmAbout_names;

constexpr int kClientWidth = 278;
constexpr int kPanelWidth = 273;
constexpr int kPanelHeight = 137;
constexpr int kRuleRow = 91;

class AboutBoxTest : public BackendTest {
  protected:
    platform::Form& shown() {
        platform::Form& form = runtime().load(ui::kAboutLayout, events);
        form.show(platform::ShowMode::Modeless);
        return form;
    }
    LabelWidget& label(const platform::Form& form, const QString& text) {
        for (QWidget* candidate : widget(form).findChildren<QWidget*>()) {
            auto* label = dynamic_cast<LabelWidget*>(candidate);
            if (label != nullptr && label->text() == text) {
                return *label;
            }
        }
        throw std::runtime_error("no label " + text.toStdString());
    }
    static QRgb background() { return QApplication::palette().color(QPalette::Window).rgb(); }

    RecordingEvents events;
};

TEST_F(AboutBoxTest, PanelPositionIsInPixelsAndMovesWithItsChildren) {
    platform::Form& form = shown();
    EXPECT_EQ(widget(form).size(), QSize(kClientWidth, 170));
    platform::PictureBox& panel = form.pictureBox(Container);
    EXPECT_FLOAT_EQ(panel.left(), 272.0f);
    QWidget& title = label(form, "Application Title");
    const QPoint titleOnPanel = title.pos();
    for (const float left : {242.0f, 32.0f, 2.0f, -5.0f}) {
        panel.setLeft(left);
        EXPECT_FLOAT_EQ(panel.left(), left);
        EXPECT_EQ(title.mapTo(&widget(form), QPoint(0, 0)),
                  QPoint(static_cast<int>(left), 0) + titleOnPanel);
    }
}

TEST_F(AboutBoxTest, OnlyThePanelsLeftSliverShowsAtTheStart) {
    platform::Form& form = shown();
    const QImage image = render(widget(form));
    int drawn = 0;
    for (int y = 0; y < kPanelHeight; ++y) {
        for (int x = 0; x < kClientWidth; ++x) {
            if (!same(image.pixel(x, y), background())) {
                ASSERT_GE(x, 272) << "at " << x << "," << y;
                ++drawn;
            }
        }
    }
    // The rule's first pixels are the panel's only content within its leftmost six.
    EXPECT_GT(drawn, 0);
    EXPECT_TRUE(same(image.pixel(273, kRuleRow), qRgb(128, 128, 128)));
}

TEST_F(AboutBoxTest, ChildrenAreClippedAtThePanelsRightEdge) {
    platform::Form& form = shown();
    form.pictureBox(Container).setLeft(2);
    const QImage image = render(widget(form));
    const int panelRight = 2 + kPanelWidth;  // first column past the panel
    EXPECT_TRUE(same(image.pixel(panelRight - 1, kRuleRow), qRgb(128, 128, 128)));
    EXPECT_TRUE(same(image.pixel(panelRight - 1, kRuleRow + 1), qRgb(255, 255, 255)));
    for (int x = panelRight; x < kClientWidth; ++x) {
        for (int y = 0; y < kPanelHeight; ++y) {
            EXPECT_TRUE(same(image.pixel(x, y), background())) << "at " << x << "," << y;
        }
    }
}

TEST_F(AboutBoxTest, TheIconStretchedAWholeNumberOfTimesStaysSharp) {
    platform::Form& form = shown();
    form.pictureBox(Container).setLeft(2);
    // Its 32 pixels stretch over 48: smoothed one to one, three screen pixels each at two.
    const QImage icon =
        loadPicture(platform::PictureId::Icon).convertToFormat(QImage::Format_ARGB32);
    const QImage shown = renderAt(widget(form), 2);
    const QPoint corner = 2 * QPoint(2 + 10, 0);
    int wrong = 0;
    for (int y = 0; y < 96; ++y) {
        for (int x = 0; x < 96; ++x) {
            const QRgb picture = icon.pixel(x / 3, y / 3);
            if (qAlpha(picture) == 255) {
                wrong += same(shown.pixel(corner + QPoint(x, y)), picture) ? 0 : 1;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(AboutBoxTest, LabelsSizeAsTheirTableSays) {
    platform::Form& form = shown();
    QWidget& title = label(form, "Application Title");
    const QPoint corner = title.pos();
    form.label(lblTitle).setCaption("Pelmora");
    EXPECT_EQ(title.width(), QFontMetrics(title.font()).horizontalAdvance("Pelmora"));
    form.label(lblTitle).setCaption("A much longer title than the panel has room for");
    EXPECT_EQ(title.pos(), corner) << "grows from its top-left corner";
    EXPECT_GT(title.x() + title.width(), kPanelWidth) << "and may run past the panel";

    const QString disclaimerText = toQString(ui::about_layout::kDisclaimer);
    QWidget& disclaimer = label(form, disclaimerText);
    const QFontMetrics metrics(disclaimer.font());
    // Three lines at design: at least three line heights, less than four.
    const auto lines = [&](int height) { return height / metrics.height(); };
    EXPECT_EQ(disclaimer.width(), 253);
    EXPECT_EQ(lines(disclaimer.height()), 3);
    const std::string twice = std::string(ui::about_layout::kDisclaimer) + " " +
                              std::string(ui::about_layout::kDisclaimer);
    form.label(lblDisclaimer).setCaption(twice);
    EXPECT_EQ(disclaimer.width(), 253);
    EXPECT_GE(lines(disclaimer.height()), 5);

    QWidget& description = label(form, toQString(ui::about_layout::kDescription));
    form.label(lblDescription).setCaption(std::string(300, 'x'));
    EXPECT_EQ(description.size(), QSize(251, 30));
}

// The system's own About box, wrapped to count what reaches it.
class CountingAbout final : public platform::FormEvents {
  public:
    explicit CountingAbout(platform::FormsRuntime& runtime) : about(runtime) {}
    void onLoad() override { about.onLoad(); }
    void onActivate() override {
        ++activations;
        about.onActivate();
    }
    void onTimer(platform::ControlName timer) override {
        ++ticks;
        about.onTimer(timer);
    }
    void onClick(platform::ControlName control, std::int16_t index) override {
        about.onClick(control, index);
    }

    ui::FrmAbout about;
    int ticks = 0;
    int activations = 0;
};

void pressKey(QWidget& target, Qt::Key key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&target, &event);
}

void clickButton(QWidget& target) {
    auto* button = qobject_cast<QPushButton*>(&target);
    ASSERT_NE(button, nullptr);
    const QPointF centre(button->width() / 2.0, button->height() / 2.0);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, centre, button->mapToGlobal(centre), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(button, &event);
    }
}

TEST_F(AboutBoxTest, ModalShowSlidesThePanelAndReturnsOnceClosed) {
    RecordingEvents mainEvents;
    platform::Form& owner = runtime().load(ui::kMainLayout, mainEvents);
    owner.show(platform::ShowMode::Modeless);
    struct Closing {
        const char* how;
        std::function<void(QWidget& focused)> close;
    };
    const Closing closings[] = {
        {"Escape", [](QWidget& focused) { pressKey(focused, Qt::Key_Escape); }},
        {"Enter", [](QWidget& focused) { pressKey(focused, Qt::Key_Return); }},
        {"a click on OK", [](QWidget& focused) { clickButton(focused); }},
        {"the title bar's close button", [](QWidget& focused) { focused.window()->close(); }},
    };
    for (const Closing& closing : closings) {
        SCOPED_TRACE(closing.how);
        CountingAbout about(runtime());
        runtime().setMousePointer(platform::MousePointer::Hourglass);
        platform::Form& form = runtime().load(ui::kAboutLayout, about);
        EXPECT_EQ(form.caption(), "About Pelmora");
        EXPECT_EQ(form.label(lblVersion).caption(), "Version 1.0.26");
        QtWindow& box = window(form);
        FormWidget& boxWidget = box.widget();
        const platform::Hwnd handle = form.hWnd();

        float restedAt = -1;
        QWidget* focused = nullptr;
        bool modal = false;
        QPoint centre;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            centre = boxWidget.geometry().center();
            if (runtime().findForm("frmAbout") != nullptr && !form.timer(AnimateTimer).enabled()) {
                poll.stop();
                restedAt = form.pictureBox(Container).left();
                focused = QApplication::focusWidget();
                modal = dynamic_cast<BlockingPane*>(widget(owner).childAt(10, 10)) != nullptr;
                closing.close(focused != nullptr ? *focused : boxWidget);
            }
        });
        poll.start(5);
        // Should the box never close, the test fails instead of hanging.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] { runtime().unload(form); });
        guard.start(5000);
        form.show(platform::ShowMode::Modal);
        EXPECT_TRUE(guard.isActive()) << "closed by the guard, not by " << closing.how;
        poll.stop();
        guard.stop();

        EXPECT_FLOAT_EQ(restedAt, 2.0f);
        EXPECT_EQ(about.ticks, 9);
        EXPECT_EQ(about.activations, 1);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the pointer is the default";
        EXPECT_NE(qobject_cast<QPushButton*>(focused), nullptr) << "OK has the focus";
        EXPECT_TRUE(modal) << "the main window takes no input meanwhile";
        EXPECT_EQ(dynamic_cast<BlockingPane*>(widget(owner).childAt(10, 10)), nullptr)
            << "and takes it again after";
        EXPECT_EQ(runtime().findForm("frmAbout"), nullptr);
        const QPoint offCentre = centre - widget(owner).geometry().center();
        EXPECT_LE(std::abs(offCentre.x()), 2) << "within the frame's margins";
        EXPECT_LE(std::abs(offCentre.y()), 2);
        EXPECT_TRUE(reports.empty());
        EXPECT_EQ(quits, 0) << "the main window is still loaded";
        EXPECT_TRUE(waitFor([&] { return platform().findWindow(handle) == nullptr; }));
    }
}

TEST_F(AboutBoxTest, APressOnTheBlockedMainWindowBringsTheMinimisedBoxBack) {
    RecordingEvents mainEvents;
    platform::Form& owner = runtime().load(ui::kMainLayout, mainEvents);
    owner.show(platform::ShowMode::Modeless);
    CountingAbout about(runtime());
    platform::Form& form = runtime().load(ui::kAboutLayout, about);
    bool blocked = false;
    platform::WindowState before = platform::WindowState::Normal;
    platform::WindowState after = platform::WindowState::Minimized;
    QTimer::singleShot(0, [&] {
        form.setWindowState(platform::WindowState::Minimized);
        before = form.windowState();
        QWidget* under = widget(owner).childAt(10, 10);
        blocked = dynamic_cast<BlockingPane*>(under) != nullptr;
        if (under != nullptr) {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1),
                              under->mapToGlobal(QPointF(1, 1)), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(under, &press);
        }
        after = form.windowState();
        runtime().unload(form);
    });
    form.show(platform::ShowMode::Modal);
    EXPECT_TRUE(blocked);
    EXPECT_EQ(before, platform::WindowState::Minimized);
    EXPECT_EQ(after, platform::WindowState::Normal);
    EXPECT_EQ(std::count_if(mainEvents.calls.begin(), mainEvents.calls.end(),
                            [](const std::string& c) { return c.starts_with("MouseDown"); }),
              0)
        << "the main window's handler never ran";
    EXPECT_TRUE(reports.empty());
}

}  // namespace
}  // namespace pelmora::qt::test

// The About box built from its real table: the panel's slide in pixels, clipping of its
// children at its edges, label sizing, and the modal show that the system's own handlers drive.
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

#include "backend_fixture.h"
#include "ui/about/about_layout.h"
#include "ui/about/frm_about.h"
#include "ui/main/main_layout.h"

namespace pelmora::qt::test {
namespace {

constexpr int kClientWidth = 278;
constexpr int kPanelWidth = 273;
constexpr int kPanelHeight = 137;
constexpr int kRuleRow = 91;

class AboutBoxTest : public BackendTest {
  protected:
    QtForm& shown() {
        QtForm& form = load(ui::kAboutLayout, events);
        form.show(0);
        return form;
    }
    static QWidget& child(QtForm& form, const char* text) {
        for (QWidget* widget : form.widget().findChildren<QWidget*>()) {
            auto* label = dynamic_cast<LabelWidget*>(widget);
            if (label != nullptr && label->text() == text) {
                return *label;
            }
        }
        throw std::runtime_error(std::string("no label ") + text);
    }
    QRgb background() const { return QApplication::palette().color(QPalette::Window).rgb(); }

    RecordingEvents events;
};

TEST_F(AboutBoxTest, PanelPositionIsInPixelsAndMovesWithItsChildren) {
    QtForm& form = shown();
    EXPECT_EQ(form.widget().size(), QSize(kClientWidth, 170));
    platform::PictureBox& panel = form.pictureBox("Container");
    EXPECT_FLOAT_EQ(panel.left(), 272.0f);
    QWidget& title = child(form, "Application Title");
    const QPoint titleOnPanel = title.pos();
    for (const float left : {242.0f, 32.0f, 2.0f}) {
        panel.setLeft(left);
        EXPECT_FLOAT_EQ(panel.left(), left);
        EXPECT_EQ(title.mapTo(&form.widget(), QPoint(0, 0)),
                  QPoint(static_cast<int>(left), 0) + titleOnPanel);
    }
    EXPECT_THROW(panel.setLeft(std::numeric_limits<float>::infinity()), platform::Error);
    EXPECT_THROW(panel.setLeft(1e30f), platform::Error);
    EXPECT_FLOAT_EQ(panel.left(), 2.0f);
}

TEST_F(AboutBoxTest, OnlyThePanelsLeftSliverShowsAtTheStart) {
    QtForm& form = shown();
    const QImage image = render(form.widget());
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
    EXPECT_TRUE(same(image.pixel(273, kRuleRow), rgb(128, 128, 128)));
}

TEST_F(AboutBoxTest, ChildrenAreClippedAtThePanelsRightEdge) {
    QtForm& form = shown();
    form.pictureBox("Container").setLeft(2);
    const QImage image = render(form.widget());
    const int panelRight = 2 + kPanelWidth;  // first column past the panel
    EXPECT_TRUE(same(image.pixel(panelRight - 1, kRuleRow), rgb(128, 128, 128)));
    EXPECT_TRUE(same(image.pixel(panelRight - 1, kRuleRow + 1), rgb(255, 255, 255)));
    for (int x = panelRight; x < kClientWidth; ++x) {
        for (int y = 0; y < kPanelHeight; ++y) {
            EXPECT_TRUE(same(image.pixel(x, y), background())) << "at " << x << "," << y;
        }
    }
}

TEST_F(AboutBoxTest, LabelsSizeAsTheirTableSays) {
    QtForm& form = shown();
    QWidget& title = child(form, "Application Title");
    const QPoint corner = title.pos();
    form.label("lblTitle").setCaption("Pelmora");
    EXPECT_EQ(title.width(), QFontMetrics(title.font()).horizontalAdvance("Pelmora"));
    form.label("lblTitle").setCaption("A much longer title than the panel has room for");
    EXPECT_EQ(title.pos(), corner) << "grows from its top-left corner";
    EXPECT_GT(title.x() + title.width(), kPanelWidth) << "and may run past the panel";

    QWidget& disclaimer = child(form, std::string(ui::about_layout::kDisclaimer).c_str());
    const QFontMetrics metrics(disclaimer.font());
    // Three lines at design: at least three line heights, less than four.
    const auto lines = [&](int height) { return height / metrics.height(); };
    EXPECT_EQ(disclaimer.width(), 253);
    EXPECT_EQ(lines(disclaimer.height()), 3);
    form.label("lblDisclaimer")
        .setCaption(std::string(ui::about_layout::kDisclaimer) + " " +
                    std::string(ui::about_layout::kDisclaimer));
    EXPECT_EQ(disclaimer.width(), 253);
    EXPECT_GE(lines(disclaimer.height()), 5);

    QWidget& description = child(form, std::string(ui::about_layout::kDescription).c_str());
    form.label("lblDescription").setCaption(std::string(300, 'x'));
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
    void onTimer(std::string_view timer) override {
        ++ticks;
        about.onTimer(timer);
    }
    void onClick(std::string_view control, std::int16_t index) override {
        about.onClick(control, index);
    }

    ui::FrmAbout about;
    int ticks = 0;
    int activations = 0;
};

TEST_F(AboutBoxTest, ModalShowSlidesThePanelAndReturnsOnceClosed) {
    RecordingEvents mainEvents;
    QtForm& owner = load(ui::kMainLayout, mainEvents);
    owner.show(0);
    struct Closing {
        const char* how;
        std::function<void(QWidget& target)> close;
    };
    const auto press = [](Qt::Key key) {
        return [key](QWidget& target) {
            QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(&target, &event);
        };
    };
    const Closing closings[] = {
        {"Escape", press(Qt::Key_Escape)},
        {"Enter", press(Qt::Key_Return)},
        {"the title bar's close button", [](QWidget& target) { target.window()->close(); }},
    };
    for (const Closing& closing : closings) {
        SCOPED_TRACE(closing.how);
        CountingAbout about(runtime());
        runtime().setMousePointer(platform::pointer::Hourglass);
        QtForm& form = load(ui::kAboutLayout, about);
        EXPECT_EQ(form.caption(), "About Pelmora");
        EXPECT_EQ(form.label("lblVersion").caption(), "Version 1.0.26");

        float restedAt = -1;
        QWidget* focused = nullptr;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (form.loaded() && form.timer("AnimateTimer").enabled() == 0) {
                restedAt = form.pictureBox("Container").left();
                focused = QApplication::focusWidget();
                closing.close(focused != nullptr ? *focused : form.widget());
            }
        });
        poll.start(5);
        QPoint centre;
        QObject::connect(&poll, &QTimer::timeout,
                         [&] { centre = form.widget().geometry().center(); });
        // Should the box never close, the test fails instead of hanging.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] { runtime().unload(form); });
        guard.start(5000);
        form.show(1);
        poll.stop();
        guard.stop();

        EXPECT_FLOAT_EQ(restedAt, 2.0f);
        EXPECT_EQ(about.ticks, 9);
        EXPECT_EQ(about.activations, 1);
        EXPECT_EQ(runtime().mousePointer(), platform::pointer::Default);
        EXPECT_NE(qobject_cast<QPushButton*>(focused), nullptr) << "OK has the focus";
        EXPECT_EQ(runtime().findForm("frmAbout"), nullptr);
        const QPoint offCentre = centre - owner.widget().geometry().center();
        EXPECT_LE(std::abs(offCentre.x()), 2) << "within the frame's margins";
        EXPECT_LE(std::abs(offCentre.y()), 2);
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(quits, 0) << "the main window is still loaded";
    }
}

}  // namespace
}  // namespace pelmora::qt::test

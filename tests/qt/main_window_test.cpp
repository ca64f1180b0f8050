// The main window built from its real table and rendered offscreen: the skin and the edge
// lines, the label pairs, the meter bar, the stacking of controls and the popup menu.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <set>

#include "backend_fixture.h"
#include "meter/usage_meter.h"
#include "platform/qt/qt_style.h"
#include "ui/main/main_layout.h"

namespace pelmora::qt::test {
namespace {

constexpr int kWidth = 208;
constexpr int kHeight = 51;
// picGraph's drawing area, inside its one-pixel frame.
constexpr int kMeterLeft = 196;
constexpr int kMeterTop = 2;
constexpr int kMeterWidth = 10;
constexpr int kMeterHeight = 48;

const char* const kFigureLabels[] = {"lblTotalRam", "lblFreeRam", "lblRamUsage"};

struct Point {
    int x;
    int y;
    bool operator<(const Point& other) const { return x != other.x ? x < other.x : y < other.y; }
};

class MainWindowTest : public BackendTest {
  protected:
    MainWindowTest() : form(load(ui::kMainLayout, events)) { form.show(0); }

    void setCaptions(std::string_view text) {
        for (const char* name : kFigureLabels) {
            for (std::int16_t index : {0, 1}) {
                form.label(name, index).setCaption(text);
            }
        }
    }
    platform::PictureBox& meter() { return form.pictureBox("picGraph"); }
    QImage scale() const {
        return loadPicture(platform::PictureId::Scale).convertToFormat(QImage::Format_RGB32);
    }
    QWidget& widgetAt(int x, int y) {
        QWidget* child = form.widget().childAt(x, y);
        return child != nullptr ? *child : static_cast<QWidget&>(form.widget());
    }

    RecordingEvents events;
    QtForm& form;
};

TEST_F(MainWindowTest, IsAFixedFramelessToolWindowCentredOnTheScreen) {
    QWidget& window = form.widget();
    EXPECT_EQ(window.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window.windowType(), Qt::Tool);
    EXPECT_EQ(window.windowTitle(), "Pelmora");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window.x(), screen.x() + (screen.width() - kWidth) / 2);
    EXPECT_EQ(window.y(), screen.y() + (screen.height() - kHeight) / 2);
}

TEST_F(MainWindowTest, SkinFillsTheWindowUnderEdgeLinesOnTopLeftAndRight) {
    setCaptions("");
    const QImage shown = render(form.widget());
    const QImage skin =
        loadPicture(platform::PictureId::Skin).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(skin.size(), QSize(kWidth, kHeight));
    const QRgb edge = QApplication::palette().color(QPalette::Base).rgb();
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool onEdge = y == 0 || x == 0 || x == kWidth - 1;
            wrong += same(shown.pixel(x, y), onEdge ? edge : skin.pixel(x, y)) ? 0 : 1;
        }
    }
    EXPECT_EQ(wrong, 0);
    // The bottom row keeps the skin's own outline.
    EXPECT_TRUE(same(shown.pixel(100, kHeight - 1), skin.pixel(100, kHeight - 1)));
}

TEST_F(MainWindowTest, EachLabelPairIsWhiteInFrontOfRedOnePixelUpAndRight) {
    struct Pair {
        const char* name;
        int redTop;
        int height;
    };
    const Pair pairs[] = {{"lblTotalRam", 2, 13}, {"lblFreeRam", 18, 13}, {"lblRamUsage", 33, 15}};
    const QRgb white = rgb(255, 255, 255);
    const QRgb red = rgb(255, 0, 0);
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.name);
        setCaptions("");
        const QImage before = render(form.widget());
        form.label(pair.name, 0).setCaption("Total RAM = 512 MB");
        form.label(pair.name, 1).setCaption("Total RAM = 512 MB");
        const QImage after = render(form.widget());

        std::set<Point> whites;
        std::set<Point> reds;
        int other = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if (same(before.pixel(x, y), after.pixel(x, y))) {
                    continue;
                }
                ASSERT_GE(y, pair.redTop);
                ASSERT_LE(y, pair.redTop + pair.height);
                if (same(after.pixel(x, y), white)) {
                    whites.insert({x, y});
                } else if (same(after.pixel(x, y), red)) {
                    reds.insert({x, y});
                } else {
                    ++other;
                }
            }
        }
        EXPECT_EQ(other, 0) << "text is drawn in its two colours only";
        ASSERT_GT(whites.size(), 50u);
        EXPECT_GT(reds.size(), 20u) << "the red copy shows as a fringe";
        for (const Point& p : reds) {
            EXPECT_TRUE(whites.count({p.x - 1, p.y + 1}) == 1)
                << "red at " << p.x << "," << p.y << " has no white copy down-left";
        }
        for (const Point& p : whites) {
            const Point upRight{p.x + 1, p.y - 1};
            EXPECT_TRUE(whites.count(upRight) + reds.count(upRight) == 1)
                << "white at " << p.x << "," << p.y << " has no red copy up-right";
        }
    }
}

TEST_F(MainWindowTest, AlignmentPlacesTheTextLeftOrCentred) {
    const auto textColumns = [&](std::int16_t alignment) {
        setCaptions("");
        const QImage before = render(form.widget());
        for (std::int16_t index : {0, 1}) {
            form.label("lblFreeRam", index).setAlignment(alignment);
            form.label("lblFreeRam", index).setCaption("Free RAM = 257 MB");
        }
        const QImage after = render(form.widget());
        int left = kWidth;
        int right = -1;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if (!same(before.pixel(x, y), after.pixel(x, y))) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        }
        return std::pair{left, right};
    };
    const auto [leftStart, leftEnd] = textColumns(platform::align::Left);
    EXPECT_GE(leftStart, 7);
    EXPECT_LE(leftStart, 9);
    const auto [centreStart, centreEnd] = textColumns(platform::align::Center);
    EXPECT_NEAR((centreStart + centreEnd) / 2.0, 7 + 194 / 2.0, 2.0);
    EXPECT_NEAR(centreEnd - centreStart, leftEnd - leftStart, 1);
    EXPECT_THROW(form.label("lblFreeRam", 0).setAlignment(3), platform::Error);
}

TEST_F(MainWindowTest, MeterBarFillsTheLeftTwoThirdsFromTheBottomInItsColour) {
    struct Bar {
        float percent;
        QRgb colour;
        int rows;
    };
    const QRgb green = rgb(0, 255, 0);
    const QRgb red = rgb(255, 0, 0);
    const Bar bars[] = {{100.0f, green, 48}, {50.0f, green, 24}, {26.0f, green, 12},
                        {25.5f, green, 12},  {25.0f, red, 12},   {10.0f, red, 5},
                        {0.0f, red, 0}};
    const QImage background = scale();
    const QRgb frame = toQColor(platform::systemColour(6), QApplication::palette()).rgb();
    meter().setVisible(platform::kTrue);
    for (const Bar& bar : bars) {
        SCOPED_TRACE(bar.percent);
        ASSERT_TRUE(meter::DrawPercent_Graph(400, bar.percent * 4.0f, meter()).ok());
        const QImage shown = render(form.widget());
        int wrong = 0;
        for (int row = 0; row < kMeterHeight; ++row) {
            for (int column = 0; column < kMeterWidth; ++column) {
                const bool inBar = column < 7 && row >= kMeterHeight - bar.rows;
                const QRgb expected = inBar ? bar.colour : background.pixel(column, row);
                wrong += same(shown.pixel(kMeterLeft + column, kMeterTop + row), expected) ? 0 : 1;
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_TRUE(same(shown.pixel(kMeterLeft - 1, 20), frame));
        EXPECT_TRUE(same(shown.pixel(kMeterLeft + kMeterWidth, 20), frame));
        EXPECT_TRUE(same(shown.pixel(kMeterLeft + 3, kMeterTop - 1), frame));
        EXPECT_TRUE(same(shown.pixel(kMeterLeft + 3, kMeterTop + kMeterHeight), frame));
    }
}

TEST_F(MainWindowTest, ClsBeforeAShorterBarLeavesOnlyTheShorterBar) {
    meter().setVisible(platform::kTrue);
    ASSERT_TRUE(meter::DrawPercent_Graph(100, 100.0f, meter()).ok());
    ASSERT_TRUE(meter::DrawPercent_Graph(100, 50.0f, meter()).ok());
    const QImage shown = render(form.widget());
    const QImage background = scale();
    for (int row = 0; row < kMeterHeight / 2; ++row) {
        EXPECT_TRUE(same(shown.pixel(kMeterLeft + 2, kMeterTop + row), background.pixel(2, row)))
            << "row " << row;
    }
    EXPECT_TRUE(same(shown.pixel(kMeterLeft + 2, kMeterTop + kMeterHeight / 2), rgb(0, 255, 0)));
}

TEST_F(MainWindowTest, TheBarSurvivesARepaintAndAScaleMayBeEmptyOnlyWithAnError) {
    meter().setVisible(platform::kTrue);
    ASSERT_TRUE(meter::DrawPercent_Graph(100, 100.0f, meter()).ok());
    form.widget().repaint();
    EXPECT_TRUE(same(render(form.widget()).pixel(kMeterLeft, kMeterTop), rgb(0, 255, 0)));
    EXPECT_THROW(meter().scale(4, 1, 100, 1, 0), platform::Error);
    EXPECT_THROW(meter().line(38, 1, 0, std::numeric_limits<float>::infinity(), 50, 0xFF),
                 platform::Error);
}

TEST_F(MainWindowTest, TheShownMeterCoversLabelTextThatRunsUnderIt) {
    const std::string wide(40, 'W');
    setCaptions("");
    for (std::int16_t index : {0, 1}) {
        form.label("lblTotalRam", index).setAlignment(platform::align::Left);
        form.label("lblTotalRam", index).setCaption(wide);
    }
    const auto whiteUnderMeter = [&] {
        const QImage shown = render(form.widget());
        int count = 0;
        for (int y = 1; y < kHeight; ++y) {
            for (int x = 195; x < 207; ++x) {
                count += same(shown.pixel(x, y), rgb(255, 255, 255)) ? 1 : 0;
            }
        }
        return count;
    };
    // The scale picture itself is white, so compare against the meter shown with no text.
    meter().setVisible(platform::kTrue);
    const int covered = whiteUnderMeter();
    setCaptions("");
    const int meterAlone = whiteUnderMeter();
    EXPECT_EQ(covered, meterAlone);
    for (std::int16_t index : {0, 1}) {
        form.label("lblTotalRam", index).setCaption(wide);
    }
    meter().setVisible(platform::kFalse);
    EXPECT_GT(whiteUnderMeter(), 0) << "hidden meter: the text shows there";
}

TEST_F(MainWindowTest, PressesReachTheFrontmostControlWithItsNameIndexAndButton) {
    meter().setVisible(platform::kTrue);
    struct Press {
        QPoint at;
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        const char* expected;
    };
    const Press presses[] = {
        {{20, 8}, Qt::RightButton, Qt::ShiftModifier, "MouseDown lblTotalRam(0) 2 1"},
        {{20, 2}, Qt::LeftButton, Qt::NoModifier, "MouseDown lblTotalRam(1) 1 0"},
        {{20, 40}, Qt::LeftButton, Qt::ControlModifier, "MouseDown lblRamUsage(1) 1 2"},
        {{100, 49}, Qt::LeftButton, Qt::NoModifier, "MouseDown (-1) 1 0"},
        {{0, 20}, Qt::RightButton, Qt::NoModifier, "MouseDown (-1) 2 0"},
        {{200, 20}, Qt::MiddleButton, Qt::NoModifier, "MouseDown picGraph(-1) 4 0"},
    };
    for (const Press& press : presses) {
        SCOPED_TRACE(press.expected);
        events.calls.clear();
        QWidget& target = widgetAt(press.at.x(), press.at.y());
        const QPointF local = target.mapFrom(&form.widget(), QPointF(press.at));
        QMouseEvent event(QEvent::MouseButtonPress, local, target.mapToGlobal(local), press.button,
                          press.button, press.modifiers);
        QApplication::sendEvent(&target, &event);
        EXPECT_EQ(std::count(events.calls.begin(), events.calls.end(), press.expected), 1);
    }
}

TEST_F(MainWindowTest, PopupShowsTheSevenItemsAndRunsTheChosenOneBeforeReturning) {
    auto& popup = static_cast<QtMenu&>(form.menu("mnuA"));
    QStringList rows;
    for (QAction* action : popup.menu().actions()) {
        rows << (action->isSeparator() ? QStringLiteral("-") : action->text()) +
                    (action->isChecked() ? QStringLiteral(" [x]") : QString());
    }
    EXPECT_EQ(rows, QStringList({"&Keep on top", "&Precise Values", "&Show Usage Meter [x]", "-",
                                 "&About", "-", "E&xit"}));

    struct Choice {
        Qt::Key key;
        const char* text;
        std::int16_t index;
        bool handlerFlipsMark;
    };
    const Choice choices[] = {
        {Qt::Key_S, "s", 2, true}, {Qt::Key_K, "k", 0, true}, {Qt::Key_K, "k", 0, false}};
    for (const Choice& choice : choices) {
        SCOPED_TRACE(choice.text);
        // The program changes marks itself; choosing an item never changes one on its own.
        events.onChoose = [&](std::string_view, std::int16_t index) {
            if (choice.handlerFlipsMark) {
                auto& item = form.menuItem("mnuAction", index);
                item.setChecked(item.checked() != 0 ? platform::kFalse : platform::kTrue);
            }
        };
        const platform::Bool16 before = form.menuItem("mnuAction", choice.index).checked();
        QTimer::singleShot(50, [&] {
            QWidget* open = QApplication::activePopupWidget();
            ASSERT_NE(open, nullptr);
            QKeyEvent press(QEvent::KeyPress, choice.key, Qt::NoModifier,
                            QString::fromLatin1(choice.text));
            QApplication::sendEvent(open, &press);
        });
        events.calls.clear();
        form.popupMenu(popup);
        const std::string click = "Click mnuAction(" + std::to_string(choice.index) + ")";
        EXPECT_EQ(events.count(click), 1u);
        const platform::Bool16 after = form.menuItem("mnuAction", choice.index).checked();
        EXPECT_EQ(after != before, choice.handlerFlipsMark);
        QAction* action = popup.menu().actions().at(choice.index);
        EXPECT_EQ(action->isChecked(), after != 0);
    }
}

}  // namespace
}  // namespace pelmora::qt::test

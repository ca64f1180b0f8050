// The main window built from its real table and rendered offscreen: the skin and the edge
// lines, the label pairs, the meter's frame, the stacking of controls and a dismissed popup.
// Presses, the menu's rows and choices and the meter's bar are in the conformance suite.
#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <set>

#include "backend_fixture.h"
#include "meter/usage_meter.h"
#include "platform/qt/qt_style.h"
#include "ui/main/main_layout.h"

namespace pelmora::qt::test {
namespace {

using namespace ui::frmmain_names;
using platform::Alignment;

constexpr int kWidth = 208;
constexpr int kHeight = 51;
// picGraph's drawing area, inside its one-pixel frame.
constexpr int kMeterLeft = 196;
constexpr int kMeterTop = 2;
constexpr int kMeterWidth = 10;
constexpr int kMeterHeight = 48;

const platform::ControlName kFigureLabels[] = {lblTotalRam, lblFreeRam, lblRamUsage};

struct Point {
    int x;
    int y;
    bool operator<(const Point& other) const { return x != other.x ? x < other.x : y < other.y; }
};

class MainWindowTest : public BackendTest {
  protected:
    MainWindowTest() : form(runtime().load(ui::kMainLayout, events)) {
        form.show(platform::ShowMode::Modeless);
    }

    void setCaptions(std::string_view text) {
        for (const platform::ControlName name : kFigureLabels) {
            for (std::int16_t index : {0, 1}) {
                form.label(name, index).setCaption(text);
            }
        }
    }
    platform::PictureBox& meter() { return form.pictureBox(picGraph); }
    // Draws the bar as a refresh does, inside a handler: the core hands the drawing to the
    // box as the handler returns.
    void drawBar(std::int64_t maxVal, float curVal) {
        platform::Status status;
        runtime().guard("frmmain.MainTimer_Timer",
                        [&] { status = meter::DrawPercent_Graph(maxVal, curVal, meter()); });
        EXPECT_TRUE(status.ok()) << curVal << " of " << maxVal;
    }
    // picGraph leads the table.
    PictureWidget& meterWidget() {
        auto* box = dynamic_cast<PictureWidget*>(window(form).widgetOf(0));
        if (box == nullptr) {
            throw std::runtime_error("picGraph is not a picture box");
        }
        return *box;
    }
    RecordingEvents events;
    platform::Form& form;
};

TEST_F(MainWindowTest, IsAFixedFramelessToolWindowCentredOnTheScreen) {
    QWidget& window = widget(form);
    EXPECT_EQ(window.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window.windowType(), Qt::Tool);
    EXPECT_EQ(window.windowTitle(), "");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window.x(), screen.x() + (screen.width() - kWidth) / 2);
    EXPECT_EQ(window.y(), screen.y() + (screen.height() - kHeight) / 2);
}

TEST_F(MainWindowTest, SkinFillsTheWindowUnderEdgeLinesOnTopLeftAndRight) {
    setCaptions("");
    const QImage shown = render(widget(form));
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
        platform::ControlName name;
        int redTop;
        int height;
    };
    const Pair pairs[] = {{lblTotalRam, 2, 13}, {lblFreeRam, 18, 13}, {lblRamUsage, 33, 15}};
    const QRgb white = qRgb(255, 255, 255);
    const QRgb red = qRgb(255, 0, 0);
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.name.text());
        setCaptions("");
        const QImage before = render(widget(form));
        form.label(pair.name, 0).setCaption("Total RAM = 512 MB");
        form.label(pair.name, 1).setCaption("Total RAM = 512 MB");
        const QImage after = render(widget(form));

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

TEST_F(MainWindowTest, AlignmentPlacesTheTextLeftCentredOrRight) {
    const auto textColumns = [&](Alignment alignment) {
        setCaptions("");
        const QImage before = render(widget(form));
        for (std::int16_t index : {0, 1}) {
            form.label(lblFreeRam, index).setAlignment(alignment);
            form.label(lblFreeRam, index).setCaption("Free RAM = 257 MB");
        }
        const QImage after = render(widget(form));
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
    // The pair spans columns 7 to 201: the white label from 7, the red one from 8.
    const auto [leftStart, leftEnd] = textColumns(Alignment::Left);
    EXPECT_GE(leftStart, 7);
    EXPECT_LE(leftStart, 9);
    const auto [centreStart, centreEnd] = textColumns(Alignment::Center);
    EXPECT_NEAR((centreStart + centreEnd) / 2.0, 7 + 195 / 2.0, 2.0);
    EXPECT_NEAR(centreEnd - centreStart, leftEnd - leftStart, 1);
    const auto [rightStart, rightEnd] = textColumns(Alignment::Right);
    EXPECT_GE(rightEnd, 199);
    EXPECT_LE(rightEnd, 202);
    EXPECT_NEAR(rightEnd - rightStart, leftEnd - leftStart, 1);
}

TEST_F(MainWindowTest, TheMeterIsFramedInTheWindowTextColourRoundItsBar) {
    // The layout's fore colour, the system window-text colour, as on Windows.
    const QRgb frame = QApplication::palette().color(QPalette::Text).rgb();
    meter().setVisible(true);
    drawBar(100, 50.0f);
    const QImage shown = render(widget(form));
    EXPECT_TRUE(same(shown.pixel(kMeterLeft - 1, 20), frame));
    EXPECT_TRUE(same(shown.pixel(kMeterLeft + kMeterWidth, 20), frame));
    EXPECT_TRUE(same(shown.pixel(kMeterLeft + 3, kMeterTop - 1), frame));
    EXPECT_TRUE(same(shown.pixel(kMeterLeft + 3, kMeterTop + kMeterHeight), frame));
}

TEST_F(MainWindowTest, AtTwoDevicePixelsEachPixelIsAnEvenBlockAndTheTextIsFiner) {
    meter().setVisible(true);
    drawBar(100, 50.0f);
    const QImage one = render(widget(form));
    const QImage two = renderAt(widget(form), 2);
    ASSERT_EQ(two.size(), QSize(2 * kWidth, 2 * kHeight));
    const auto text = [](QRgb p) {
        return same(p, qRgb(255, 255, 255)) || same(p, qRgb(255, 0, 0));
    };
    int uneven = 0;
    int changed = 0;
    int finer = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const QRgb block[] = {two.pixel(2 * x, 2 * y), two.pixel(2 * x + 1, 2 * y),
                                  two.pixel(2 * x, 2 * y + 1), two.pixel(2 * x + 1, 2 * y + 1)};
            const bool even = std::all_of(std::begin(block), std::end(block),
                                          [&](QRgb p) { return same(p, block[0]); });
            const bool inked =
                text(one.pixel(x, y)) || std::any_of(std::begin(block), std::end(block), text);
            if (inked) {
                finer += even ? 0 : 1;
            } else if (!even) {
                ++uneven;
            } else if (!same(block[0], one.pixel(x, y))) {
                ++changed;
            }
        }
    }
    EXPECT_EQ(uneven, 0) << "skin, edges and meter are drawn pixel for pixel";
    EXPECT_EQ(changed, 0);
    EXPECT_GT(finer, 200) << "the text is drawn for the finer pixels, not blown up";
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

TEST_F(MainWindowTest, RealTicksThatLeaveTheBarAsItWasNeitherRepaintNorPaintTheMeter) {
    meter().setVisible(true);
    PictureWidget& box = meterWidget();
    float percent = 0.0f;
    events.onTick = [&](platform::ControlName) {
        EXPECT_TRUE(meter::DrawPercent_Graph(100, percent, meter()).ok());
    };
    struct Step {
        float percent;
        bool painted;  // the box painted during the step's ticks
    };
    // Each tick clears and draws again: only a bar of another height reaches the box.
    const Step steps[] = {{50.0f, true},  {50.0f, false}, {50.2f, false}, {60.0f, true},
                          {60.0f, false}, {0.0f, true},   {0.0f, false}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.percent);
        percent = step.percent;
        PaintCounter counter(box);
        const std::size_t ticks = events.count("Timer MainTimer");
        ASSERT_TRUE(waitFor([&] { return events.count("Timer MainTimer") >= ticks + 3; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.paints > 0, step.painted) << counter.paints << " paints";
    }
    // What is drawn survives a repaint of the window.
    events.onTick = nullptr;
    drawBar(100, 100.0f);
    widget(form).repaint();
    EXPECT_TRUE(same(render(widget(form)).pixel(kMeterLeft, kMeterTop), qRgb(0, 255, 0)));
}

TEST_F(MainWindowTest, TheShownMeterCoversLabelTextThatRunsUnderIt) {
    const std::string wide(40, 'W');
    setCaptions("");
    for (std::int16_t index : {0, 1}) {
        form.label(lblTotalRam, index).setAlignment(Alignment::Left);
        form.label(lblTotalRam, index).setCaption(wide);
    }
    const auto whiteUnderMeter = [&] {
        const QImage shown = render(widget(form));
        int count = 0;
        for (int y = 1; y < kHeight; ++y) {
            for (int x = 195; x < 207; ++x) {
                count += same(shown.pixel(x, y), qRgb(255, 255, 255)) ? 1 : 0;
            }
        }
        return count;
    };
    // The scale picture itself is white, so compare against the meter shown with no text.
    meter().setVisible(true);
    const int covered = whiteUnderMeter();
    setCaptions("");
    const int meterAlone = whiteUnderMeter();
    EXPECT_EQ(covered, meterAlone);
    for (std::int16_t index : {0, 1}) {
        form.label(lblTotalRam, index).setCaption(wide);
    }
    meter().setVisible(false);
    EXPECT_GT(whiteUnderMeter(), 0) << "hidden meter: the text shows there";
}

TEST_F(MainWindowTest, ADismissedPopupRunsNothing) {
    QTimer::singleShot(50, [] {
        QWidget* open = QApplication::activePopupWidget();
        ASSERT_NE(open, nullptr);
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(open, &escape);
    });
    events.calls.clear();
    form.popupMenu(form.menu(mnuA));
    EXPECT_TRUE(events.clicks().empty());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

}  // namespace
}  // namespace pelmora::qt::test

// The tray icon's menu and mouse on the Qt layer: the menu a StatusNotifierItem host shows by
// itself, filled by the window's popup while the host asks for it, and the window Qt docks
// into an XEmbed tray, whose mouse the layer takes so that clicks act on the release.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <fstream>
#include <memory>

#include "backend_fixture.h"
#include "platform/qt/qt_tray.h"
#include "ui/main/main_layout.h"

namespace pelmora::qt::test {
namespace {

using namespace ui::frmmain_names;

// Each action as "caption", "-" for a separator, " [x]" when marked, " (off)" when disabled.
QStringList shown(QMenu& menu) {
    QStringList rows;
    for (const QAction* action : menu.actions()) {
        QString row = action->isSeparator() ? QStringLiteral("-") : action->text();
        row += action->isChecked() ? QStringLiteral(" [x]") : QString();
        row += action->isEnabled() ? QString() : QStringLiteral(" (off)");
        rows << row;
    }
    return rows;
}

std::vector<core::PopupRow> rows(std::initializer_list<core::PopupRow> list) {
    return list;
}

class TrayHostTest : public BackendTest {
  protected:
    RecordingEvents events;
};

TEST_F(TrayHostTest, HostMenuShowsTheRowsAndKeepsItsActionsWhileTheCaptionsStay) {
    TrayHostMenu host;
    QObject receiver;
    struct Fill {
        const char* what;
        std::vector<core::PopupRow> rows;
        QStringList expected;
        bool sameActions;  // as the fill before
    };
    const Fill fills[] = {
        {"first rows",
         rows({{"&Keep on top"},
               {"E&xit", false, true},
               {"-", true},
               {"&About", false, false, false}}),
         {"&Keep on top", "E&xit [x]", "-", "&About (off)"},
         false},
        {"marks and states change",
         rows({{"&Keep on top", false, true}, {"E&xit"}, {"-", true}, {"&About"}}),
         {"&Keep on top [x]", "E&xit", "-", "&About"},
         true},
        {"a caption changes",
         rows({{"&Keep on top"}, {"E&nd"}, {"-", true}, {"&About"}}),
         {"&Keep on top", "E&nd", "-", "&About"},
         false},
        {"a separator where an item was",
         rows({{"&Keep on top"}, {"-", true}, {"-", true}, {"&About"}}),
         {"&Keep on top", "-", "-", "&About"},
         false},
        {"fewer rows", rows({{"&Keep on top"}}), {"&Keep on top"}, false},
        {"no rows", rows({}), {}, false},
    };
    QList<QAction*> before;
    for (const Fill& fill : fills) {
        SCOPED_TRACE(fill.what);
        host.fill(fill.rows, receiver, [](std::size_t) {});
        EXPECT_EQ(shown(host.menu()), fill.expected);
        const QList<QAction*> now = host.menu().actions();
        EXPECT_EQ(now == before, fill.sameActions);
        for (const QAction* action : now) {
            EXPECT_EQ(action->isCheckable(), action->isChecked())
                << "only a marked item is checkable, so unmarked ones show no empty box";
        }
        before = now;
    }
}

TEST_F(TrayHostTest, RowChosenFromTheHostComesBackLaterAndOnlyWhileTheReceiverLives) {
    TrayHostMenu host;
    auto receiver = std::make_unique<QObject>();
    std::vector<std::size_t> chosen;
    host.fill(rows({{"&Keep on top"}, {"-", true}, {"&About"}}), *receiver,
              [&](std::size_t row) { chosen.push_back(row); });
    host.menu().actions()[2]->trigger();
    EXPECT_TRUE(chosen.empty()) << "acted on inside the host's call";
    ASSERT_TRUE(waitFor([&] { return !chosen.empty(); }));
    EXPECT_EQ(chosen, std::vector<std::size_t>{2});

    // The rows stay while only their marks change: a choice goes to the latest filler.
    std::vector<std::size_t> later;
    host.fill(rows({{"&Keep on top", false, true}, {"-", true}, {"&About"}}), *receiver,
              [&](std::size_t row) { later.push_back(row); });
    host.menu().actions()[0]->trigger();
    ASSERT_TRUE(waitFor([&] { return !later.empty(); }));
    EXPECT_EQ(later, std::vector<std::size_t>{0});
    EXPECT_EQ(chosen.size(), 1u);

    host.menu().actions()[2]->trigger();
    receiver.reset();
    EXPECT_FALSE(waitFor([&] { return later.size() > 1; }, 200))
        << "a choice reached a receiver that has gone";
}

TEST_F(TrayHostTest, PopupWhileTheHostAsksFillsItsMenuAndTheChoiceRunsTheItemLater) {
    platform::Form& form = runtime().load(ui::kMainLayout, events);
    form.show(platform::ShowMode::Modeless);
    TrayHostMenu host;
    bool openedAtPointer = false;
    // A popup opened at the pointer instead would run its own loop: close it from there.
    QTimer::singleShot(0, [&] {
        if (QWidget* open = QApplication::activePopupWidget()) {
            openedAtPointer = true;
            open->close();
        }
    });
    platform().setHostMenuRequest(&host);
    form.popupMenu(form.menu(mnuA));
    platform().setHostMenuRequest(nullptr);
    EXPECT_FALSE(openedAtPointer);
    EXPECT_TRUE(events.clicks().empty()) << "nothing chosen yet";
    EXPECT_EQ(shown(host.menu()),
              QStringList({"&Keep on top", "&Precise Values", "&Show Usage Meter [x]", "-",
                           "&About", "-", "E&xit"}));

    host.menu().actions()[1]->trigger();
    ASSERT_TRUE(waitFor([&] { return !events.clicks().empty(); }));
    EXPECT_EQ(events.clicks(), std::vector<std::string>{"Click mnuAction(1)"});

    // Once the window has gone, a row chosen from the menu the host still shows runs nothing.
    events.calls.clear();
    runtime().unload(form);
    host.menu().actions()[0]->trigger();
    EXPECT_FALSE(waitFor([&] { return !events.clicks().empty(); }, 200));
    EXPECT_TRUE(reports.empty());
}

TEST_F(TrayHostTest, WithoutAStatusNotifierHostTheIconHasNoMenuForQtToPopUp) {
    platform::Form& form = runtime().load(ui::kMainLayout, events);
    platform::NOTIFYICONDATAA data =
        trayRecord(form.hWnd(), platform::NIF_MESSAGE | platform::NIF_ICON, form.iconHandle(), "");
    ASSERT_EQ(os().Shell_NotifyIconA(platform::NIM_ADD, data), 1);
    QSystemTrayIcon* icon = shownTrayIcon();
    ASSERT_NE(icon, nullptr);
    // Qt exports a context menu to a StatusNotifierItem host as a D-Bus menu; on any other
    // tray it would pop the menu up itself at the press.
    if (QMenu* menu = icon->contextMenu()) {
        EXPECT_NE(menu->platformMenu(), nullptr);
    }
}

// Notes the presses that reach it.
class PressCounter final : public QWidget {
  public:
    int presses = 0;

  protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

TEST_F(TrayHostTest, AnXEmbedIconWindowIsLoggedAsItDocksAndItsMouseIsTheLayers) {
    OsOptions options;
    options.trayLogPath = path("tray.log");
    start(options);
    platform::Form& form = runtime().load(ui::kMainLayout, events);
    platform::NOTIFYICONDATAA data =
        trayRecord(form.hWnd(), platform::NIF_MESSAGE | platform::NIF_ICON, form.iconHandle(), "");
    ASSERT_EQ(os().Shell_NotifyIconA(platform::NIM_ADD, data), 1);
    ASSERT_NE(shownTrayIcon(), nullptr);
    if (shownTrayIcon()->contextMenu() != nullptr) {
        GTEST_SKIP() << "a StatusNotifierItem host shows the icon: Qt makes no XEmbed window";
    }

    // Stand-ins for the windows Qt docks into an XEmbed tray, and some other widget.
    PressCounter docked;
    docked.setObjectName(QStringLiteral("QSystemTrayIconSys"));
    docked.setToolTip(QStringLiteral("Pelmora  ( Free RAM = 3 GB )"));
    docked.resize(22, 22);
    const auto press = [](PressCounter& target) {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(5, 5),
                          target.mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&target, &event);
    };
    // Every event is watched only while an icon waits for its window: a window that comes
    // later is left alone and keeps its mouse.
    const auto watchesEveryEvent = [&] {
        PressCounter probe;
        probe.setObjectName(QStringLiteral("QSystemTrayIconSys"));
        probe.resize(22, 22);
        probe.show();
        press(probe);
        return probe.presses == 0;
    };
    // The icon has no window yet: the one shown now is taken.
    docked.show();
    EXPECT_FALSE(watchesEveryEvent()) << "the icon's window is known and shown";
    PressCounter other;
    other.resize(22, 22);
    press(docked);
    press(other);
    EXPECT_EQ(docked.presses, 0) << "Qt's own handling acts on the press";
    EXPECT_EQ(other.presses, 1) << "other widgets keep their mouse";

    // The tray host goes: Qt hides the window, and docks the icon anew, in that window or in
    // another, when a host comes back.
    docked.hide();
    docked.show();
    EXPECT_FALSE(watchesEveryEvent());
    docked.hide();
    PressCounter redocked;
    redocked.setObjectName(QStringLiteral("QSystemTrayIconSys"));
    redocked.resize(22, 22);
    redocked.show();
    press(redocked);
    EXPECT_EQ(redocked.presses, 0) << "a new window is taken while the icon has none shown";
    EXPECT_FALSE(watchesEveryEvent());

    // Once the icon is gone, nothing is watched.
    ASSERT_EQ(os().Shell_NotifyIconA(platform::NIM_DELETE, data), 1);
    EXPECT_FALSE(watchesEveryEvent());

    std::ifstream in(path("tray.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{"add", "dock Pelmora  ( Free RAM = 3 GB )",
                                        "dock Pelmora  ( Free RAM = 3 GB )", "dock", "delete"}));
}

}  // namespace
}  // namespace pelmora::qt::test

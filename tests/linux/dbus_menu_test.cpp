// The tray item's side of D-Bus as plain data: the clicks a host asks for, the labels its menu
// shows, the revisions a host is told of, and the ids a host's call may name.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/linux_dbus_menu.h"

namespace pelmora::linux_os {
namespace {

TEST(DbusMenu, TheItemsClickCallsAreTheClicksOfATrayIcon) {
    using emulated::TrayClick;
    const std::pair<std::string, std::optional<TrayClick>> cases[] = {
        {"Activate", TrayClick::Primary},
        {"ContextMenu", TrayClick::Context},
        {"SecondaryActivate", TrayClick::Middle},
        {"Scroll", std::nullopt},
        {"activate", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [method, click] : cases) {
        EXPECT_EQ(statusItemClick(method), click) << method;
    }
}

TEST(DbusMenu, LabelsMarkTheAccessKeyWithAnUnderscore) {
    const std::pair<std::string, std::string> cases[] = {
        {"E&xit", "E_xit"},
        {"Save && quit", "Save & quit"},
        {"snake_case", "snake__case"},
        {"trailing&", "trailing&"},
        {"\xC3\xA9t&\xC3\xA9", "\xC3\xA9t_\xC3\xA9"},
    };
    for (const auto& [caption, label] : cases) {
        EXPECT_EQ(dbusMenuLabel(caption), label) << caption;
    }
}

TEST(DbusMenu, OnlyOtherRowsMakeANewRevisionAndIdsNameTheRowsTheHostGot) {
    const DbusMenuRow about{false, "&About"};
    const DbusMenuRow line{true};
    const DbusMenuRow marked{false, "&About", true, true};
    const DbusMenuRow disabled{false, "&About", false};
    DbusMenu menu;
    const struct {
        std::vector<DbusMenuRow> rows;
        bool changed;
        std::uint32_t revision;
    } updates[] = {{{about, line}, true, 1},
                   {{about, line}, false, 1},
                   {{marked, line}, true, 2},
                   {{disabled, line}, true, 3},
                   {{}, true, 4},
                   {{about, line, about}, true, 5}};
    for (const auto& u : updates) {
        EXPECT_EQ(menu.update(u.rows), u.changed);
        EXPECT_EQ(menu.revision(), u.revision);
    }
    EXPECT_EQ(menu.rowIds({}), (std::vector<int>{1, 2, 3}));
    const std::vector<int> asked{3, 0, 4, 2, -1};
    EXPECT_EQ(menu.rowIds(asked), (std::vector<int>{3, 2}));
    EXPECT_EQ(menu.unknown(asked), (std::vector<int>{4, -1}));
    EXPECT_EQ(menu.row(0), nullptr) << "the menu itself is no row";
    ASSERT_NE(menu.row(2), nullptr);
    EXPECT_TRUE(menu.row(2)->separator);
}

}  // namespace
}  // namespace pelmora::linux_os

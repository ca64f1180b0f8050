// The tray item's D-Bus menu as plain data: the labels it shows, the revisions a host is told
// of, and the ids a host's call may name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/linux_dbus_menu.h"

namespace pelmora::linux_os {
namespace {

TEST(DbusMenu, LabelsMarkTheAccessKeyWithAnUnderscore) {
    const struct {
        std::string caption;
        std::string label;
    } cases[] = {
        {"&Keep on top", "_Keep on top"},
        {"E&xit", "E_xit"},
        {"Save && quit", "Save & quit"},
        {"snake_case", "snake__case"},
        {"trailing&", "trailing&"},
        {"\xC3\xA9t&\xC3\xA9", "\xC3\xA9t_\xC3\xA9"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dbusMenuLabel(c.caption), c.label) << c.caption;
    }
}

TEST(DbusMenu, OnlyOtherRowsMakeANewRevision) {
    const DbusMenuRow top{false, "&Keep on top"};
    const DbusMenuRow line{true};
    const DbusMenuRow exitRow{false, "E&xit"};
    DbusMenuRow marked = top;
    marked.checked = true;
    DbusMenuRow disabled = exitRow;
    disabled.enabled = false;
    const struct {
        const char* what;
        std::vector<DbusMenuRow> rows;
        bool changed;
        std::uint32_t revision;
    } updates[] = {
        {"the first rows", {top, line, exitRow}, true, 1},
        {"the same rows", {top, line, exitRow}, false, 1},
        {"a mark", {marked, line, exitRow}, true, 2},
        {"a disabled row", {marked, line, disabled}, true, 3},
        {"a row fewer", {marked, line}, true, 4},
        {"no rows", {}, true, 5},
        {"still none", {}, false, 5},
    };
    DbusMenu menu;
    EXPECT_EQ(menu.revision(), 0u);
    for (const auto& u : updates) {
        EXPECT_EQ(menu.update(u.rows), u.changed) << u.what;
        EXPECT_EQ(menu.revision(), u.revision) << u.what;
    }
}

TEST(DbusMenu, IdsNameTheMenuAndTheRowsTheHostGot) {
    DbusMenu menu;
    menu.update({{false, "&About"}, {true}, {false, "E&xit"}});
    const struct {
        std::vector<int> asked;
        std::vector<int> rows;
        std::vector<int> unknown;
    } cases[] = {
        {{}, {1, 2, 3}, {}},
        {{3, 0, 1}, {3, 1}, {}},
        {{4, 2, -1}, {2}, {4, -1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(menu.rowIds(c.asked), c.rows);
        EXPECT_EQ(menu.unknown(c.asked), c.unknown);
    }
    EXPECT_EQ(menu.row(0), nullptr) << "the menu itself is no row";
    EXPECT_TRUE(menu.known(0));
    ASSERT_NE(menu.row(3), nullptr);
    EXPECT_EQ(menu.row(3)->caption, "E&xit");
}

}  // namespace
}  // namespace pelmora::linux_os

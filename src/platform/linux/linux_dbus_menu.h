// A StatusNotifierItem's side of D-Bus as plain data: the clicks a host asks for, and the menu
// the item exports (com.canonical.dbusmenu): its rows as the host last got them, numbered from
// 1 (0 is the menu itself), the revision of their layout, and the ids a host's call may name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/tray_host.h"

namespace pelmora::linux_os {

struct DbusMenuRow {
    bool separator = false;
    std::string caption{};  // "&" before the access key
    bool enabled = true;
    bool checked = false;  // only a checked row has a mark
    bool operator==(const DbusMenuRow&) const = default;
};

// The click a StatusNotifierItem host asks for with a call of the item's; none for Scroll or
// any other.
std::optional<emulated::TrayClick> statusItemClick(std::string_view method);

// A caption as the menu marks its access key: "_" before the key, "__" for a plain "_".
std::string dbusMenuLabel(std::string_view caption);

class DbusMenu {
  public:
    // The rows now; true when they differ from those the host got, which makes a new revision.
    bool update(std::vector<DbusMenuRow> rows);
    std::uint32_t revision() const noexcept { return revision_; }
    // The menu itself or one of its rows.
    bool known(int id) const noexcept { return id >= 0 && id <= size(); }
    // The row an id names; null for the menu itself or an unknown id.
    const DbusMenuRow* row(int id) const noexcept;
    // The ids asked for that name rows, in order; every row's when none is asked for.
    std::vector<int> rowIds(std::span<const int> asked) const;
    // The ids asked for that name nothing.
    std::vector<int> unknown(std::span<const int> asked) const;

  private:
    int size() const noexcept { return static_cast<int>(rows_.size()); }

    std::vector<DbusMenuRow> rows_;
    std::uint32_t revision_ = 0;
};

}  // namespace pelmora::linux_os

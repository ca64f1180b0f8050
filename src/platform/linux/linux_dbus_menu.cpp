#include "platform/linux/linux_dbus_menu.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace pelmora::linux_os {

std::optional<emulated::TrayClick> statusItemClick(std::string_view method) {
    if (method == "Activate") {
        return emulated::TrayClick::Primary;
    }
    if (method == "ContextMenu") {
        return emulated::TrayClick::Context;
    }
    if (method == "SecondaryActivate") {
        return emulated::TrayClick::Middle;
    }
    return std::nullopt;
}

std::string dbusMenuLabel(std::string_view caption) {
    std::string label;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
            label += caption[i] == '&' ? "" : "_";
            label += caption[i];
        } else {
            label += caption[i] == '_' ? "__" : std::string(1, caption[i]);
        }
    }
    return label;
}

bool DbusMenu::update(std::vector<DbusMenuRow> rows) {
    if (rows == rows_) {
        return false;
    }
    rows_ = std::move(rows);
    ++revision_;
    return true;
}

const DbusMenuRow* DbusMenu::row(int id) const noexcept {
    return id > 0 && known(id) ? &rows_[static_cast<std::size_t>(id - 1)] : nullptr;
}

std::vector<int> DbusMenu::rowIds(std::span<const int> asked) const {
    std::vector<int> ids;
    if (asked.empty()) {
        for (int id = 1; id <= size(); ++id) {
            ids.push_back(id);
        }
        return ids;
    }
    std::copy_if(asked.begin(), asked.end(), std::back_inserter(ids),
                 [this](int id) { return row(id) != nullptr; });
    return ids;
}

std::vector<int> DbusMenu::unknown(std::span<const int> asked) const {
    std::vector<int> ids;
    std::copy_if(asked.begin(), asked.end(), std::back_inserter(ids),
                 [this](int id) { return !known(id); });
    return ids;
}

}  // namespace pelmora::linux_os

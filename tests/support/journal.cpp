#include "support/journal.h"

#include <algorithm>
#include <charconv>

namespace pelmora::recording {

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string hex(std::uint64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    std::string digits(buffer, result.ptr);
    std::transform(digits.begin(), digits.end(), digits.begin(),
                   [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
    return "0x" + digits;
}

std::string colourText(platform::Colour colour) {
    if (platform::isSystemColour(colour)) {
        return "sys(" + std::to_string(colour & ~platform::kSystemColourFlag) + ")";
    }
    // Colours are kept as 0x00BBGGRR; the journal shows them as people write them.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "#";
    for (const unsigned shift : {0u, 8u, 16u}) {
        const unsigned channel = (colour >> shift) & 0xFFu;
        out += kDigits[channel >> 4];
        out += kDigits[channel & 0xFu];
    }
    return out;
}

std::string_view alignmentText(platform::Alignment alignment) {
    switch (alignment) {
        case platform::Alignment::Left:
            return "Left";
        case platform::Alignment::Right:
            return "Right";
        case platform::Alignment::Center:
            return "Center";
    }
    return "?";
}

std::string_view stateText(platform::WindowState state) {
    switch (state) {
        case platform::WindowState::Normal:
            return "Normal";
        case platform::WindowState::Minimized:
            return "Minimized";
        case platform::WindowState::Maximized:
            return "Maximized";
    }
    return "?";
}

std::string_view buttonText(platform::MouseButton button) {
    switch (button) {
        case platform::MouseButton::Left:
            return "Left";
        case platform::MouseButton::Right:
            return "Right";
        case platform::MouseButton::Middle:
            return "Middle";
    }
    return "?";
}

std::string widgetName(std::string_view name, std::int16_t index) {
    std::string out(name);
    if (index != platform::kNoIndex) {
        out += '(' + std::to_string(index) + ')';
    }
    return out;
}

void Journal::failOn(std::string prefix, int nth) {
    rules_.push_back({std::move(prefix), nth, 0, nullptr});
}

const Journal::Rule* Journal::failing(const std::string& entry) {
    const Rule* found = nullptr;
    for (Rule& rule : rules_) {
        if (entry.compare(0, rule.prefix.size(), rule.prefix) != 0) {
            continue;
        }
        ++rule.seen;
        if (found == nullptr && (rule.nth == 0 || rule.seen == rule.nth)) {
            found = &rule;
        }
    }
    return found;
}

void Journal::record(std::string entry) {
    if (keeping_) {
        entries_.push_back(std::move(entry));
    }
}

void Journal::op(const std::string& entry) {
    if (const Rule* rule = failing(entry)) {
        record("! " + entry);
        if (rule->error) {
            std::rethrow_exception(rule->error);
        }
        throw platform::Error(kInjectedError, "Injected failure: " + entry);
    }
    record(entry);
}

bool Journal::call(const std::string& entry) {
    if (const Rule* rule = failing(entry)) {
        record("! " + entry);
        if (rule->error) {
            std::rethrow_exception(rule->error);
        }
        return false;
    }
    record(entry);
    return true;
}

std::vector<std::string> Journal::entries(std::vector<std::string_view> prefixes,
                                          std::size_t from) const {
    std::vector<std::string> out;
    for (std::size_t i = from; i < entries_.size(); ++i) {
        const std::string& entry = entries_[i];
        const bool wanted =
            prefixes.empty() || std::any_of(prefixes.begin(), prefixes.end(), [&](auto prefix) {
                return entry.compare(0, prefix.size(), prefix) == 0;
            });
        if (wanted) {
            out.push_back(entry);
        }
    }
    return out;
}

std::size_t Journal::count(std::string_view prefix, std::size_t from) const {
    return entries({prefix}, from).size();
}

}  // namespace pelmora::recording

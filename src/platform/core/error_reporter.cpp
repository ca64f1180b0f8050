#include "platform/core/error_reporter.h"

namespace pelmora::core {

std::string formatErrorLine(std::string_view handler, const platform::Error& error,
                            std::uint64_t heldBack) {
    std::string line = "Pelmora: error in ";
    line += handler;
    line += ": ";
    line += std::to_string(error.number());
    line += ' ';
    line += error.description();
    if (heldBack > 0) {
        line += " (";
        line += std::to_string(heldBack);
        line += heldBack == 1 ? " repeat held back)" : " repeats held back)";
    }
    return line;
}

void ErrorReporter::report(std::string_view handler, const platform::Error& error) noexcept {
    try {
        const auto now = clock_();
        auto [it, first] = seen_.try_emplace({std::string(handler), error.number()});
        Seen& seen = it->second;
        if (!first && now - seen.lastShown < kQuietPeriod) {
            ++seen.heldBack;
            return;
        }
        const std::uint64_t heldBack = seen.heldBack;
        seen.lastShown = now;
        seen.heldBack = 0;
        sink_(formatErrorLine(handler, error, heldBack));
    } catch (...) {
        // A reporter that fails must not take the program down with it.
    }
}

}  // namespace pelmora::core

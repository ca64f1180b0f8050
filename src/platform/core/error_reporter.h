// The one reporter of errors that reach the forms runtime: one line per error,
// naming the handler, the error number and its description. Repeats of the same
// error from the same handler are held back for a while and counted.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "platform/errors.h"

namespace pelmora::core {

class ErrorReporter {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Sink = std::function<void(std::string_view line)>;

    static constexpr std::chrono::seconds kQuietPeriod{10};

    ErrorReporter(Sink sink, Clock clock = &std::chrono::steady_clock::now)
        : sink_(std::move(sink)), clock_(std::move(clock)) {}

    void report(std::string_view handler, const platform::Error& error) noexcept;

  private:
    struct Seen {
        std::chrono::steady_clock::time_point lastShown;
        std::uint64_t heldBack = 0;
    };

    Sink sink_;
    Clock clock_;
    std::map<std::pair<std::string, std::int32_t>, Seen> seen_;
};

// Formats one report line: "Pelmora: error in <handler>: <number> <description>".
std::string formatErrorLine(std::string_view handler, const platform::Error& error,
                            std::uint64_t heldBack);

}  // namespace pelmora::core

// The recording layer's journal: every native operation and OS call as one line of readable
// text, in the order they happened, and the rules that make chosen ones fail.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/types.h"

namespace pelmora::recording {

// The number of the error an injected failure raises unless the test names another.
inline constexpr std::int32_t kInjectedError = 31999;

// Text forms used in the journal, so that tests can build expected entries.
std::string quote(std::string_view text);         // "a\r\nb" with CR and LF escaped
std::string hex(std::uint64_t value);             // 0x1001
std::string colourText(platform::Colour colour);  // #RRGGBB, or sys(n) for a system colour
std::string_view alignmentText(platform::Alignment alignment);
std::string_view stateText(platform::WindowState state);
std::string_view buttonText(platform::MouseButton button);
std::string widgetName(std::string_view name, std::int16_t index);  // lblTotalRam(0)

class Journal {
  public:
    // Fails the nth matching call from now on (1: the next one; 0: every one). An entry matches
    // when it begins with `prefix`. A native operation then raises the error (by default one
    // numbered kInjectedError); an OS call returns 0 and changes nothing, or raises the error
    // when one is given.
    void failOn(std::string prefix, int nth = 0);
    // The failure raised may be any exception: a layer's own, or an error of the runtime.
    template <typename Failure>
    void failOn(std::string prefix, int nth, Failure failure) {
        rules_.push_back({std::move(prefix), nth, 0, std::make_exception_ptr(std::move(failure))});
    }
    void clearFailures() { rules_.clear(); }

    // Records a native operation, or raises as a rule says (recorded as "! entry").
    void op(const std::string& entry);
    // Records an OS call; false when a rule fails it quietly, raises when its rule has an error.
    bool call(const std::string& entry);
    // Records input, notes and results, which never fail.
    void note(std::string entry) { record(std::move(entry)); }

    // A journal that keeps nothing still fails what its rules say: a long run (the soak)
    // must not grow with what it did. What the OS calls keep of their requests follows it.
    void keepEntries(bool keep) noexcept { keeping_ = keep; }
    bool keeping() const noexcept { return keeping_; }

    const std::vector<std::string>& entries() const noexcept { return entries_; }
    // Entries from position `from` on that begin with one of the prefixes (all if none).
    std::vector<std::string> entries(std::vector<std::string_view> prefixes,
                                     std::size_t from = 0) const;
    std::size_t count(std::string_view prefix, std::size_t from = 0) const;
    std::size_t mark() const noexcept { return entries_.size(); }

  private:
    struct Rule {
        std::string prefix;
        int nth = 0;
        int seen = 0;
        std::exception_ptr error;
    };
    // Counts the entry against every rule; the rule that fails it, if any.
    const Rule* failing(const std::string& entry);
    void record(std::string entry);

    std::vector<std::string> entries_;
    std::vector<Rule> rules_;
    bool keeping_ = true;
};

}  // namespace pelmora::recording

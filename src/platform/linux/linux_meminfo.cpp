#include "platform/linux/linux_meminfo.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

namespace pelmora::linux_os {

namespace {

// The most kB whose byte count still fits the program's signed 64-bit figures.
constexpr std::uint64_t kMaxKb = static_cast<std::uint64_t>(INT64_MAX) / 1024;

enum class FieldState { Missing, Bad, Ok };

// The number of kB after "<name>:" (the line's rest), with optional blanks around it.
FieldState readKb(std::string_view line, std::uint64_t& value) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    std::uint64_t number = 0;
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') {
        number = number * 10 + static_cast<std::uint64_t>(line[digits] - '0');
        if (number > kMaxKb) {
            return FieldState::Bad;
        }
        ++digits;
    }
    if (digits == 0) {
        return FieldState::Bad;
    }
    std::string_view unit = line.substr(digits);
    while (!unit.empty() && unit.front() == ' ') {
        unit.remove_prefix(1);
    }
    if (unit != "kB") {
        return FieldState::Bad;
    }
    value = number;
    return FieldState::Ok;
}

struct Field {
    std::string_view name;
    std::uint64_t* value;
    FieldState state = FieldState::Missing;
};

// One pass over the text: each field is read from the first line that starts with
// "<name>:", and the pass ends as soon as every field has been seen.
template <std::size_t N>
void findFields(std::string_view text, std::array<Field, N>& fields) {
    std::size_t unseen = N;
    std::size_t pos = 0;
    while (pos < text.size() && unseen > 0) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        for (Field& field : fields) {
            const std::size_t length = field.name.size();
            if (field.state != FieldState::Missing || line.size() <= length ||
                line[length] != ':' || line.substr(0, length) != field.name) {
                continue;
            }
            field.state = readKb(line.substr(length + 1), *field.value);
            --unseen;
            break;
        }
    }
}

bool requireField(const Field& field, std::string* reason) {
    switch (field.state) {
        case FieldState::Ok:
            return true;
        case FieldState::Missing:
            if (reason != nullptr) {
                *reason = std::string(field.name) + " is missing";
            }
            return false;
        case FieldState::Bad:
            break;
    }
    if (reason != nullptr) {
        *reason = std::string(field.name) + " is not a number of kB";
    }
    return false;
}

}  // namespace

bool parseMemInfo(std::string_view text, MemInfoFigures& figures, std::string* reason) {
    MemInfoFigures read;
    std::array<Field, 4> fields{{
        {"MemTotal", &read.totalKb},
        {"MemAvailable", &read.availableKb},
        {"SwapTotal", &read.swapTotalKb},
        {"SwapFree", &read.swapFreeKb},
    }};
    findFields(text, fields);
    if (!requireField(fields[0], reason) || !requireField(fields[1], reason)) {
        return false;
    }
    if (read.totalKb == 0) {
        if (reason != nullptr) {
            *reason = "MemTotal is 0";
        }
        return false;
    }
    if (fields[2].state != FieldState::Ok || fields[3].state != FieldState::Ok) {
        read.swapTotalKb = 0;
        read.swapFreeKb = 0;
    }
    figures = read;
    return true;
}

MemInfoReader::MemInfoReader(std::string path, Clock::duration maxAge)
    : path_(std::move(path)), maxAge_(maxAge) {}

bool MemInfoReader::read(MemInfoFigures& figures, std::string& reason, Clock::time_point now) {
    // A clock that went back (or a reader used with another clock) reads anew.
    if (readAt_ && now >= *readAt_ && now - *readAt_ < maxAge_) {
        figures = last_;
        return true;
    }
    readAt_.reset();
    if (!readFile(last_, reason)) {
        return false;
    }
    readAt_ = now;
    figures = last_;
    return true;
}

bool MemInfoReader::readFile(MemInfoFigures& figures, std::string& reason) {
    if (!fd_) {
        fd_.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd_) {
            reason = "cannot open " + path_ + ": " + std::strerror(errno);
            return false;
        }
    }
    std::size_t filled = 0;
    while (filled < buffer_.size()) {
        const ssize_t got = ::pread(fd_.get(), buffer_.data() + filled, buffer_.size() - filled,
                                    static_cast<off_t>(filled));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            reason = "cannot read " + path_ + ": " + std::strerror(errno);
            fd_.reset();
            return false;
        }
        const auto wanted = buffer_.size() - filled;
        filled += static_cast<std::size_t>(got);
        // A short read is the end: the kernel writes the whole file in one go.
        if (static_cast<std::size_t>(got) < wanted) {
            break;
        }
    }
    std::string why;
    if (!parseMemInfo(std::string_view(buffer_.data(), filled), figures, &why)) {
        reason = path_ + ": " + why;
        return false;
    }
    return true;
}

}  // namespace pelmora::linux_os

#include "platform/qt/qt_meminfo.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace pelmora::qt {

namespace {

// Larger figures than this many kB cannot be turned into bytes in 64 bits.
constexpr std::uint64_t kMaxKb = (std::uint64_t{1} << 53);

enum class FieldState { Missing, Bad, Ok };

// Finds "<name>:" at the start of a line and reads the number of kB after it.
FieldState findField(std::string_view text, std::string_view name, std::uint64_t& value) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() <= name.size() || line.substr(0, name.size()) != name ||
            line[name.size()] != ':') {
            continue;
        }
        line.remove_prefix(name.size() + 1);
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
    return FieldState::Missing;
}

bool requireField(std::string_view text, std::string_view name, std::uint64_t& value,
                  std::string* reason) {
    switch (findField(text, name, value)) {
        case FieldState::Ok:
            return true;
        case FieldState::Missing:
            if (reason != nullptr) {
                *reason = std::string(name) + " is missing";
            }
            return false;
        case FieldState::Bad:
            break;
    }
    if (reason != nullptr) {
        *reason = std::string(name) + " is not a number of kB";
    }
    return false;
}

}  // namespace

bool parseMemInfo(std::string_view text, MemInfoFigures& figures, std::string* reason) {
    MemInfoFigures read;
    if (!requireField(text, "MemTotal", read.totalKb, reason) ||
        !requireField(text, "MemAvailable", read.availableKb, reason)) {
        return false;
    }
    if (read.totalKb == 0) {
        if (reason != nullptr) {
            *reason = "MemTotal is 0";
        }
        return false;
    }
    if (findField(text, "SwapTotal", read.swapTotalKb) != FieldState::Ok ||
        findField(text, "SwapFree", read.swapFreeKb) != FieldState::Ok) {
        read.swapTotalKb = 0;
        read.swapFreeKb = 0;
    }
    figures = read;
    return true;
}

std::uint32_t memoryLoadPercent(std::uint64_t totalKb, std::uint64_t availableKb) noexcept {
    if (totalKb == 0) {
        return 0;
    }
    const std::uint64_t used = availableKb >= totalKb ? 0 : totalKb - availableKb;
    return static_cast<std::uint32_t>((used * 100 + totalKb / 2) / totalKb);
}

MemInfoReader::MemInfoReader(std::string path) : path_(std::move(path)) {}

bool MemInfoReader::read(MemInfoFigures& figures, std::string& reason) {
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

}  // namespace pelmora::qt

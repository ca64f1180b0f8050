#include "platform/emulated/tray_host.h"

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/win_constants.h"

namespace pelmora::emulated {

namespace {

constexpr std::uint32_t kMiddleButtonDown = 0x207;
constexpr std::uint32_t kMiddleButtonUp = 0x208;
constexpr std::uint32_t kMiddleButtonDoubleClick = 0x209;

// Windows-1252 where it differs from Latin-1.
constexpr std::array<char16_t, 32> kAnsiHigh{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, char16_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::vector<std::uint32_t> clickMessages(TrayClick click) {
    switch (click) {
        case TrayClick::Primary:
            return {platform::WM_LBUTTONDOWN, platform::WM_LBUTTONUP};
        case TrayClick::Context:
            return {platform::WM_RBUTTONDOWN, platform::WM_RBUTTONUP};
        case TrayClick::Double:
            return {platform::WM_LBUTTONDBLCLK};
        case TrayClick::Middle:
            return {kMiddleButtonDown, kMiddleButtonUp};
    }
    return {};
}

std::optional<std::uint32_t> mouseMessage(ButtonEvent event, platform::MouseButton button,
                                          bool overIcon) {
    // Down, up and double click of each button.
    static constexpr std::uint32_t kMessages[3][3] = {
        {platform::WM_LBUTTONDOWN, platform::WM_LBUTTONUP, platform::WM_LBUTTONDBLCLK},
        {platform::WM_RBUTTONDOWN, platform::WM_RBUTTONUP, platform::WM_RBUTTONDBLCLK},
        {kMiddleButtonDown, kMiddleButtonUp, kMiddleButtonDoubleClick},
    };
    if (event == ButtonEvent::Release && !overIcon) {
        return std::nullopt;
    }
    return kMessages[static_cast<std::size_t>(button)][static_cast<std::size_t>(event)];
}

std::string ansiToUtf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        appendUtf8(result, byte >= 0x80 && byte < 0xA0 ? kAnsiHigh[byte - 0x80] : byte);
    }
    return result;
}

TrayRequestLog::TrayRequestLog(TrayShell& host, const std::string& path) : host_(host) {
    if (!path.empty()) {
        file_.reset(std::fopen(path.c_str(), "a"));
        if (!file_) {
            problem_ = "cannot write " + path + ": " + std::strerror(errno);
        }
    }
}

bool TrayRequestLog::showIcon(const TrayIconKey& key, const TrayIcon& icon) {
    if (!host_.showIcon(key, icon)) {
        return false;
    }
    write("add");
    tip(icon, icon.flags);
    return true;
}

bool TrayRequestLog::updateIcon(const TrayIconKey& key, const TrayIcon& icon,
                                std::uint32_t changed) {
    if (!host_.updateIcon(key, icon, changed)) {
        return false;
    }
    tip(icon, changed);
    return true;
}

bool TrayRequestLog::removeIcon(const TrayIconKey& key) {
    if (!host_.removeIcon(key)) {
        return false;
    }
    write("delete");
    return true;
}

void TrayRequestLog::tip(const TrayIcon& icon, std::uint32_t fields) {
    if ((fields & platform::NIF_TIP) != 0) {
        write("tip", ansiToUtf8(tipText(icon.tip)));
    }
}

void TrayRequestLog::write(std::string_view request, std::optional<std::string_view> text) {
    if (!file_) {
        return;
    }
    std::fwrite(request.data(), 1, request.size(), file_.get());
    if (text) {
        std::fputc(' ', file_.get());
        std::fwrite(text->data(), 1, text->size(), file_.get());
    }
    std::fputc('\n', file_.get());
    std::fflush(file_.get());
}

}  // namespace pelmora::emulated

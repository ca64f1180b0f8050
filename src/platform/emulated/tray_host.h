// What every tray host of a layer shares: the mouse messages a click on an icon means, the
// tip's text in Unicode, and the log of what the host took.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/emulated/tray_table.h"
#include "platform/forms.h"

namespace pelmora::emulated {

// A click a tray host reports on an icon.
enum class TrayClick : std::uint8_t { Primary, Context, Double, Middle };

// Its mouse messages, in the order the shell sends them.
std::vector<std::uint32_t> clickMessages(TrayClick click);

enum class ButtonEvent : std::uint8_t { Press, Release, DoubleClick };

// The mouse message of a button's event on the icon's own window; a release counts only over
// the icon (released away from it, the press was no click).
std::optional<std::uint32_t> mouseMessage(ButtonEvent event, platform::MouseButton button,
                                          bool overIcon);

// ANSI text (Windows-1252) in UTF-8; the five bytes the code page leaves unassigned keep
// their code.
std::string ansiToUtf8(std::string_view text);

// Stands between the shell's table and a tray host: passes every request on, and when a path
// is given appends those the host took to that file, one a line: "add", "tip <text>",
// "delete", and "dock <tip>" each time a tray takes the icon.
class TrayRequestLog final : public TrayShell {
  public:
    TrayRequestLog(TrayShell& host, const std::string& path);

    // Why the path given cannot be written, told once; empty after that, or when it can.
    std::string takeProblem() { return std::exchange(problem_, {}); }

    bool showIcon(const TrayIconKey& key, const TrayIcon& icon) override;
    bool updateIcon(const TrayIconKey& key, const TrayIcon& icon, std::uint32_t changed) override;
    bool removeIcon(const TrayIconKey& key) override;
    void docked(std::string_view tip) {
        write("dock", tip.empty() ? std::nullopt : std::optional<std::string_view>(tip));
    }

  private:
    // The tip, when the fields set it.
    void tip(const TrayIcon& icon, std::uint32_t fields);
    void write(std::string_view request, std::optional<std::string_view> text = std::nullopt);

    struct Close {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };
    TrayShell& host_;
    std::unique_ptr<std::FILE, Close> file_;
    std::string problem_;
};

}  // namespace pelmora::emulated

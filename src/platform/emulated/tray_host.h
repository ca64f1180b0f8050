// What every tray host of a layer shares: the mouse messages a click on an icon means, the
// tip's text in Unicode, and the log of what the host is asked to show.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

// The requests sent to a tray host, appended one a line to a file when a path is given:
// "add", "tip <text>", "delete", and "dock <tip>" each time a tray takes the icon.
class TrayRequestLog {
  public:
    explicit TrayRequestLog(const std::string& path);
    // False when the path given cannot be written.
    bool ok() const noexcept { return ok_; }

    // The icon is shown: "add", and its tip when it has one.
    void added(const TrayIcon& icon);
    // Its tip, when the change sets it.
    void changed(const TrayIcon& icon, std::uint32_t fields);
    void removed() { write("delete"); }
    void docked(std::string_view tip) { write("dock", tip.empty() ? nullptr : &tip); }

  private:
    void write(std::string_view request, const std::string_view* text = nullptr);

    struct Close {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Close> file_;
    bool ok_ = true;
};

}  // namespace pelmora::emulated

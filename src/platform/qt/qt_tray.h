// Tray icons as the shell keeps them: one per window and identifier, each a QSystemTrayIcon
// that shows the window's icon and tip and reports clicks through the window's procedure.
#pragma once

#include <QString>
#include <QSystemTrayIcon>
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/os_calls.h"
#include "platform/types.h"

namespace pelmora::qt {

class QtRuntime;

// ANSI text (Windows-1252) as Unicode.
QString fromAnsi(std::string_view text);

// A tray record's tip: the text up to its NUL, at most 63 characters.
QString decodeTip(const char (&tip)[64]);

// The mouse messages a click on the icon makes, in the order the shell sends them.
std::vector<std::uint32_t> clickMessages(QSystemTrayIcon::ActivationReason reason);

class TrayIcons {
  public:
    // When logPath names a file, every request sent to the tray host is written to it, one
    // line each ("add", "tip <text>", "delete").
    TrayIcons(QtRuntime& runtime, const std::string& logPath);
    ~TrayIcons();
    TrayIcons(const TrayIcons&) = delete;
    TrayIcons& operator=(const TrayIcons&) = delete;

    // One Shell_NotifyIconA request; an unknown window, icon or request is refused with 0.
    std::int32_t notify(std::uint32_t message, const platform::NOTIFYICONDATAA& data);
    // The icons of a window that has gone, or of a program that has ended, go too.
    void removeWindow(platform::Hwnd hWnd);
    void removeAll();

    QSystemTrayIcon* find(platform::Hwnd hWnd, std::uint32_t id) const;
    // What a click on the icon does: its mouse messages go through the window's procedure.
    void clicked(platform::Hwnd hWnd, std::uint32_t id, QSystemTrayIcon::ActivationReason reason);

  private:
    using Key = std::pair<platform::Hwnd, std::uint32_t>;
    struct Entry {
        std::unique_ptr<QSystemTrayIcon> icon;
        std::uint32_t callbackMessage = 0;
        bool reportsClicks = false;
        QString tip;
        // The record's tip bytes as last seen, so an unchanged tip costs no decoding.
        std::array<char, 64> tipBytes{};
    };
    struct CloseFile {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };

    std::int32_t add(const Key& key, const platform::NOTIFYICONDATAA& data);
    std::int32_t modify(Entry& entry, const platform::NOTIFYICONDATAA& data);
    void remove(std::map<Key, Entry>::iterator it);
    void log(std::string_view request, const QString* text = nullptr);

    QtRuntime& runtime_;
    std::map<Key, Entry> icons_;
    // Removed icons stay until the end: a click being handled may belong to one of them.
    std::vector<std::unique_ptr<QSystemTrayIcon>> removed_;
    std::unique_ptr<std::FILE, CloseFile> log_;
};

}  // namespace pelmora::qt

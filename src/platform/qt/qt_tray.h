// Tray icons on the tray host: each a QSystemTrayIcon that shows the window's icon and tip
// and reports clicks back to the shell's table.
// On an XEmbed tray the icon's own little window takes the mouse, and each button acts on its
// release as on Windows. A StatusNotifierItem host shows the icon's menu by itself, from a
// D-Bus menu that the window's procedure fills whenever the host asks for it. An icon that Qt
// put on XEmbed also gets an item of its own, with that menu, for every StatusNotifierWatcher
// that appears later, and hides from XEmbed while that item is registered.
#pragma once

#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/native.h"
#include "platform/emulated/tray_host.h"
#include "platform/emulated/tray_table.h"
#include "platform/qt/qt_platform.h"
#include "platform/types.h"

class QObject;
class QWidget;

namespace pelmora::qt {

class StatusItem;

// The menu a StatusNotifierItem host shows by itself for an icon: Qt or the icon's own item
// exports it over D-Bus, and a row chosen there comes back as the action's trigger.
class TrayHostMenu final : public HostMenu {
  public:
    QMenu& menu() noexcept { return *menu_; }
    // The rows as actions: captions with their access keys, separators, marks, disabled rows.
    // When the captions are the ones shown, the actions stay and only marks and states
    // change, so a host that shows the menu meanwhile sees just what changed.
    void fill(std::span<const core::PopupRow> rows, QObject& receiver,
              std::function<void(std::size_t row)> chosen) override;

  private:
    bool sameRows(std::span<const core::PopupRow> rows) const;
    void choose(std::size_t row);

    std::unique_ptr<QMenu> menu_ = std::make_unique<QMenu>();
    std::vector<QAction*> actions_;  // one per row, owned by the menu
    QPointer<QObject> receiver_;
    std::function<void(std::size_t)> chosen_;
};

// The tray host's side of the icons: a QSystemTrayIcon for each icon the shell's table shows,
// with the window's image and the tip, and the clicks on it reported back as mouse messages.
class TrayIcons final : public emulated::TrayShell {
  public:
    using Report = std::function<void(const emulated::TrayIconKey& key, std::uint32_t mouse)>;
    using Docked = std::function<void(std::string_view tip)>;

    // Images are looked up on the platform. Clicks go to report as mouse messages; docked is
    // told each time an XEmbed tray takes an icon's window (at the start, and again whenever
    // a tray host comes back).
    TrayIcons(QtPlatform& platform, Report report, Docked docked);
    ~TrayIcons();

    bool showIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon) override;
    bool updateIcon(const emulated::TrayIconKey& key, const emulated::TrayIcon& icon,
                    std::uint32_t changed) override;
    bool removeIcon(const emulated::TrayIconKey& key) override;

  private:
    using Key = emulated::TrayIconKey;
    struct Entry {
        // Declared before the icon and the item, so that they let go of it first.
        std::unique_ptr<TrayHostMenu> hostMenu;
        std::unique_ptr<QSystemTrayIcon> icon;
        // Only for an icon on XEmbed, when there is a session bus.
        std::unique_ptr<StatusItem> item;
    };
    class EventFilter;

    // The image a record names, or a blank one when it names none; null for an unknown one.
    std::optional<QIcon> image(const emulated::TrayIcon& icon) const;
    bool current(const Key& key, const QSystemTrayIcon* icon) const;
    // What a click reported by the tray host does while the icon is the key's.
    std::function<void(emulated::TrayClick)> clicks(const Key& key, const QSystemTrayIcon* icon);
    // What the host's asking for the icon's menu does while the icon is the key's: the
    // window's procedure gets the right button's release, as for a click, and the popup it
    // opens fills the host's menu.
    std::function<void()> menuRequest(const Key& key, const QSystemTrayIcon* icon);
    // A StatusNotifierItem host shows the menu itself, from the D-Bus menu Qt exports for an
    // icon with a context menu. An icon on an XEmbed tray has none: it gets an item of its
    // own, with that menu, for the StatusNotifierWatchers that come later.
    void offerMenu(const Key& key, Entry& entry);
    // The events of an icon's XEmbed window (the mouse filter sits on nothing else): its
    // mouse is taken, its showings are logged.
    bool filter(QObject* watched, QEvent* event);
    // A window Qt made to dock an icon in an XEmbed tray gets the mouse filter.
    void adopt(QObject* watched);
    // Every event is watched for new icon windows only while an icon on an XEmbed tray has
    // none shown.
    void watchWindows();

    QtPlatform& platform_;
    Report report_;
    Docked docked_;
    std::map<Key, Entry> icons_;
    // Removed icons stay until the end: a click being handled may belong to one of them.
    std::vector<Entry> removed_;
    // On each icon's XEmbed window: its mouse and its showings stop here.
    std::unique_ptr<EventFilter> mouseFilter_;
    // On the application, but only while Qt may make an icon's XEmbed window that is not
    // known yet: the refresh timer's events then go by without it.
    std::unique_ptr<EventFilter> windowWatch_;
    std::vector<QPointer<QWidget>> iconWindows_;
    bool watching_ = false;
};

}  // namespace pelmora::qt

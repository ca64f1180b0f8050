// A StatusNotifierItem of the layer's own, for a tray icon that Qt shows on an XEmbed tray.
// Qt picks D-Bus or XEmbed once per process, at its first tray icon: started before any
// StatusNotifierWatcher (the race at login), its icons stay XEmbed for good and a host that
// speaks only StatusNotifierItem shows nothing. This item registers with every watcher that
// appears on the session bus, on a connection of its own, and reports clicks as the icon does.
// Its menu is a D-Bus menu (com.canonical.dbusmenu) of the actions of a QMenu, filled anew
// whenever the host is about to read or show it; a row clicked there triggers its action.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QList>
#include <QMenu>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>

#include "platform/emulated/tray_host.h"
#include "platform/linux/linux_dbus_menu.h"

class QDBusServiceWatcher;

namespace pelmora::qt {

class StatusItem final : public QDBusVirtualObject {
  public:
    // A click the host asks for.
    using Clicked = std::function<void(emulated::TrayClick click)>;
    // Told each time the item becomes registered with a watcher, or stops being so.
    using Served = std::function<void(bool registered)>;

    // An item that shows the icon's image and tip; null without a session bus. refresh fills
    // menu with the current rows; icon and menu outlive the item.
    static std::unique_ptr<StatusItem> create(const QSystemTrayIcon& icon, QMenu& menu,
                                              std::function<void()> refresh, Clicked clicked,
                                              Served served);
    ~StatusItem() override;

    bool registered() const noexcept { return !watcher_.isEmpty(); }
    // The icon's image, its tip, or both have changed: the host is told.
    void changed(bool image, bool tip);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

  private:
    StatusItem(QDBusConnection connection, const QSystemTrayIcon& icon, QMenu& menu,
               std::function<void()> refresh, Clicked clicked, Served served);
    // The watcher now owned by owner (empty when none is left).
    void watcherChanged(const QString& owner);
    // The item's properties, with their values now.
    QVariantMap properties() const;
    // A call on the menu's path, answered; false for one it does not know.
    bool handleMenuCall(const QDBusMessage& message);
    // Fills the menu anew and tells the host when its rows changed: whether they did, none when
    // the item went meanwhile.
    std::optional<bool> refreshMenu();
    // An event the host reports on a row (0 is the menu); false for an unknown row.
    bool menuEvent(int id, const QString& type);
    // The properties of the menu's root (0) or of a row, as the host last got it.
    QVariantMap nodeProperties(int id) const;

    QDBusConnection connection_;
    std::unique_ptr<QDBusServiceWatcher> serviceWatcher_;
    const QSystemTrayIcon& icon_;
    QMenu& menu_;
    std::function<void()> refresh_;
    linux_os::DbusMenu layout_;  // as the host last got it
    Clicked clicked_;
    Served served_;
    QString asked_;    // the watcher's owner asked to register the item
    QString watcher_;  // the watcher's owner that registered it
};

}  // namespace pelmora::qt

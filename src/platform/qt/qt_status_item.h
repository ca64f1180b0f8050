// A StatusNotifierItem of the layer's own, for a tray icon that Qt shows on an XEmbed tray.
// Qt picks D-Bus or XEmbed once per process, at its first tray icon: started before any
// StatusNotifierWatcher (the race at login), its icons stay XEmbed for good and a host that
// speaks only StatusNotifierItem shows nothing. This item registers with every watcher that
// appears on the session bus, on a connection of its own, and reports clicks as the icon does.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

class QDBusServiceWatcher;

namespace pelmora::qt {

class StatusItem final : public QDBusVirtualObject {
  public:
    // A click the host asks for, as the tray icon would report it.
    using Clicked = std::function<void(QSystemTrayIcon::ActivationReason reason)>;
    // Told each time the item becomes registered with a watcher, or stops being so.
    using Served = std::function<void(bool registered)>;

    // Null without a session bus.
    static std::unique_ptr<StatusItem> create(const QIcon& icon, const QString& tip,
                                              Clicked clicked, Served served);
    ~StatusItem() override;
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;

    bool registered() const noexcept { return !watcher_.isEmpty(); }
    void setIcon(const QIcon& icon);
    void setToolTip(const QString& tip);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

  private:
    StatusItem(QDBusConnection connection, const QIcon& icon, const QString& tip, Clicked clicked,
               Served served);
    // The watcher now owned by owner (empty when none is left).
    void watcherChanged(const QString& owner);
    QVariant property(const QString& name) const;
    void emitSignal(const char* name);

    QDBusConnection connection_;
    std::unique_ptr<QDBusServiceWatcher> serviceWatcher_;
    QIcon icon_;
    QString tip_;
    Clicked clicked_;
    Served served_;
    QString asked_;    // the watcher's owner asked to register the item
    QString watcher_;  // the watcher's owner that registered it
};

}  // namespace pelmora::qt

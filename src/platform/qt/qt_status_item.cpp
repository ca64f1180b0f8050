#include "platform/qt/qt_status_item.h"

#include <QAction>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QtEndian>
#include <atomic>
#include <optional>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/qt/qt_style.h"

namespace pelmora::qt {
namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenu = QStringLiteral("com.canonical.dbusmenu");
const QString kMenuPath = QStringLiteral("/MenuBar");

// The structures below go over D-Bus as structures of their fields, in the order fields gives.

// One image of the icon: width, height and ARGB32 pixels in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray pixels;
    static auto fields(auto& self) { return std::tie(self.width, self.height, self.pixels); }
};
using SniPixmaps = QList<SniPixmap>;

// Icon name, images, title and text.
struct SniToolTip {
    QString iconName;
    SniPixmaps images;
    QString title;
    QString text;
    static auto fields(auto& self) {
        return std::tie(self.iconName, self.images, self.title, self.text);
    }
};

// One node of the menu's layout: its id, properties and children (each a node in a variant).
struct MenuNode {
    int id = 0;
    QVariantMap properties;
    QVariantList children;
    static auto fields(auto& self) { return std::tie(self.id, self.properties, self.children); }
};

// The properties of one row.
struct MenuRow {
    int id = 0;
    QVariantMap properties;
    static auto fields(auto& self) { return std::tie(self.id, self.properties); }
};

// What a host tells of a row: its id, the event ("clicked", "hovered" ...), data and time.
struct MenuEvent {
    int id = 0;
    QString type;
    QDBusVariant data;
    uint timestamp = 0;
    static auto fields(auto& self) {
        return std::tie(self.id, self.type, self.data, self.timestamp);
    }
};

}  // namespace
}  // namespace pelmora::qt

Q_DECLARE_METATYPE(pelmora::qt::SniPixmap)
Q_DECLARE_METATYPE(pelmora::qt::SniToolTip)
Q_DECLARE_METATYPE(pelmora::qt::MenuNode)
Q_DECLARE_METATYPE(pelmora::qt::MenuRow)
Q_DECLARE_METATYPE(pelmora::qt::MenuEvent)

namespace pelmora::qt {
namespace {

template <typename T>
concept DbusStructure = requires(T& value) {
    T::fields(value);
};

template <DbusStructure T>
QDBusArgument& operator<<(QDBusArgument& argument, const T& value) {
    argument.beginStructure();
    std::apply([&](const auto&... field) { (argument << ... << field); }, T::fields(value));
    argument.endStructure();
    return argument;
}

template <DbusStructure T>
const QDBusArgument& operator>>(const QDBusArgument& argument, T& value) {
    argument.beginStructure();
    std::apply([&](auto&... field) { (argument >> ... >> field); }, T::fields(value));
    argument.endStructure();
    return argument;
}

SniPixmaps pixmaps(const QIcon& icon) {
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty()) {
        sizes.append(QSize(32, 32));
    }
    SniPixmaps result;
    for (const QSize& size : sizes) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        SniPixmap pixmap{image.width(), image.height(), {}};
        pixmap.pixels.resize(static_cast<qsizetype>(image.width()) * image.height() * 4);
        auto* out = reinterpret_cast<uchar*>(pixmap.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, out += 4) {
                qToBigEndian(row[x], out);
            }
        }
        result.append(std::move(pixmap));
    }
    return result;
}

// The menu's own properties: version 3, left to right, shown as usual.
QVariantMap menuProperties() {
    return {{QStringLiteral("Version"), 3U},
            {QStringLiteral("TextDirection"), QStringLiteral("ltr")},
            {QStringLiteral("Status"), QStringLiteral("normal")},
            {QStringLiteral("IconThemePath"), QStringList()}};
}

// A row of the menu: a separator, or its label, state and mark (only a marked row has one).
QVariantMap rowProperties(const linux_os::DbusMenuRow& row) {
    if (row.separator) {
        return {{QStringLiteral("type"), QStringLiteral("separator")}};
    }
    QVariantMap properties{
        {QStringLiteral("label"), toQString(linux_os::dbusMenuLabel(row.caption))},
        {QStringLiteral("enabled"), row.enabled}};
    if (row.checked) {
        properties.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
        properties.insert(QStringLiteral("toggle-state"), 1);
    }
    return properties;
}

// The ids a host's call names.
std::span<const int> idsOf(const QList<int>& ids) {
    return {ids.constData(), static_cast<std::size_t>(ids.size())};
}

template <typename... Types>
void registerTypes() {
    (qDBusRegisterMetaType<Types>(), ...);
}

}  // namespace

std::unique_ptr<StatusItem> StatusItem::create(const QSystemTrayIcon& icon, QMenu& menu,
                                               std::function<void()> refresh, Clicked clicked,
                                               Served served) {
    static std::atomic<int> made{0};
    const QString name = QStringLiteral("pelmora-status-item-%1").arg(++made);
    QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }
    registerTypes<SniPixmap, SniPixmaps, SniToolTip, MenuNode, MenuRow, QList<MenuRow>, MenuEvent,
                  QList<MenuEvent>>();
    std::unique_ptr<StatusItem> item(new StatusItem(connection, icon, menu, std::move(refresh),
                                                    std::move(clicked), std::move(served)));
    if (!connection.registerVirtualObject(kItemPath, item.get()) ||
        !connection.registerVirtualObject(kMenuPath, item.get())) {
        return nullptr;
    }
    item->serviceWatcher_ = std::make_unique<QDBusServiceWatcher>(
        kWatcher, connection, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(item->serviceWatcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged,
                     item.get(),
                     [raw = item.get()](const QString&, const QString&, const QString& owner) {
                         raw->watcherChanged(owner);
                     });
    // A watcher already there is not announced.
    if (const QDBusReply<QString> owner = connection.interface()->serviceOwner(kWatcher);
        owner.isValid()) {
        item->watcherChanged(owner.value());
    }
    return item;
}

StatusItem::StatusItem(QDBusConnection connection, const QSystemTrayIcon& icon, QMenu& menu,
                       std::function<void()> refresh, Clicked clicked, Served served)
    : connection_(std::move(connection)),
      icon_(icon),
      menu_(menu),
      refresh_(std::move(refresh)),
      clicked_(std::move(clicked)),
      served_(std::move(served)) {}

StatusItem::~StatusItem() {
    // The watchers drop the item when its connection goes.
    serviceWatcher_.reset();
    connection_.unregisterObject(kItemPath);
    connection_.unregisterObject(kMenuPath);
    const QString name = connection_.name();
    connection_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(name);
}

void StatusItem::watcherChanged(const QString& owner) {
    if (owner == asked_) {
        return;
    }
    asked_ = owner;
    if (registered()) {
        watcher_.clear();
        served_(false);
    }
    if (owner.isEmpty()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(owner, QStringLiteral("/StatusNotifierWatcher"), kWatcher,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << connection_.baseService();
    auto* pending = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, this,
                     [this, owner](QDBusPendingCallWatcher* reply) {
                         reply->deleteLater();
                         // Answered by a watcher that is gone meanwhile, it counts no more.
                         if (!reply->isError() && owner == asked_ && !registered()) {
                             watcher_ = owner;
                             served_(true);
                         }
                     });
}

void StatusItem::changed(bool image, bool tip) {
    for (const auto& [changed, signal] :
         {std::pair(image, "NewIcon"), std::pair(tip, "NewToolTip")}) {
        if (changed && registered()) {
            connection_.send(
                QDBusMessage::createSignal(kItemPath, kItem, QString::fromLatin1(signal)));
        }
    }
}

QVariantMap StatusItem::properties() const {
    return {
        {QStringLiteral("Category"), QStringLiteral("ApplicationStatus")},
        {QStringLiteral("Id"), QCoreApplication::applicationName()},
        {QStringLiteral("Title"), QGuiApplication::applicationDisplayName()},
        {QStringLiteral("Status"), QStringLiteral("Active")},
        {QStringLiteral("Menu"), QVariant::fromValue(QDBusObjectPath(kMenuPath))},
        {QStringLiteral("IconPixmap"), QVariant::fromValue(pixmaps(icon_.icon()))},
        {QStringLiteral("ToolTip"), QVariant::fromValue(SniToolTip{{}, {}, icon_.toolTip(), {}})},
        {QStringLiteral("ItemIsMenu"), false}};
}

bool StatusItem::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString member = message.member();
    const QList<QVariant> arguments = message.arguments();
    const bool menu = message.path() == kMenuPath;
    QList<QVariant> reply;
    if (message.interface() == kProperties &&
        (member == QLatin1String("GetAll") || member == QLatin1String("Get"))) {
        const QVariantMap all = menu ? menuProperties() : properties();
        if (member == QLatin1String("GetAll")) {
            reply << all;
        } else if (const QVariant value = all.value(arguments.value(1).toString());
                   value.isValid()) {
            reply << QVariant::fromValue(QDBusVariant(value));
        } else {
            connection.send(message.createErrorReply(QDBusError::UnknownProperty,
                                                     arguments.value(1).toString()));
            return true;
        }
    } else if (menu) {
        return (message.interface() == kMenu || message.interface().isEmpty()) &&
               handleMenuCall(message);
    } else if (message.interface() != kItem && !message.interface().isEmpty()) {
        return false;
    } else if (const auto click = linux_os::statusItemClick(member.toStdString())) {
        // Handled from the event loop, after the host has its answer.
        QMetaObject::invokeMethod(
            this, [this, click = *click] { clicked_(click); }, Qt::QueuedConnection);
    } else if (member != QLatin1String("Scroll")) {
        return false;
    }
    connection.send(message.createReply(reply));
    return true;
}

std::optional<bool> StatusItem::refreshMenu() {
    const QPointer<StatusItem> alive(this);
    refresh_();
    if (alive == nullptr) {
        return std::nullopt;
    }
    std::vector<linux_os::DbusMenuRow> rows;
    for (const QAction* action : menu_.actions()) {
        rows.push_back({action->isSeparator(), action->text().toStdString(), action->isEnabled(),
                        action->isChecked()});
    }
    if (!layout_.update(std::move(rows))) {
        return false;
    }
    connection_.send(QDBusMessage::createSignal(kMenuPath, kMenu, QStringLiteral("LayoutUpdated"))
                     << layout_.revision() << 0);
    return true;
}

bool StatusItem::menuEvent(int id, const QString& type) {
    const QList<QAction*> actions = menu_.actions();
    // A click chooses the row as the menu itself would, from the event loop; the host's other
    // events (opened, closed, hovered) change nothing.
    if (layout_.row(id) != nullptr && id <= actions.size() && type == QLatin1String("clicked")) {
        actions[id - 1]->trigger();
    }
    return layout_.known(id);
}

QVariantMap StatusItem::nodeProperties(int id) const {
    if (const linux_os::DbusMenuRow* row = layout_.row(id)) {
        return rowProperties(*row);
    }
    return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
}

bool StatusItem::handleMenuCall(const QDBusMessage& message) {
    const QString member = message.member();
    const QString signature = message.signature();
    const QList<QVariant> arguments = message.arguments();
    const auto invalid = [&] {
        connection_.send(message.createErrorReply(QDBusError::InvalidArgs, member));
        return true;
    };
    // AboutToShow asks for one id, AboutToShowGroup for several.
    const bool group =
        member == QLatin1String("AboutToShowGroup") && signature == QLatin1String("ai");
    QList<QVariant> reply;
    if (member == QLatin1String("GetLayout") && signature == QLatin1String("iias")) {
        // The root's layout is asked for before the menu shows: its rows are the current ones.
        const int parent = arguments[0].toInt();
        if (parent == 0 && !refreshMenu()) {
            return true;
        }
        if (!layout_.known(parent)) {
            return invalid();
        }
        MenuNode node{parent, nodeProperties(parent), {}};
        const bool children = parent == 0 && arguments[1].toInt() != 0;
        for (const int id : children ? layout_.rowIds({}) : std::vector<int>()) {
            node.children << QVariant::fromValue(MenuNode{id, nodeProperties(id), {}});
        }
        reply << layout_.revision() << QVariant::fromValue(node);
    } else if (member == QLatin1String("GetGroupProperties") &&
               signature == QLatin1String("aias")) {
        QList<MenuRow> rows;
        for (const int id : layout_.rowIds(idsOf(qdbus_cast<QList<int>>(arguments[0])))) {
            rows << MenuRow{id, nodeProperties(id)};
        }
        reply << QVariant::fromValue(rows);
    } else if (member == QLatin1String("GetProperty") && signature == QLatin1String("is")) {
        const int id = arguments[0].toInt();
        const QVariant value =
            layout_.known(id) ? nodeProperties(id).value(arguments[1].toString()) : QVariant();
        if (!value.isValid()) {
            return invalid();
        }
        reply << QVariant::fromValue(QDBusVariant(value));
    } else if (member == QLatin1String("Event") && signature == QLatin1String("isvu")) {
        menuEvent(arguments[0].toInt(), arguments[1].toString());
    } else if (member == QLatin1String("EventGroup") && signature == QLatin1String("a(isvu)")) {
        QList<int> unknown;
        for (const MenuEvent& event : qdbus_cast<QList<MenuEvent>>(arguments[0])) {
            if (!menuEvent(event.id, event.type)) {
                unknown << event.id;
            }
        }
        reply << QVariant::fromValue(unknown);
    } else if (group ||
               (member == QLatin1String("AboutToShow") && signature == QLatin1String("i"))) {
        const QList<int> ids =
            group ? qdbus_cast<QList<int>>(arguments[0]) : QList<int>{arguments[0].toInt()};
        const std::optional<bool> changed =
            ids.contains(0) ? refreshMenu() : std::optional<bool>(false);
        if (!changed) {
            return true;
        }
        if (!group) {
            reply << *changed;
        } else {
            const std::vector<int> unknown = layout_.unknown(idsOf(ids));
            reply << QVariant::fromValue(*changed ? QList<int>{0} : QList<int>{})
                  << QVariant::fromValue(QList<int>(unknown.begin(), unknown.end()));
        }
    } else {
        return false;
    }
    connection_.send(message.createReply(reply));
    return true;
}

QString StatusItem::introspect(const QString& path) const {
    if (path == kMenuPath) {
        return QString::fromLatin1(R"xml(<interface name="com.canonical.dbusmenu">
<property name="Version" type="u" access="read"/><property name="TextDirection" type="s" access="read"/>
<property name="Status" type="s" access="read"/><property name="IconThemePath" type="as" access="read"/>
<method name="GetLayout"><arg type="i" direction="in"/><arg type="i" direction="in"/><arg type="as" direction="in"/><arg type="u" direction="out"/><arg type="(ia{sv}av)" direction="out"/></method>
<method name="GetGroupProperties"><arg type="ai" direction="in"/><arg type="as" direction="in"/><arg type="a(ia{sv})" direction="out"/></method>
<method name="GetProperty"><arg type="i" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
<method name="Event"><arg type="i" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="in"/><arg type="u" direction="in"/></method>
<method name="EventGroup"><arg type="a(isvu)" direction="in"/><arg type="ai" direction="out"/></method>
<method name="AboutToShow"><arg type="i" direction="in"/><arg type="b" direction="out"/></method>
<method name="AboutToShowGroup"><arg type="ai" direction="in"/><arg type="ai" direction="out"/><arg type="ai" direction="out"/></method>
<signal name="LayoutUpdated"><arg type="u"/><arg type="i"/></signal>
</interface>
)xml");
    }
    return QString::fromLatin1(R"xml(<interface name="org.kde.StatusNotifierItem">
<property name="Category" type="s" access="read"/><property name="Id" type="s" access="read"/>
<property name="Title" type="s" access="read"/><property name="Status" type="s" access="read"/>
<property name="IconPixmap" type="a(iiay)" access="read"/>
<property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
<property name="ItemIsMenu" type="b" access="read"/><property name="Menu" type="o" access="read"/>
<method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
<method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
<method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
<method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
<signal name="NewIcon"/><signal name="NewToolTip"/>
</interface>
)xml");
}

}  // namespace pelmora::qt

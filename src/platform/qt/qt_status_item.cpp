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
#include <array>
#include <atomic>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace pelmora::qt {
namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenu = QStringLiteral("com.canonical.dbusmenu");
const QString kMenuPath = QStringLiteral("/MenuBar");

// One image of the icon: width, height and ARGB32 pixels in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using SniPixmaps = QList<SniPixmap>;

// Icon name, images, title and text.
struct SniToolTip {
    QString iconName;
    SniPixmaps images;
    QString title;
    QString text;
};

// One node of the menu's layout: its id, properties and children (each a node in a variant).
struct MenuNode {
    int id = 0;
    QVariantMap properties;
    QVariantList children;
};

// The properties of one row.
struct MenuRow {
    int id = 0;
    QVariantMap properties;
};

}  // namespace
}  // namespace pelmora::qt

Q_DECLARE_METATYPE(pelmora::qt::SniPixmap)
Q_DECLARE_METATYPE(pelmora::qt::SniToolTip)
Q_DECLARE_METATYPE(pelmora::qt::MenuNode)
Q_DECLARE_METATYPE(pelmora::qt::MenuRow)

namespace pelmora::qt {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.pixels;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.pixels;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip) {
    argument.beginStructure();
    argument << tip.iconName << tip.images << tip.title << tip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip) {
    argument.beginStructure();
    argument >> tip.iconName >> tip.images >> tip.title >> tip.text;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const MenuNode& node) {
    argument.beginStructure();
    argument << node.id << node.properties << node.children;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, MenuNode& node) {
    argument.beginStructure();
    argument >> node.id >> node.properties >> node.children;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const MenuRow& row) {
    argument.beginStructure();
    argument << row.id << row.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, MenuRow& row) {
    argument.beginStructure();
    argument >> row.id >> row.properties;
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

// The host's calls that are clicks; Scroll is none.
std::optional<emulated::TrayClick> clickOf(const QString& method) {
    if (method == QLatin1String("Activate")) {
        return emulated::TrayClick::Primary;
    }
    if (method == QLatin1String("ContextMenu")) {
        return emulated::TrayClick::Context;
    }
    if (method == QLatin1String("SecondaryActivate")) {
        return emulated::TrayClick::Middle;
    }
    return std::nullopt;
}

constexpr std::array kPropertyNames{"Category", "Id",      "Title",      "Status",
                                    "Menu",     "ToolTip", "IconPixmap", "ItemIsMenu"};

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
        {QStringLiteral("label"), QString::fromStdString(linux_os::dbusMenuLabel(row.caption))},
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

}  // namespace

std::unique_ptr<StatusItem> StatusItem::create(const QIcon& icon, const QString& tip, QMenu& menu,
                                               std::function<void()> refresh, Clicked clicked,
                                               Served served) {
    static std::atomic<int> made{0};
    const QString name = QStringLiteral("pelmora-status-item-%1").arg(++made);
    QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }
    qDBusRegisterMetaType<SniPixmap>();
    qDBusRegisterMetaType<SniPixmaps>();
    qDBusRegisterMetaType<SniToolTip>();
    qDBusRegisterMetaType<MenuNode>();
    qDBusRegisterMetaType<MenuRow>();
    qDBusRegisterMetaType<QList<MenuRow>>();
    std::unique_ptr<StatusItem> item(new StatusItem(connection, icon, tip, menu, std::move(refresh),
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

StatusItem::StatusItem(QDBusConnection connection, const QIcon& icon, const QString& tip,
                       QMenu& menu, std::function<void()> refresh, Clicked clicked, Served served)
    : connection_(std::move(connection)),
      icon_(icon),
      tip_(tip),
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

void StatusItem::setIcon(const QIcon& icon) {
    icon_ = icon;
    emitSignal("NewIcon");
}

void StatusItem::setToolTip(const QString& tip) {
    tip_ = tip;
    emitSignal("NewToolTip");
}

void StatusItem::emitSignal(const char* name) {
    if (registered()) {
        connection_.send(QDBusMessage::createSignal(kItemPath, kItem, QString::fromLatin1(name)));
    }
}

QVariant StatusItem::property(const QString& name) const {
    if (name == QLatin1String("Category")) {
        return QStringLiteral("ApplicationStatus");
    }
    if (name == QLatin1String("Id")) {
        return QCoreApplication::applicationName();
    }
    if (name == QLatin1String("Title")) {
        return QGuiApplication::applicationDisplayName();
    }
    if (name == QLatin1String("Status")) {
        return QStringLiteral("Active");
    }
    if (name == QLatin1String("Menu")) {
        return QVariant::fromValue(QDBusObjectPath(kMenuPath));
    }
    if (name == QLatin1String("IconPixmap")) {
        return QVariant::fromValue(pixmaps(icon_));
    }
    if (name == QLatin1String("ToolTip")) {
        return QVariant::fromValue(SniToolTip{{}, {}, tip_, {}});
    }
    if (name == QLatin1String("ItemIsMenu")) {
        return false;
    }
    return {};
}

bool StatusItem::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString member = message.member();
    const QList<QVariant> arguments = message.arguments();
    const bool menu = message.path() == kMenuPath;
    QList<QVariant> reply;
    if (message.interface() == kProperties && member == QLatin1String("GetAll")) {
        QVariantMap all = menu ? menuProperties() : QVariantMap();
        for (const char* name : menu ? std::span<const char* const>() : kPropertyNames) {
            all.insert(QString::fromLatin1(name), property(QString::fromLatin1(name)));
        }
        reply << all;
    } else if (message.interface() == kProperties && member == QLatin1String("Get") &&
               arguments.size() == 2) {
        const QString name = arguments[1].toString();
        const QVariant value = menu ? menuProperties().value(name) : property(name);
        if (!value.isValid()) {
            connection.send(
                message.createErrorReply(QDBusError::UnknownProperty, arguments[1].toString()));
            return true;
        }
        reply << QVariant::fromValue(QDBusVariant(value));
    } else if (menu) {
        return (message.interface() == kMenu || message.interface().isEmpty()) &&
               handleMenuCall(message);
    } else if (message.interface() != kItem && !message.interface().isEmpty()) {
        return false;
    } else if (const auto click = clickOf(member)) {
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
    if (id < 0 || id > actions.size()) {
        return false;
    }
    // A click chooses the row as the menu itself would, from the event loop; the host's other
    // events (opened, closed, hovered) change nothing.
    if (id > 0 && type == QLatin1String("clicked")) {
        actions[id - 1]->trigger();
    }
    return true;
}

bool StatusItem::handleMenuCall(const QDBusMessage& message) {
    const QString member = message.member();
    const QString signature = message.signature();
    const QList<QVariant> arguments = message.arguments();
    QList<QVariant> reply;
    if (member == QLatin1String("GetLayout") && signature == QLatin1String("iias")) {
        // The root's layout is asked for before the menu shows: its rows are the current ones.
        const int parent = arguments[0].toInt();
        if (parent == 0 && !refreshMenu()) {
            return true;
        }
        if (!layout_.known(parent)) {
            connection_.send(message.createErrorReply(QDBusError::InvalidArgs, member));
            return true;
        }
        MenuNode node{parent, {}, {}};
        if (const linux_os::DbusMenuRow* row = layout_.row(parent)) {
            node.properties = rowProperties(*row);
        } else {
            node.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
            for (const int id :
                 arguments[1].toInt() != 0 ? layout_.rowIds({}) : std::vector<int>()) {
                node.children << QVariant::fromValue(
                    MenuNode{id, rowProperties(*layout_.row(id)), {}});
            }
        }
        reply << layout_.revision() << QVariant::fromValue(node);
    } else if (member == QLatin1String("GetGroupProperties") &&
               signature == QLatin1String("aias")) {
        QList<MenuRow> rows;
        for (const int id : layout_.rowIds(idsOf(qdbus_cast<QList<int>>(arguments[0])))) {
            rows << MenuRow{id, rowProperties(*layout_.row(id))};
        }
        reply << QVariant::fromValue(rows);
    } else if (member == QLatin1String("GetProperty") && signature == QLatin1String("is")) {
        const linux_os::DbusMenuRow* row = layout_.row(arguments[0].toInt());
        const QVariant value =
            row != nullptr ? rowProperties(*row).value(arguments[1].toString()) : QVariant();
        if (!value.isValid()) {
            connection_.send(message.createErrorReply(QDBusError::InvalidArgs, member));
            return true;
        }
        reply << QVariant::fromValue(QDBusVariant(value));
    } else if (member == QLatin1String("Event") && signature == QLatin1String("isvu")) {
        menuEvent(arguments[0].toInt(), arguments[1].toString());
    } else if (member == QLatin1String("EventGroup") && signature == QLatin1String("a(isvu)")) {
        const auto events = arguments[0].value<QDBusArgument>();
        QList<int> unknown;
        events.beginArray();
        while (!events.atEnd()) {
            int id = 0;
            QString type;
            QDBusVariant data;
            uint timestamp = 0;
            events.beginStructure();
            events >> id >> type >> data >> timestamp;
            events.endStructure();
            if (!menuEvent(id, type)) {
                unknown << id;
            }
        }
        events.endArray();
        reply << QVariant::fromValue(unknown);
    } else if (member == QLatin1String("AboutToShow") && signature == QLatin1String("i")) {
        const std::optional<bool> changed =
            arguments[0].toInt() == 0 ? refreshMenu() : std::optional<bool>(false);
        if (!changed) {
            return true;
        }
        reply << *changed;
    } else if (member == QLatin1String("AboutToShowGroup") && signature == QLatin1String("ai")) {
        const QList<int> ids = qdbus_cast<QList<int>>(arguments[0]);
        const std::optional<bool> changed =
            ids.contains(0) ? refreshMenu() : std::optional<bool>(false);
        if (!changed) {
            return true;
        }
        const std::vector<int> unknown = layout_.unknown(idsOf(ids));
        reply << QVariant::fromValue(*changed ? QList<int>{0} : QList<int>{})
              << QVariant::fromValue(QList<int>(unknown.begin(), unknown.end()));
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

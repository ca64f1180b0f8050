#include "platform/qt/qt_status_item.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QtEndian>
#include <array>
#include <atomic>
#include <optional>
#include <utility>

namespace pelmora::qt {
namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");

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

}  // namespace
}  // namespace pelmora::qt

Q_DECLARE_METATYPE(pelmora::qt::SniPixmap)
Q_DECLARE_METATYPE(pelmora::qt::SniToolTip)

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

// The host's calls that are clicks, as the tray icon reports them; Scroll is none.
std::optional<QSystemTrayIcon::ActivationReason> clickOf(const QString& method) {
    if (method == QLatin1String("Activate")) {
        return QSystemTrayIcon::Trigger;
    }
    if (method == QLatin1String("ContextMenu")) {
        return QSystemTrayIcon::Context;
    }
    if (method == QLatin1String("SecondaryActivate")) {
        return QSystemTrayIcon::MiddleClick;
    }
    return std::nullopt;
}

constexpr std::array kPropertyNames{"Category",   "Id",      "Title",     "Status",
                                    "IconPixmap", "ToolTip", "ItemIsMenu"};

}  // namespace

std::unique_ptr<StatusItem> StatusItem::create(const QIcon& icon, const QString& tip,
                                               Clicked clicked, Served served) {
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
    std::unique_ptr<StatusItem> item(
        new StatusItem(connection, icon, tip, std::move(clicked), std::move(served)));
    if (!connection.registerVirtualObject(kItemPath, item.get())) {
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
                       Clicked clicked, Served served)
    : connection_(std::move(connection)),
      icon_(icon),
      tip_(tip),
      clicked_(std::move(clicked)),
      served_(std::move(served)) {}

StatusItem::~StatusItem() {
    // The watchers drop the item when its connection goes.
    serviceWatcher_.reset();
    connection_.unregisterObject(kItemPath);
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
    QList<QVariant> reply;
    if (message.interface() == kProperties && member == QLatin1String("GetAll")) {
        QVariantMap all;
        for (const char* name : kPropertyNames) {
            all.insert(QString::fromLatin1(name), property(QString::fromLatin1(name)));
        }
        reply << all;
    } else if (message.interface() == kProperties && member == QLatin1String("Get") &&
               arguments.size() == 2) {
        const QVariant value = property(arguments[1].toString());
        if (!value.isValid()) {
            connection.send(
                message.createErrorReply(QDBusError::UnknownProperty, arguments[1].toString()));
            return true;
        }
        reply << QVariant::fromValue(QDBusVariant(value));
    } else if (message.interface() != kItem && !message.interface().isEmpty()) {
        return false;
    } else if (const auto click = clickOf(member)) {
        // Handled from the event loop, after the host has its answer.
        QMetaObject::invokeMethod(
            this, [this, reason = *click] { clicked_(reason); }, Qt::QueuedConnection);
    } else if (member != QLatin1String("Scroll")) {
        return false;
    }
    connection.send(message.createReply(reply));
    return true;
}

QString StatusItem::introspect(const QString&) const {
    return QString::fromLatin1(R"xml(<interface name="org.kde.StatusNotifierItem">
<property name="Category" type="s" access="read"/><property name="Id" type="s" access="read"/>
<property name="Title" type="s" access="read"/><property name="Status" type="s" access="read"/>
<property name="IconPixmap" type="a(iiay)" access="read"/>
<property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
<property name="ItemIsMenu" type="b" access="read"/>
<method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
<method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
<method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
<method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
<signal name="NewIcon"/><signal name="NewToolTip"/>
</interface>
)xml");
}

}  // namespace pelmora::qt

#include "platform/qt/qt_tray.h"

#include <QAction>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QObject>
#include <QPixmap>
#include <QWidget>
#include <algorithm>

#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_status_item.h"
#include "platform/qt/qt_style.h"
#include "platform/qt/qt_window.h"
#include "platform/win_constants.h"

namespace pelmora::qt {

namespace {

// The window Qt docks into an XEmbed tray for each icon.
constexpr QLatin1String kXEmbedIconWindow("QSystemTrayIconSys");

// An icon record without an icon still gets a place in the tray, and a click target.
QIcon blankIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}

// The tip as the host shows it.
QString tipOf(const emulated::TrayIcon& icon) {
    return toQString(emulated::ansiToUtf8(emulated::tipText(icon.tip)));
}

// The clicks Qt reports, as the shell knows them.
std::optional<emulated::TrayClick> trayClick(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return emulated::TrayClick::Primary;
        case QSystemTrayIcon::Context:
            return emulated::TrayClick::Context;
        case QSystemTrayIcon::DoubleClick:
            return emulated::TrayClick::Double;
        case QSystemTrayIcon::MiddleClick:
            return emulated::TrayClick::Middle;
        case QSystemTrayIcon::Unknown:
            break;
    }
    return std::nullopt;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The menu a StatusNotifierItem host shows

bool TrayHostMenu::sameRows(std::span<const core::PopupRow> rows) const {
    if (rows.size() != actions_.size()) {
        return false;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QAction& action = *actions_[i];
        if (rows[i].separator != action.isSeparator() ||
            (!rows[i].separator && action.text() != toQString(rows[i].caption))) {
            return false;
        }
    }
    return true;
}

void TrayHostMenu::fill(std::span<const core::PopupRow> rows, QObject& receiver,
                        std::function<void(std::size_t row)> chosen) {
    receiver_ = &receiver;
    chosen_ = std::move(chosen);
    if (sameRows(rows)) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            showRow(*actions_[i], rows[i]);
        }
        return;
    }
    menu_->clear();
    actions_ = addRows(*menu_, rows);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QObject::connect(actions_[i], &QAction::triggered, menu_.get(), [this, i] { choose(i); });
    }
}

void TrayHostMenu::choose(std::size_t row) {
    // The host reports the choice in the middle of its own call: the command runs from the
    // event loop, for the window that filled the menu, and only while that window lives.
    QMetaObject::invokeMethod(
        menu_.get(),
        [receiver = receiver_, chosen = chosen_, row] {
            if (receiver != nullptr && chosen) {
                chosen(row);
            }
        },
        Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------------
// The icons

// An event filter that hands every event to a function; true stops the event there.
class TrayIcons::EventFilter final : public QObject {
  public:
    explicit EventFilter(std::function<bool(QObject*, QEvent*)> filter)
        : filter_(std::move(filter)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return filter_(watched, event) || QObject::eventFilter(watched, event);
    }

  private:
    std::function<bool(QObject*, QEvent*)> filter_;
};

TrayIcons::TrayIcons(QtPlatform& platform, Report report, Docked docked)
    : platform_(platform),
      report_(std::move(report)),
      docked_(std::move(docked)),
      mouseFilter_(std::make_unique<EventFilter>(
          [this](QObject* watched, QEvent* event) { return filter(watched, event); })),
      windowWatch_(std::make_unique<EventFilter>([this](QObject* watched, QEvent*) {
          adopt(watched);
          return false;
      })) {}

TrayIcons::~TrayIcons() {
    if (watching_) {
        if (QCoreApplication* application = QCoreApplication::instance()) {
            application->removeEventFilter(windowWatch_.get());
        }
    }
}

std::optional<QIcon> TrayIcons::image(const emulated::TrayIcon& icon) const {
    if ((icon.flags & platform::NIF_ICON) == 0) {
        return blankIcon();
    }
    const QIcon* known = platform_.findIcon(platform::widenHandle(icon.hIcon));
    return known != nullptr ? std::optional<QIcon>(*known) : std::nullopt;
}

bool TrayIcons::current(const Key& key, const QSystemTrayIcon* icon) const {
    const auto it = icons_.find(key);
    return it != icons_.end() && it->second.icon.get() == icon;
}

bool TrayIcons::showIcon(const Key& key, const emulated::TrayIcon& icon) {
    const std::optional<QIcon> shown = image(icon);
    if (!shown || platform_.findWindow(key.hWnd) == nullptr || icons_.count(key) != 0) {
        return false;
    }
    Entry entry;
    entry.icon = std::make_unique<QSystemTrayIcon>(*shown);
    // Among the application's objects, where a look at the tray finds them.
    entry.icon->setParent(QCoreApplication::instance());
    entry.icon->setToolTip(tipOf(icon));
    QSystemTrayIcon* raw = entry.icon.get();
    // Clicks the tray host reports are handled from the event loop, not inside its call.
    QObject::connect(
        raw, &QSystemTrayIcon::activated, raw,
        [click = clicks(key, raw)](QSystemTrayIcon::ActivationReason reason) {
            if (const auto clicked = trayClick(reason)) {
                click(*clicked);
            }
        },
        Qt::QueuedConnection);
    offerMenu(key, entry);
    icons_.emplace(key, std::move(entry));
    // Qt makes and shows the icon's window inside show(): it is watched for beforehand.
    watchWindows();
    // Kept visible even without a tray host: the icon docks when a host starts later.
    raw->show();
    return true;
}

std::function<void()> TrayIcons::menuRequest(const Key& key, const QSystemTrayIcon* icon) {
    return [this, key, icon] {
        // One request at a time: the procedure might ask again while it fills the menu.
        if (!current(key, icon) || platform_.hostMenuRequest() != nullptr) {
            return;
        }
        // The menu outlives the icon's entry, should the procedure remove the icon meanwhile.
        platform_.setHostMenuRequest(icons_.at(key).hostMenu.get());
        struct Served {
            QtPlatform& platform;
            ~Served() { platform.setHostMenuRequest(nullptr); }
        } served{platform_};
        report_(key, platform::WM_RBUTTONUP);
    };
}

void TrayIcons::offerMenu(const Key& key, Entry& entry) {
    // Qt gives a context menu its D-Bus counterpart only for a StatusNotifierItem host. On an
    // XEmbed tray it would pop the menu up itself at a right press, so there the icon keeps
    // no menu: its rows are for the icon's own item.
    entry.hostMenu = std::make_unique<TrayHostMenu>();
    QMenu& menu = entry.hostMenu->menu();
    QSystemTrayIcon* raw = entry.icon.get();
    const auto request = menuRequest(key, raw);
    if (menu.platformMenu() == nullptr) {
        raw->setContextMenu(&menu);
        if (menu.platformMenu() != nullptr) {
            QObject::connect(&menu, &QMenu::aboutToShow, raw, request);
            // Filled once from the event loop, so that the host has the rows when it first
            // shows the menu; every later showing fills it anew.
            QMetaObject::invokeMethod(&menu, request, Qt::QueuedConnection);
            return;
        }
        raw->setContextMenu(nullptr);
    }
    entry.item = StatusItem::create(
        *raw, menu, request, clicks(key, raw),
        // One icon per host: while a watcher has the item, the XEmbed icon is away.
        [this, key, raw](bool registered) {
            if (!current(key, raw)) {
                return;
            }
            watchWindows();
            raw->setVisible(!registered);
        });
}

bool TrayIcons::updateIcon(const Key& key, const emulated::TrayIcon& icon, std::uint32_t changed) {
    const auto it = icons_.find(key);
    const std::optional<QIcon> shown = image(icon);
    if (it == icons_.end() || ((changed & platform::NIF_ICON) != 0 && !shown)) {
        return false;
    }
    Entry& entry = it->second;
    const bool image = (changed & platform::NIF_ICON) != 0;
    const bool tip = (changed & platform::NIF_TIP) != 0;
    if (image) {
        entry.icon->setIcon(*shown);
    }
    if (tip) {
        entry.icon->setToolTip(tipOf(icon));
    }
    if (entry.item) {
        entry.item->changed(image, tip);
    }
    return true;
}

bool TrayIcons::removeIcon(const Key& key) {
    const auto it = icons_.find(key);
    if (it == icons_.end()) {
        return false;
    }
    it->second.icon->hide();
    it->second.item.reset();
    removed_.push_back(std::move(it->second));
    icons_.erase(it);
    watchWindows();
    return true;
}

std::function<void(emulated::TrayClick)> TrayIcons::clicks(const Key& key,
                                                           const QSystemTrayIcon* icon) {
    return [this, key, icon](emulated::TrayClick click) {
        if (current(key, icon)) {
            for (const std::uint32_t mouse : emulated::clickMessages(click)) {
                report_(key, mouse);
            }
        }
    };
}

void TrayIcons::adopt(QObject* watched) {
    if (watched == nullptr || !watched->isWidgetType() ||
        watched->objectName() != kXEmbedIconWindow) {
        return;
    }
    auto* window = static_cast<QWidget*>(watched);
    if (std::find(iconWindows_.begin(), iconWindows_.end(), window) != iconWindows_.end()) {
        return;
    }
    // Installed while the event that brought it here is on its way: that event reaches it too.
    window->installEventFilter(mouseFilter_.get());
    iconWindows_.emplace_back(window);
    QObject::connect(
        window, &QObject::destroyed, mouseFilter_.get(), [this] { watchWindows(); },
        Qt::QueuedConnection);
    watchWindows();
}

void TrayIcons::watchWindows() {
    std::erase_if(iconWindows_, [](const QPointer<QWidget>& window) { return window.isNull(); });
    const auto docked =
        std::count_if(iconWindows_.begin(), iconWindows_.end(),
                      [](const QPointer<QWidget>& window) { return window->isVisible(); });
    // An icon that a StatusNotifierItem host shows has no window of its own.
    const auto onXEmbed = std::count_if(icons_.begin(), icons_.end(), [](const auto& icon) {
        return icon.second.icon->contextMenu() == nullptr &&
               !(icon.second.item && icon.second.item->registered());
    });
    const bool watch = docked < onXEmbed;
    QCoreApplication* application = QCoreApplication::instance();
    if (watch == watching_ || application == nullptr) {
        return;
    }
    if (watch) {
        application->installEventFilter(windowWatch_.get());
    } else {
        application->removeEventFilter(windowWatch_.get());
    }
    watching_ = watch;
}

bool TrayIcons::filter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Hide) {
        // Hidden when its tray host goes: Qt shows it again, or makes another, for the next.
        watchWindows();
        return false;
    }
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick && type != QEvent::Show) {
        return false;
    }
    auto& window = static_cast<QWidget&>(*watched);
    if (type == QEvent::Show) {
        // Qt docks the window as it shows it: into the first tray, and anew into every tray
        // host that starts later, with the icon's tip as it is then.
        docked_(window.toolTip().toStdString());
        watchWindows();
        return false;
    }
    // Qt acts on the press itself, and pops up a context menu there: the mouse of an icon's
    // window is ours alone, and a click acts on its release, as on Windows.
    const auto& mouse = static_cast<const QMouseEvent&>(*event);
    const std::optional<platform::MouseButton> button = mouseButton(mouse.button());
    const emulated::ButtonEvent action =
        type == QEvent::MouseButtonPress     ? emulated::ButtonEvent::Press
        : type == QEvent::MouseButtonRelease ? emulated::ButtonEvent::Release
                                             : emulated::ButtonEvent::DoubleClick;
    const std::optional<std::uint32_t> message =
        button ? emulated::mouseMessage(action, *button,
                                        window.rect().contains(mouse.position().toPoint()))
               : std::nullopt;
    if (!message) {
        return true;
    }
    // Qt tells an icon's place from the window it docked for it.
    const QRect place(window.mapToGlobal(QPoint(0, 0)), window.size());
    const auto it = std::find_if(icons_.begin(), icons_.end(), [&](const auto& icon) {
        return icon.second.icon->geometry() == place;
    });
    if (it != icons_.end()) {
        // Handled from the event loop, not inside the window system's mouse delivery.
        QMetaObject::invokeMethod(
            mouseFilter_.get(), [this, key = it->first, mouse = *message] { report_(key, mouse); },
            Qt::QueuedConnection);
    }
    return true;
}

}  // namespace pelmora::qt

#include "platform/qt/qt_tray.h"

#include <QAction>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QObject>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstring>

#include "platform/errors.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_style.h"
#include "platform/qt/qt_window.h"
#include "platform/win_constants.h"

namespace pelmora::qt {

namespace {

// Windows-1252 where it differs from Latin-1; the five unassigned bytes keep their code.
constexpr std::array<char16_t, 32> kAnsiHigh{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr std::uint32_t kMiddleButtonDown = 0x207;
constexpr std::uint32_t kMiddleButtonUp = 0x208;
constexpr std::uint32_t kMiddleButtonDoubleClick = 0x209;

// The window Qt docks into an XEmbed tray for each icon.
constexpr QLatin1String kXEmbedIconWindow("QSystemTrayIconSys");

// An icon record without an icon still gets a place in the tray, and a click target.
QIcon blankIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}

}  // namespace

QString fromAnsi(std::string_view text) {
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        result += (byte >= 0x80 && byte < 0xA0) ? QChar(kAnsiHigh[byte - 0x80]) : QChar(byte);
    }
    return result;
}

QString decodeTip(const char (&tip)[64]) {
    const void* nul = std::memchr(tip, '\0', sizeof tip);
    const std::size_t length = nul != nullptr
                                   ? static_cast<std::size_t>(static_cast<const char*>(nul) - tip)
                                   : sizeof tip - 1;
    return fromAnsi(std::string_view(tip, length));
}

std::vector<std::uint32_t> clickMessages(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return {platform::WM_LBUTTONDOWN, platform::WM_LBUTTONUP};
        case QSystemTrayIcon::Context:
            return {platform::WM_RBUTTONDOWN, platform::WM_RBUTTONUP};
        case QSystemTrayIcon::DoubleClick:
            return {platform::WM_LBUTTONDBLCLK};
        case QSystemTrayIcon::MiddleClick:
            return {kMiddleButtonDown, kMiddleButtonUp};
        case QSystemTrayIcon::Unknown:
            break;
    }
    return {};
}

std::optional<std::uint32_t> mouseMessage(QEvent::Type type, Qt::MouseButton button,
                                          bool overIcon) {
    struct Messages {
        std::uint32_t down, up, doubleClick;
    };
    Messages messages{};
    switch (button) {
        case Qt::LeftButton:
            messages = {platform::WM_LBUTTONDOWN, platform::WM_LBUTTONUP,
                        platform::WM_LBUTTONDBLCLK};
            break;
        case Qt::RightButton:
            messages = {platform::WM_RBUTTONDOWN, platform::WM_RBUTTONUP,
                        platform::WM_RBUTTONDBLCLK};
            break;
        case Qt::MiddleButton:
            messages = {kMiddleButtonDown, kMiddleButtonUp, kMiddleButtonDoubleClick};
            break;
        default:
            return std::nullopt;
    }
    switch (type) {
        case QEvent::MouseButtonPress:
            return messages.down;
        case QEvent::MouseButtonDblClick:
            return messages.doubleClick;
        case QEvent::MouseButtonRelease:
            // Released away from the icon, the press was no click.
            return overIcon ? std::optional<std::uint32_t>(messages.up) : std::nullopt;
        default:
            return std::nullopt;
    }
}

// ---------------------------------------------------------------------------------------------
// The menu a StatusNotifierItem host shows

TrayHostMenu::TrayHostMenu() : menu_(std::make_unique<QMenu>()) {}

TrayHostMenu::~TrayHostMenu() = default;

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
    if (!sameRows(rows)) {
        menu_->clear();
        actions_.clear();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].separator) {
                actions_.push_back(menu_->addSeparator());
                continue;
            }
            QAction* action = menu_->addAction(toQString(rows[i].caption));
            QObject::connect(action, &QAction::triggered, menu_.get(), [this, i] { choose(i); });
            actions_.push_back(action);
        }
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].separator) {
            continue;
        }
        QAction& action = *actions_[i];
        action.setEnabled(rows[i].enabled);
        // Only a marked item is checkable, so unmarked ones show no empty box.
        action.setCheckable(rows[i].checked);
        action.setChecked(rows[i].checked);
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

// Installed on each icon's XEmbed window: its mouse and its showings stop here.
class TrayIcons::MouseFilter final : public QObject {
  public:
    explicit MouseFilter(TrayIcons& icons) : icons_(icons) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return icons_.filter(watched, event) || QObject::eventFilter(watched, event);
    }

  private:
    TrayIcons& icons_;
};

// Sees every event of the application, but only while Qt may make an icon's XEmbed window
// that is not known yet: the refresh timer's events then go by without it.
class TrayIcons::WindowWatch final : public QObject {
  public:
    explicit WindowWatch(TrayIcons& icons) : icons_(icons) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        icons_.adopt(watched);
        return QObject::eventFilter(watched, event);
    }

  private:
    TrayIcons& icons_;
};

TrayIcons::TrayIcons(QtPlatform& platform, platform::FormsRuntime& runtime,
                     const std::string& logPath)
    : platform_(platform), runtime_(runtime) {
    if (!logPath.empty()) {
        log_.reset(std::fopen(logPath.c_str(), "a"));
        if (!log_) {
            runtime_.reportError(
                "Shell_NotifyIconA",
                platform::Error(platform::ErrorCode::FileAccess, "cannot write " + logPath));
        }
    }
    mouseFilter_ = std::make_unique<MouseFilter>(*this);
    windowWatch_ = std::make_unique<WindowWatch>(*this);
}

TrayIcons::~TrayIcons() {
    if (watching_) {
        if (QCoreApplication* application = QCoreApplication::instance()) {
            application->removeEventFilter(windowWatch_.get());
        }
    }
}

std::int32_t TrayIcons::notify(std::uint32_t message, const platform::NOTIFYICONDATAA& data) {
    const Key key{platform::widenHandle(data.hWnd), data.uID};
    if (platform_.findWindow(key.first) == nullptr) {
        return 0;
    }
    const auto it = icons_.find(key);
    switch (message) {
        case platform::NIM_ADD:
            return it == icons_.end() ? add(key, data) : 0;
        case platform::NIM_MODIFY:
            return it != icons_.end() ? modify(it->second, data) : 0;
        case platform::NIM_DELETE:
            if (it == icons_.end()) {
                return 0;
            }
            remove(it);
            log("delete");
            return 1;
        default:
            return 0;
    }
}

std::int32_t TrayIcons::add(const Key& key, const platform::NOTIFYICONDATAA& data) {
    QIcon icon = blankIcon();
    if ((data.uFlags & platform::NIF_ICON) != 0) {
        const QIcon* known = platform_.findIcon(platform::widenHandle(data.hIcon));
        if (known == nullptr) {
            return 0;
        }
        icon = *known;
    }
    Entry entry;
    entry.icon = std::make_unique<QSystemTrayIcon>(icon);
    entry.reportsClicks = (data.uFlags & platform::NIF_MESSAGE) != 0;
    entry.callbackMessage = data.uCallbackMessage;
    if ((data.uFlags & platform::NIF_TIP) != 0) {
        std::memcpy(entry.tipBytes.data(), data.szTip, sizeof data.szTip);
        entry.tip = decodeTip(data.szTip);
        entry.icon->setToolTip(entry.tip);
    }
    QSystemTrayIcon* raw = entry.icon.get();
    // Clicks the tray host reports are handled from the event loop, not inside its call.
    QObject::connect(
        raw, &QSystemTrayIcon::activated, raw,
        [this, key, raw](QSystemTrayIcon::ActivationReason reason) {
            if (find(key.first, key.second) == raw) {
                clicked(key.first, key.second, reason);
            }
        },
        Qt::QueuedConnection);
    // A StatusNotifierItem host shows the menu itself, from the D-Bus menu Qt exports for an
    // icon with a context menu: Qt then gives the menu its D-Bus counterpart. For an XEmbed
    // tray it gives none, and would pop the menu up itself at a right press, so there the
    // icon keeps no menu.
    auto hostMenu = std::make_unique<TrayHostMenu>();
    if (hostMenu->menu().platformMenu() == nullptr) {
        raw->setContextMenu(&hostMenu->menu());
        if (hostMenu->menu().platformMenu() != nullptr) {
            QObject::connect(&hostMenu->menu(), &QMenu::aboutToShow, raw, [this, key, raw] {
                if (find(key.first, key.second) == raw) {
                    hostMenuRequested(key.first, key.second);
                }
            });
            // Filled once from the event loop, so that the host has the rows when it first
            // shows the menu; every later showing fills it anew.
            QMetaObject::invokeMethod(
                &hostMenu->menu(),
                [this, key, raw] {
                    if (find(key.first, key.second) == raw) {
                        hostMenuRequested(key.first, key.second);
                    }
                },
                Qt::QueuedConnection);
            entry.hostMenu = std::move(hostMenu);
        } else {
            raw->setContextMenu(nullptr);
        }
    }
    const bool hasTip = (data.uFlags & platform::NIF_TIP) != 0;
    const QString tip = entry.tip;
    icons_.emplace(key, std::move(entry));
    log("add");
    if (hasTip) {
        log("tip", &tip);
    }
    // Qt makes and shows the icon's window inside show(): it is watched for beforehand.
    watchWindows();
    // Kept visible even without a tray host: the icon docks when a host starts later.
    raw->show();
    return 1;
}

std::int32_t TrayIcons::modify(Entry& entry, const platform::NOTIFYICONDATAA& data) {
    const QIcon* icon = nullptr;
    if ((data.uFlags & platform::NIF_ICON) != 0) {
        icon = platform_.findIcon(platform::widenHandle(data.hIcon));
        if (icon == nullptr) {
            return 0;
        }
    }
    if (icon != nullptr) {
        entry.icon->setIcon(*icon);
    }
    if ((data.uFlags & platform::NIF_MESSAGE) != 0) {
        entry.reportsClicks = true;
        entry.callbackMessage = data.uCallbackMessage;
    }
    if ((data.uFlags & platform::NIF_TIP) != 0 &&
        std::memcmp(entry.tipBytes.data(), data.szTip, sizeof data.szTip) != 0) {
        std::memcpy(entry.tipBytes.data(), data.szTip, sizeof data.szTip);
        QString tip = decodeTip(data.szTip);
        // The same tip again is not sent to the tray host: most refreshes change nothing.
        if (tip != entry.tip) {
            entry.tip = std::move(tip);
            entry.icon->setToolTip(entry.tip);
            log("tip", &entry.tip);
        }
    }
    return 1;
}

void TrayIcons::remove(std::map<Key, Entry>::iterator it) {
    it->second.icon->hide();
    removed_.push_back(std::move(it->second));
    icons_.erase(it);
    watchWindows();
}

void TrayIcons::removeWindow(platform::Hwnd hWnd) {
    for (auto it = icons_.begin(); it != icons_.end();) {
        if (it->first.first == hWnd) {
            remove(it++);
            log("delete");
        } else {
            ++it;
        }
    }
}

void TrayIcons::removeAll() {
    while (!icons_.empty()) {
        remove(icons_.begin());
        log("delete");
    }
}

QSystemTrayIcon* TrayIcons::find(platform::Hwnd hWnd, std::uint32_t id) const {
    const auto it = icons_.find(Key{hWnd, id});
    return it != icons_.end() ? it->second.icon.get() : nullptr;
}

TrayHostMenu* TrayIcons::hostMenu(platform::Hwnd hWnd, std::uint32_t id) const {
    const auto it = icons_.find(Key{hWnd, id});
    return it != icons_.end() ? it->second.hostMenu.get() : nullptr;
}

void TrayIcons::clicked(platform::Hwnd hWnd, std::uint32_t id,
                        QSystemTrayIcon::ActivationReason reason) {
    for (const std::uint32_t mouse : clickMessages(reason)) {
        deliver(Key{hWnd, id}, mouse);
    }
}

void TrayIcons::hostMenuRequested(platform::Hwnd hWnd, std::uint32_t id) {
    const auto it = icons_.find(Key{hWnd, id});
    // One request at a time: the procedure might ask again while it fills the menu.
    if (it == icons_.end() || !it->second.hostMenu || platform_.hostMenuRequest() != nullptr) {
        return;
    }
    // The menu outlives the icon's entry, should the procedure remove the icon meanwhile.
    TrayHostMenu& menu = *it->second.hostMenu;
    platform_.setHostMenuRequest(&menu);
    struct Served {
        QtPlatform& platform;
        ~Served() { platform.setHostMenuRequest(nullptr); }
    } served{platform_};
    deliver(Key{hWnd, id}, platform::WM_RBUTTONUP);
}

void TrayIcons::deliver(const Key& key, std::uint32_t mouse) {
    // Each message may change everything: look the icon and its window up again.
    const auto it = icons_.find(key);
    QtWindow* window = platform_.findWindow(key.first);
    if (it == icons_.end() || window == nullptr || !it->second.reportsClicks) {
        return;
    }
    const std::uint32_t callback = it->second.callbackMessage;
    runtime_.guard(std::string(window->name()) + ".WindowProc", [&] {
        window->procedures().send(key.first, callback, key.second,
                                  static_cast<platform::LParam>(mouse));
    });
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
        return icon.second.hostMenu == nullptr;
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
        const QString tip = window.toolTip();
        log("dock", tip.isEmpty() ? nullptr : &tip);
        watchWindows();
        return false;
    }
    // Qt acts on the press itself, and pops up a context menu there: the mouse of an icon's
    // window is ours alone, and a click acts on its release, as on Windows.
    const auto& mouse = static_cast<const QMouseEvent&>(*event);
    const std::optional<std::uint32_t> message =
        mouseMessage(type, mouse.button(), window.rect().contains(mouse.position().toPoint()));
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
            mouseFilter_.get(), [this, key = it->first, mouse = *message] { deliver(key, mouse); },
            Qt::QueuedConnection);
    }
    return true;
}

void TrayIcons::log(std::string_view request, const QString* text) {
    if (!log_) {
        return;
    }
    std::fwrite(request.data(), 1, request.size(), log_.get());
    if (text != nullptr) {
        const QByteArray utf8 = text->toUtf8();
        std::fputc(' ', log_.get());
        std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), log_.get());
    }
    std::fputc('\n', log_.get());
    std::fflush(log_.get());
}

}  // namespace pelmora::qt

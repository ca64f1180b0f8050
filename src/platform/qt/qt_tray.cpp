#include "platform/qt/qt_tray.h"

#include <QPixmap>
#include <array>
#include <cstring>

#include "platform/qt/qt_runtime.h"
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

TrayIcons::TrayIcons(QtRuntime& runtime, const std::string& logPath) : runtime_(runtime) {
    if (!logPath.empty()) {
        log_.reset(std::fopen(logPath.c_str(), "a"));
        if (!log_) {
            runtime_.reportError(
                "Shell_NotifyIconA",
                platform::Error(kFileAccessError,
                                "Path/File access error: cannot write " + logPath));
        }
    }
}

TrayIcons::~TrayIcons() = default;

std::int32_t TrayIcons::notify(std::uint32_t message, const platform::NOTIFYICONDATAA& data) {
    const Key key{platform::widenHandle(data.hWnd), data.uID};
    if (runtime_.findWindow(key.first) == nullptr) {
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
        const QIcon* known = runtime_.findIcon(platform::widenHandle(data.hIcon));
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
    // Clicks are handled from the event loop, not inside the tray host's own mouse handling.
    QObject::connect(
        raw, &QSystemTrayIcon::activated, raw,
        [this, key, raw](QSystemTrayIcon::ActivationReason reason) {
            if (find(key.first, key.second) == raw) {
                clicked(key.first, key.second, reason);
            }
        },
        Qt::QueuedConnection);
    // Kept visible even without a tray host: the icon docks when a host starts later.
    raw->show();
    const bool hasTip = (data.uFlags & platform::NIF_TIP) != 0;
    const QString tip = entry.tip;
    icons_.emplace(key, std::move(entry));
    log("add");
    if (hasTip) {
        log("tip", &tip);
    }
    return 1;
}

std::int32_t TrayIcons::modify(Entry& entry, const platform::NOTIFYICONDATAA& data) {
    const QIcon* icon = nullptr;
    if ((data.uFlags & platform::NIF_ICON) != 0) {
        icon = runtime_.findIcon(platform::widenHandle(data.hIcon));
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
    removed_.push_back(std::move(it->second.icon));
    icons_.erase(it);
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

void TrayIcons::clicked(platform::Hwnd hWnd, std::uint32_t id,
                        QSystemTrayIcon::ActivationReason reason) {
    for (const std::uint32_t mouse : clickMessages(reason)) {
        // Each message may change everything: look the icon and its window up again.
        const auto it = icons_.find(Key{hWnd, id});
        QtForm* form = runtime_.findWindow(hWnd);
        if (it == icons_.end() || form == nullptr || !it->second.reportsClicks) {
            return;
        }
        const std::uint32_t callback = it->second.callbackMessage;
        runtime_.dispatch(std::string(form->name()) + " WindowProc", [&] {
            form->procedures().send(hWnd, callback, id, static_cast<platform::LParam>(mouse));
        });
    }
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

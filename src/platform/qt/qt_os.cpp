#include "platform/qt/qt_os.h"

#include <QWidget>
#include <optional>

#include "platform/emulated/memory_status.h"
#include "platform/qt/qt_window.h"
#include "platform/win_constants.h"

namespace pelmora::qt {

namespace {

constexpr std::uint32_t kNoZOrder = 4;
constexpr std::intptr_t kTop = 0;
constexpr std::intptr_t kBottom = 1;

}  // namespace

QtOsCalls::QtOsCalls(QtPlatform& platform, platform::FormsRuntime& runtime,
                     const OsOptions& options)
    : platform_(platform),
      runtime_(runtime),
      memInfo_(options.memInfoPath, options.memInfoMaxAge),
      trayIcons_(platform, runtime, options.trayLogPath,
                 [this](const emulated::TrayIconKey& key, std::uint32_t mouse) {
                     trayMouse(key, mouse);
                 }) {
    platform_.setWindowObserver(this);
}

QtOsCalls::~QtOsCalls() {
    platform_.setWindowObserver(nullptr);
}

void QtOsCalls::windowDestroyed(platform::Hwnd hWnd) noexcept {
    try {
        tray_.removeWindow(hWnd);
    } catch (...) {
        // The icons left behind go with the program.
    }
}

void QtOsCalls::programEnded() noexcept {
    try {
        tray_.removeAll();
    } catch (...) {
        // The icons go when the OS calls do.
    }
}

std::int32_t QtOsCalls::GlobalMemoryStatusEx(platform::MEMORYSTATUSEX& status) {
    if (!emulated::acceptsMemoryRecord(status)) {
        memoryUnavailable("the record's dwLength is " + std::to_string(status.dwLength) + ", not " +
                          std::to_string(sizeof(platform::MEMORYSTATUSEX)));
        return 0;
    }
    linux_os::MemInfoFigures figures;
    std::string reason;
    if (!memInfo_.read(figures, reason)) {
        memoryUnavailable(reason);
        return 0;
    }
    memoryProblem_.clear();
    return emulated::fillMemoryStatus(
        status, {std::nullopt, figures.totalKb * 1024, figures.availableKb * 1024,
                 figures.swapTotalKb * 1024, figures.swapFreeKb * 1024});
}

void QtOsCalls::memoryUnavailable(const std::string& reason) {
    // Said once per cause: the query fails again at every refresh until the cause goes.
    if (reason != memoryProblem_) {
        memoryProblem_ = reason;
        runtime_.reportError("GlobalMemoryStatusEx",
                             platform::Error(platform::ErrorCode::MemoryStatusUnavailable, reason));
    }
}

std::int32_t QtOsCalls::Shell_NotifyIconA(std::uint32_t dwMessage,
                                          platform::NOTIFYICONDATAA& data) {
    return tray_.notify(dwMessage, data);
}

void QtOsCalls::trayMouse(const emulated::TrayIconKey& key, std::uint32_t mouse) {
    const std::optional<emulated::WindowMessage> message = tray_.callback(key, mouse);
    QtWindow* window = platform_.findWindow(key.hWnd);
    if (!message || window == nullptr) {
        return;
    }
    runtime_.guard(std::string(window->name()) + ".WindowProc", [&] {
        procedures_.send(message->hWnd, message->msg, message->wParam, message->lParam);
    });
}

emulated::ProcedureWindows::Slot QtOsCalls::procedureSlot(platform::Hwnd hWnd) {
    QtWindow* window = platform_.findWindow(hWnd);
    return {window != nullptr ? &window->procedure() : nullptr, emulated::sharedOwnProcedure()};
}

platform::LResult QtOsCalls::ownProcedure(platform::Hwnd hWnd, std::uint32_t msg,
                                          platform::WParam wParam, platform::LParam lParam) {
    return platform_.findWindow(hWnd)->defaultProcedure(msg, wParam, lParam);
}

std::intptr_t QtOsCalls::SetWindowLongA(platform::Hwnd hWnd, std::int32_t nIndex,
                                        std::intptr_t dwNewLong) {
    return procedures_.install(hWnd, nIndex, dwNewLong);
}

platform::LResult QtOsCalls::CallWindowProcA(std::intptr_t lpPrevWndFunc, platform::Hwnd hWnd,
                                             std::uint32_t msg, platform::WParam wParam,
                                             platform::LParam lParam) {
    return procedures_.call(lpPrevWndFunc, hWnd, msg, wParam, lParam);
}

std::int32_t QtOsCalls::SetWindowPos(platform::Hwnd hWnd, std::intptr_t hWndInsertAfter,
                                     std::int32_t x, std::int32_t y, std::int32_t cx,
                                     std::int32_t cy, std::uint32_t uFlags) {
    QtWindow* window = platform_.findWindow(hWnd);
    if (window == nullptr) {
        return 0;
    }
    QWidget& widget = window->widget();
    if (hWndInsertAfter == platform::HWND_TOPMOST) {
        window->setTopmost(true);
    } else if (hWndInsertAfter == platform::HWND_NOTOPMOST) {
        window->setTopmost(false);
    } else if ((uFlags & kNoZOrder) == 0) {
        if (hWndInsertAfter == kTop) {
            widget.raise();
        } else if (hWndInsertAfter == kBottom) {
            widget.lower();
        }
    }
    if ((uFlags & platform::SWP_NOMOVE) == 0) {
        widget.move(x, y);
    }
    if ((uFlags & platform::SWP_NOSIZE) == 0 && cx > 0 && cy > 0) {
        widget.setFixedSize(cx, cy);
    }
    return 1;
}

std::int32_t QtOsCalls::ReleaseCapture() {
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        grabber->releaseMouse();
    }
    return 1;
}

platform::LResult QtOsCalls::SendMessageA(platform::Hwnd hWnd, std::uint32_t msg,
                                          platform::WParam wParam, platform::LParam lParam) {
    return procedures_.send(hWnd, msg, wParam, lParam);
}

}  // namespace pelmora::qt

#include "platform/qt/qt_os.h"

#include <QWidget>

#include "platform/qt/qt_window.h"

namespace pelmora::qt {

QtOsCalls::QtOsCalls(QtPlatform& platform, platform::FormsRuntime& runtime,
                     const OsOptions& options)
    : QtTrayHost{TrayIcons(
          platform,
          [this](const emulated::TrayIconKey& key, std::uint32_t mouse) { trayMouse(key, mouse); },
          [this](std::string_view tip) { trayDocked(tip); })},
      EmulatedOs(trayIcons, options.trayLogPath),
      platform_(platform),
      runtime_(runtime),
      memInfo_(options.memInfoPath, options.memInfoMaxAge) {
    platform_.setWindowObserver(this);
}

QtOsCalls::~QtOsCalls() {
    platform_.setWindowObserver(nullptr);
}

bool QtOsCalls::readMemory(emulated::MemoryFigures& figures, std::string& reason) {
    linux_os::MemInfoFigures read;
    if (!memInfo_.read(read, reason)) {
        return false;
    }
    figures = {std::nullopt, read.totalKb * 1024, read.availableKb * 1024, read.swapTotalKb * 1024,
               read.swapFreeKb * 1024};
    return true;
}

void QtOsCalls::trayMouse(const emulated::TrayIconKey& key, std::uint32_t mouse) {
    const std::optional<emulated::WindowMessage> message = trayMessage(key, mouse);
    QtWindow* window = platform_.findWindow(key.hWnd);
    if (!message || window == nullptr) {
        return;
    }
    runtime_.guard(std::string(window->name()) + ".WindowProc", [&] {
        SendMessageA(message->hWnd, message->msg, message->wParam, message->lParam);
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

bool QtOsCalls::placeWindow(platform::Hwnd hWnd, const emulated::Placement& placement) {
    QtWindow* window = platform_.findWindow(hWnd);
    if (window == nullptr) {
        return false;
    }
    QWidget& widget = window->widget();
    using Stacking = emulated::Placement::Stacking;
    switch (placement.stacking) {
        case Stacking::Topmost:
        case Stacking::NotTopmost:
            window->setTopmost(placement.stacking == Stacking::Topmost);
            break;
        case Stacking::Top:
            widget.raise();
            break;
        case Stacking::Bottom:
            widget.lower();
            break;
        case Stacking::Keep:
            break;
    }
    if (placement.move) {
        widget.move(placement.x, placement.y);
    }
    if (placement.resize) {
        widget.setFixedSize(placement.width, placement.height);
    }
    return true;
}

void QtOsCalls::releaseMouse() {
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        grabber->releaseMouse();
    }
}

}  // namespace pelmora::qt

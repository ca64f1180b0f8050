#include "platform/emulated/emulated_os.h"

#include "platform/win_constants.h"

namespace pelmora::emulated {

namespace {

constexpr std::intptr_t kTop = 0;
constexpr std::intptr_t kBottom = 1;
constexpr std::uint32_t kNoZOrder = 4;

}  // namespace

Placement decodePlacement(std::intptr_t insertAfter, std::int32_t x, std::int32_t y,
                          std::int32_t cx, std::int32_t cy, std::uint32_t flags) noexcept {
    using Stacking = Placement::Stacking;
    Placement placement;
    // Without a change of order, where to insert the window is not read at all.
    if ((flags & kNoZOrder) == 0) {
        placement.stacking = insertAfter == platform::HWND_TOPMOST     ? Stacking::Topmost
                             : insertAfter == platform::HWND_NOTOPMOST ? Stacking::NotTopmost
                             : insertAfter == kTop                     ? Stacking::Top
                             : insertAfter == kBottom                  ? Stacking::Bottom
                                                                       : Stacking::Keep;
    }
    placement.move = (flags & platform::SWP_NOMOVE) == 0;
    if (placement.move) {
        placement.x = x;
        placement.y = y;
    }
    // A window of no size could not be seen again, nor clicked.
    placement.resize = (flags & platform::SWP_NOSIZE) == 0 && cx > 0 && cy > 0;
    if (placement.resize) {
        placement.width = cx;
        placement.height = cy;
    }
    return placement;
}

std::int32_t EmulatedOs::GlobalMemoryStatusEx(platform::MEMORYSTATUSEX& status) {
    if (!acceptsMemoryRecord(status)) {
        memoryUnavailable("the record's dwLength is " + std::to_string(status.dwLength) + ", not " +
                          std::to_string(sizeof(platform::MEMORYSTATUSEX)));
        return 0;
    }
    MemoryFigures figures;
    std::string reason;
    if (!readMemory(figures, reason)) {
        memoryUnavailable(reason);
        return 0;
    }
    memoryProblem_.clear();
    return fillMemoryStatus(status, figures);
}

void EmulatedOs::memoryUnavailable(const std::string& reason) {
    // The query fails again at every refresh until the cause goes.
    if (reason != memoryProblem_) {
        memoryProblem_ = reason;
        reportError("GlobalMemoryStatusEx",
                    platform::Error(platform::ErrorCode::MemoryStatusUnavailable, reason));
    }
}

std::int32_t EmulatedOs::Shell_NotifyIconA(std::uint32_t dwMessage,
                                           platform::NOTIFYICONDATAA& data) {
    if (const std::string problem = log_.takeProblem(); !problem.empty()) {
        reportError("Shell_NotifyIconA", platform::Error(platform::ErrorCode::FileAccess, problem));
    }
    return tray_.notify(dwMessage, data);
}

void EmulatedOs::removeIconsOf(platform::Hwnd hWnd) noexcept {
    try {
        tray_.removeWindow(hWnd);
    } catch (...) {
        // The icons left behind go with the program.
    }
}

void EmulatedOs::removeAllIcons() noexcept {
    try {
        tray_.removeAll();
    } catch (...) {
        // The icons go when the program does.
    }
}

std::intptr_t EmulatedOs::SetWindowLongA(platform::Hwnd hWnd, std::int32_t nIndex,
                                         std::intptr_t dwNewLong) {
    return procedures_.install(hWnd, nIndex, dwNewLong);
}

platform::LResult EmulatedOs::CallWindowProcA(std::intptr_t lpPrevWndFunc, platform::Hwnd hWnd,
                                              std::uint32_t msg, platform::WParam wParam,
                                              platform::LParam lParam) {
    return procedures_.call(lpPrevWndFunc, hWnd, msg, wParam, lParam);
}

platform::LResult EmulatedOs::SendMessageA(platform::Hwnd hWnd, std::uint32_t msg,
                                           platform::WParam wParam, platform::LParam lParam) {
    return procedures_.send(hWnd, msg, wParam, lParam);
}

std::int32_t EmulatedOs::SetWindowPos(platform::Hwnd hWnd, std::intptr_t hWndInsertAfter,
                                      std::int32_t x, std::int32_t y, std::int32_t cx,
                                      std::int32_t cy, std::uint32_t uFlags) {
    return placeWindow(hWnd, decodePlacement(hWndInsertAfter, x, y, cx, cy, uFlags)) ? 1 : 0;
}

std::int32_t EmulatedOs::ReleaseCapture() {
    releaseMouse();
    return 1;
}

}  // namespace pelmora::emulated

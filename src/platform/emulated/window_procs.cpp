#include "platform/emulated/window_procs.h"

#include <utility>

#include "platform/win_constants.h"

namespace pelmora::emulated {

namespace {

platform::LResult PELMORA_CALLBACK answerNothing(platform::Hwnd, std::uint32_t, platform::WParam,
                                                 platform::LParam) {
    return 0;
}

}  // namespace

std::intptr_t sharedOwnProcedure() noexcept {
    return reinterpret_cast<std::intptr_t>(&answerNothing);
}

std::intptr_t ProcedureChain::install(platform::Hwnd hWnd, std::int32_t index,
                                      std::intptr_t procedure) {
    const ProcedureWindows::Slot slot = windows_.procedureSlot(hWnd);
    // A window left without a procedure would fail at its next message.
    if (slot.current == nullptr || index != platform::GWL_WNDPROC || procedure == 0) {
        return 0;
    }
    if (procedure != slot.own) {
        installed_.insert(procedure);
    }
    return std::exchange(*slot.current, procedure);
}

platform::LResult ProcedureChain::call(std::intptr_t procedure, platform::Hwnd hWnd,
                                       std::uint32_t msg, platform::WParam wParam,
                                       platform::LParam lParam) {
    const ProcedureWindows::Slot slot = windows_.procedureSlot(hWnd);
    if (slot.current != nullptr && procedure == slot.own) {
        return windows_.ownProcedure(hWnd, msg, wParam, lParam);
    }
    if (installed_.count(procedure) == 0) {
        return 0;
    }
    return reinterpret_cast<platform::WndProc>(procedure)(hWnd, msg, wParam, lParam);
}

platform::LResult ProcedureChain::send(platform::Hwnd hWnd, std::uint32_t msg,
                                       platform::WParam wParam, platform::LParam lParam) {
    const ProcedureWindows::Slot slot = windows_.procedureSlot(hWnd);
    return slot.current == nullptr ? 0 : call(*slot.current, hWnd, msg, wParam, lParam);
}

}  // namespace pelmora::emulated

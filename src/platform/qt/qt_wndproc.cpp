#include "platform/qt/qt_wndproc.h"

#include <algorithm>
#include <utility>

namespace pelmora::qt {

namespace {

platform::LResult PELMORA_CALLBACK formDefaultProcedure(platform::Hwnd, std::uint32_t,
                                                        platform::WParam, platform::LParam) {
    return 0;
}

}  // namespace

std::intptr_t defaultProcedureValue() noexcept {
    return reinterpret_cast<std::intptr_t>(&formDefaultProcedure);
}

void ProcedureRegistry::remember(std::intptr_t procedure) {
    if (!known(procedure)) {
        procedures_.push_back(procedure);
    }
}

bool ProcedureRegistry::known(std::intptr_t procedure) const noexcept {
    return std::find(procedures_.begin(), procedures_.end(), procedure) != procedures_.end();
}

WindowProcChain::WindowProcChain(ProcedureRegistry& registry, DefaultProcedure defaultProcedure)
    : registry_(registry),
      default_(std::move(defaultProcedure)),
      current_(defaultProcedureValue()) {}

std::intptr_t WindowProcChain::install(std::intptr_t procedure) {
    if (procedure == 0) {
        return 0;
    }
    if (procedure != defaultProcedureValue()) {
        registry_.remember(procedure);
    }
    return std::exchange(current_, procedure);
}

platform::LResult WindowProcChain::call(std::intptr_t procedure, platform::Hwnd hWnd,
                                        std::uint32_t msg, platform::WParam wParam,
                                        platform::LParam lParam) const {
    if (procedure == defaultProcedureValue()) {
        return default_(msg, wParam, lParam);
    }
    if (!registry_.known(procedure)) {
        return 0;
    }
    return reinterpret_cast<platform::WndProc>(procedure)(hWnd, msg, wParam, lParam);
}

}  // namespace pelmora::qt

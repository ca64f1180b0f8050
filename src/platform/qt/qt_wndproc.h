// Each window's window-procedure chain, kept as the OS keeps it: the procedure in place, the
// window's own default procedure, and the procedures that may be called through the chain.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/types.h"

namespace pelmora::qt {

// The value that stands for a window's own default procedure. It is a real procedure, so a
// caller that invokes it directly gets a harmless 0.
std::intptr_t defaultProcedureValue() noexcept;

// Every procedure value ever installed on a window: only these are ever called, so a stray
// number is refused instead of being jumped to.
class ProcedureRegistry {
  public:
    void remember(std::intptr_t procedure);
    bool known(std::intptr_t procedure) const noexcept;

  private:
    std::vector<std::intptr_t> procedures_;
};

class WindowProcChain {
  public:
    using DefaultProcedure =
        std::function<platform::LResult(std::uint32_t, platform::WParam, platform::LParam)>;

    WindowProcChain(ProcedureRegistry& registry, DefaultProcedure defaultProcedure);

    std::intptr_t current() const noexcept { return current_; }
    // Puts a procedure in place and returns the one it replaces; 0 (no procedure) is refused.
    std::intptr_t install(std::intptr_t procedure);
    // Calls one procedure of the chain; a value that was never installed anywhere returns 0.
    platform::LResult call(std::intptr_t procedure, platform::Hwnd hWnd, std::uint32_t msg,
                           platform::WParam wParam, platform::LParam lParam) const;
    // A message sent to the window starts at the procedure in place.
    platform::LResult send(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                           platform::LParam lParam) const {
        return call(current_, hWnd, msg, wParam, lParam);
    }

  private:
    ProcedureRegistry& registry_;
    DefaultProcedure default_;
    std::intptr_t current_;
};

}  // namespace pelmora::qt

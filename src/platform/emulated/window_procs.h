// Window procedures kept as the OS keeps them: the procedure in place for each window, the
// window's own procedure under it, and every procedure value ever installed. Only installed
// values are ever called, so a stray number is refused instead of being jumped to.
#pragma once

#include <cstdint>
#include <set>

#include "platform/types.h"

namespace pelmora::emulated {

// A value a layer may give all its windows for their own procedure: a real procedure that
// answers 0, so a caller that invokes it directly comes to no harm.
std::intptr_t sharedOwnProcedure() noexcept;

// The layer's windows, as the chain needs them.
class ProcedureWindows {
  public:
    struct Slot {
        std::intptr_t* current;  // where the window keeps the procedure in place
        std::intptr_t own;       // the value that stands for the window's own procedure
    };
    // The window's slot; a null current for a window that does not exist.
    virtual Slot procedureSlot(platform::Hwnd hWnd) = 0;
    // The window's own procedure, given one message.
    virtual platform::LResult ownProcedure(platform::Hwnd hWnd, std::uint32_t msg,
                                           platform::WParam wParam, platform::LParam lParam) = 0;

  protected:
    ~ProcedureWindows() = default;
};

class ProcedureChain {
  public:
    explicit ProcedureChain(ProcedureWindows& windows) : windows_(windows) {}

    // SetWindowLongA with GWL_WNDPROC: puts the procedure in place and returns the one it
    // replaces; 0 for an unknown window, another index or no procedure at all.
    std::intptr_t install(platform::Hwnd hWnd, std::int32_t index, std::intptr_t procedure);
    // CallWindowProcA: one procedure of the chain; a value never installed answers 0.
    platform::LResult call(std::intptr_t procedure, platform::Hwnd hWnd, std::uint32_t msg,
                           platform::WParam wParam, platform::LParam lParam);
    // A message sent to the window starts at the procedure in place.
    platform::LResult send(platform::Hwnd hWnd, std::uint32_t msg, platform::WParam wParam,
                           platform::LParam lParam);

  private:
    ProcedureWindows& windows_;
    std::set<std::intptr_t> installed_;
};

}  // namespace pelmora::emulated

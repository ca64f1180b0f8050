// What every backend's assembly shares: the program's entry point, started at the core's
// catching edge, and a layer the caller may put between a native platform and the core.
#pragma once

#include <functional>
#include <memory>

#include "platform/core/native.h"
#include "platform/core/runtime.h"
#include "platform/forms.h"
#include "platform/os_calls.h"

namespace pelmora::core {

// The program's start (Main), run once the platform, the core and the OS calls are wired.
using EntryPoint = void (*)(platform::FormsRuntime& runtime, platform::OsCalls& os);

// Made over the native platform, it is what the core drives in the platform's place, passing
// the operations on (the soak's probe).
using Interposer = std::function<std::unique_ptr<NativePlatform>(NativePlatform& native)>;

// The platform the core drives: the native one, or the layer put over it.
class DrivenPlatform {
  public:
    DrivenPlatform(NativePlatform& native, const Interposer& interpose)
        : over_(interpose ? interpose(native) : nullptr), driven_(over_ ? *over_ : native) {}

    NativePlatform& get() const noexcept { return driven_; }

  private:
    std::unique_ptr<NativePlatform> over_;
    NativePlatform& driven_;
};

// Runs the entry point as the first event of the program: what it raises is reported, not
// thrown. True when the program runs on; false when it has already ended.
inline bool startProgram(Runtime& runtime, platform::OsCalls& os, EntryPoint main) {
    runtime.guard("Main", [&] { main(runtime, os); });
    return !runtime.ended();
}

}  // namespace pelmora::core

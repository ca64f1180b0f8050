// The program's start: the backend's entry point calls Main once its runtime is up.
#pragma once

#include "platform/forms.h"
#include "platform/os_calls.h"

namespace pelmora::app {

// Guards against a second copy, loads and shows the main window, and returns;
// from then on the program runs on the runtime's events.
void Main(platform::FormsRuntime& runtime, platform::OsCalls& os);

}  // namespace pelmora::app

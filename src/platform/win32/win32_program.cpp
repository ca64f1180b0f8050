#include "platform/win32/win32_program.h"

// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <string>

#include "app/identity.h"

namespace pelmora::win32 {

namespace {

core::Identity builtIdentity() {
    namespace identity = app::identity;
    return {std::string(identity::kTitle), identity::kMajor, identity::kMinor, identity::kRevision};
}

}  // namespace

void initCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
}

Program::Program(HINSTANCE instance, PlatformOptions options, const core::Interposer& between)
    : platform_(instance, withShellRestarts(std::move(options))),
      driven_(platform_, between),
      runtime_(driven_.get(), builtIdentity()) {}

Program::~Program() {
    os_.tray().removeLeftover();
}

PlatformOptions Program::withShellRestarts(PlatformOptions options) {
    if (!options.onShellRestart) {
        options.onShellRestart = [this](HWND hwnd) {
            os_.tray().shellRestarted(reinterpret_cast<platform::Hwnd>(hwnd));
        };
    }
    return options;
}

bool Program::start(core::EntryPoint main) {
    // Without a window the loop would never end: Main has reported why there is none.
    return core::startProgram(runtime_, os_, main) && platform_.hasFormWindows();
}

}  // namespace pelmora::win32

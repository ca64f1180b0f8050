// The Windows program's assembly: the real OS calls, the Win32 platform and the runtime core
// over it (with the program's identity), wired once for the entry point, the soak and the
// tests.
#pragma once

#include <windows.h>

#include "platform/core/assembly.h"
#include "platform/core/runtime.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/win32_platform.h"

namespace pelmora::win32 {

// Makes the common controls' window classes ready; once per process, before any window.
void initCommonControls();

// Members go in reverse: the core's forms and windows first, the OS calls last.
class Program {
  public:
    // The platform's own start throws when it fails; nothing of the system has run then.
    // Unless the options say otherwise, a restarted shell gets the tray icon back.
    Program(HINSTANCE instance, PlatformOptions options = {}, const core::Interposer& between = {});
    // An icon still in the tray belongs to no running program from here on; it goes while
    // its window still exists.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Runs the entry point; true when the program runs on with a window for the loop.
    bool start(core::EntryPoint main);

    Win32Platform& platform() noexcept { return platform_; }
    core::Runtime& runtime() noexcept { return runtime_; }
    Win32OsCalls& os() noexcept { return os_; }

  private:
    PlatformOptions withShellRestarts(PlatformOptions options);

    Win32OsCalls os_;
    Win32Platform platform_;
    core::DrivenPlatform driven_;
    core::Runtime runtime_;
};

}  // namespace pelmora::win32

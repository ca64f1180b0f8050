// The Linux program's assembly: the Qt platform, the runtime core over it (with the program's
// identity) and the emulated OS calls, wired once for the entry point, the soak and the tests.
#pragma once

#include "platform/core/assembly.h"
#include "platform/core/runtime.h"
#include "platform/qt/qt_os.h"
#include "platform/qt/qt_platform.h"

namespace pelmora::qt {

// What the application says of itself to the desktop; the QApplication must exist.
void describeApplication();

// The QApplication must exist first and outlive it. Members go in reverse: the OS calls and
// the core's forms first, the platform last.
class Program {
  public:
    explicit Program(PlatformOptions options = {}, const OsOptions& osOptions = {},
                     const core::Interposer& between = {});

    // Runs the entry point; true when the program runs on with a window for the event loop.
    bool start(core::EntryPoint main);

    QtPlatform& platform() noexcept { return platform_; }
    core::Runtime& runtime() noexcept { return runtime_; }
    QtOsCalls& os() noexcept { return os_; }

  private:
    QtPlatform platform_;
    core::DrivenPlatform driven_;
    core::Runtime runtime_;
    QtOsCalls os_;
};

}  // namespace pelmora::qt

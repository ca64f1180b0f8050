// The Windows program's entry point: the native platform under the one runtime core, the
// real OS calls, Main, then the message loop until the program ends.
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <string>

#include "app/identity.h"
#include "app/main.h"
#include "platform/core/runtime.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);

    namespace identity = pelmora::app::identity;
    pelmora::win32::Win32OsCalls os;
    int exitCode = 0;
    try {
        pelmora::win32::PlatformOptions options;
        options.onShellRestart = [&os](HWND hwnd) {
            os.tray().shellRestarted(reinterpret_cast<pelmora::platform::Hwnd>(hwnd));
        };
        pelmora::win32::Win32Platform platform(instance, std::move(options));
        pelmora::core::Runtime runtime(platform, {std::string(identity::kTitle), identity::kMajor,
                                                  identity::kMinor, identity::kRevision});
        runtime.guard("Main", [&] { pelmora::app::Main(runtime, os); });
        if (!runtime.ended()) {
            // Main reported why no window came up; a loop without one would never end.
            if (platform.hasFormWindows()) {
                platform.run();
            } else {
                exitCode = 1;
            }
        }
        // An icon still in the tray belongs to no running program from here on; it goes
        // while its window still exists.
        os.tray().removeLeftover();
    } catch (const std::exception& error) {
        // Only the platform's own start can get here: nothing of the system ran.
        std::fprintf(stderr, "Pelmora: cannot start: %s\n", error.what());
        return 1;
    }
    return exitCode;
}

// The Windows program's entry point: builds the runtime and the OS calls, hands
// them to Main and runs the message loop while a form is loaded.
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <utility>

#include "app/main.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/win32_runtime.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);

    pelmora::win32::Win32OsCalls os;
    try {
        pelmora::win32::RuntimeOptions options;
        options.onShellRestart = [&os](HWND hwnd) {
            os.tray().shellRestarted(reinterpret_cast<pelmora::platform::Hwnd>(hwnd));
        };
        pelmora::win32::Win32Runtime runtime(instance, std::move(options));
        runtime.deliver("Main", [&] { pelmora::app::Main(runtime, os); });
        runtime.run();
    } catch (const std::exception& error) {
        // Only the runtime's own start can get here: nothing of the system ran.
        std::fprintf(stderr, "Pelmora: cannot start: %s\n", error.what());
        return 1;
    }
    // An icon still in the tray belongs to no running program from here on.
    os.tray().removeLeftover();
    return 0;
}

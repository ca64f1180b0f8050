// The soak of the Windows program: the system, the runtime core and the Win32 backend with
// the real OS calls, started as the program's entry point starts them (under a
// single-instance name of its own, so that it runs beside a running Pelmora.exe). A console
// program: the table goes to standard output.
//
//     PelmoraSoak.exe [--ticks N] [--tick-seconds S] [--about N] [--popups N] ...
#include <windows.h>

#include <exception>
#include <iostream>
#include <string>

#include "app/main.h"
#include "platform/win32/win32_program.h"
#include "process_gauges.h"
#include "soak.h"

namespace {

using namespace pelmora;

class Win32Host final : public bench::Host {
  public:
    explicit Win32Host(win32::Win32Platform& platform) : platform_(platform) {}

    std::string description() override {
        return "Win32 backend, process " + std::to_string(GetCurrentProcessId());
    }
    bench::Gauges gauges() override {
        drain();
        return bench::processGauges();
    }
    void drain() override {
        MSG msg{};
        while (!platform_.quitting() && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                break;
            }
            platform_.dispatch(msg);
        }
    }
    std::string gfxLabel() override { return "GDI objects"; }
    std::string uiLabel() override { return "USER objects"; }

    // Ends the popup the backend is about to track, from inside its menu loop.
    static void dismissPopup() { SetTimer(nullptr, 0, USER_TIMER_MINIMUM, endMenu); }

  private:
    static void CALLBACK endMenu(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        EndMenu();
    }

    win32::Win32Platform& platform_;
};

}  // namespace

int main(int argc, char** argv) {
    bench::SoakOptions options;
    if (!bench::parseOptions(argc, argv, options, std::cerr)) {
        return 2;
    }
    win32::initCommonControls();
    try {
        win32::PlatformOptions platformOptions;
        platformOptions.instanceMutex =
            "Local\\Pelmora.Soak." + std::to_string(GetCurrentProcessId());
        bench::ProbePlatform* probe = nullptr;
        win32::Program program(GetModuleHandleA(nullptr), std::move(platformOptions),
                               bench::interposeProbe(probe, [] { Win32Host::dismissPopup(); }));
        Win32Host host(program.platform());
        return bench::soakStarted(program.start(app::Main), probe, host, options);
    } catch (const std::exception& error) {
        std::cerr << "soak: cannot start: " << error.what() << "\n";
        return 2;
    }
}

// The Windows program's entry point: the program assembled, Main, then the message loop
// until the program ends.
#include <windows.h>

#include <cstdio>
#include <exception>

#include "app/main.h"
#include "platform/win32/win32_program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    pelmora::win32::initCommonControls();
    try {
        pelmora::win32::Program program(instance);
        if (program.start(pelmora::app::Main)) {
            program.platform().run();
        } else if (!program.runtime().ended()) {
            return 1;  // Main reported why no window came up
        }
    } catch (const std::exception& error) {
        // Only the platform's own start can get here: nothing of the system ran.
        std::fprintf(stderr, "Pelmora: cannot start: %s\n", error.what());
        return 1;
    }
    return 0;
}

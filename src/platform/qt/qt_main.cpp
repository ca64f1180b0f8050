// The Linux program's entry point: a Qt application, the program assembled on it, the
// program's own Main, then the event loop until the program ends.
#include <QApplication>

#include "app/main.h"
#include "platform/linux/linux_instance.h"
#include "platform/qt/qt_program.h"
#include "platform/qt/qt_style.h"

int main(int argc, char* argv[]) {
    // Keeping the window on top and placing it need X11: on Wayland, go through XWayland.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    // Whole device pixels per pixel of the skin: a fractional display scale would smear it.
    pelmora::qt::useWholeScaleFactors();
    // The program takes no command line: Qt is shown only the program's own name.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    pelmora::qt::describeApplication();

    pelmora::qt::PlatformOptions options;
    options.lockPath = pelmora::linux_os::chooseLockPath(
        pelmora::linux_os::lockPlacesFromEnvironment(), options.lockProblem);
    pelmora::qt::OsOptions osOptions;
    osOptions.trayLogPath = qEnvironmentVariable("PELMORA_TRAY_LOG").toStdString();
    pelmora::qt::Program program(std::move(options), osOptions);

    if (!program.start(pelmora::app::Main)) {
        // Ended at once (another copy runs), or Main failed before any window existed and
        // reported why.
        return program.runtime().ended() ? 0 : 1;
    }
    return QApplication::exec();
}

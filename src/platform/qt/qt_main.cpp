// The Linux program's entry point: a Qt application, the native platform, the one runtime
// core and the OS calls, then the program's own Main, then the event loop until the program
// ends.
#include <QApplication>
#include <string>

#include "app/identity.h"
#include "app/main.h"
#include "platform/core/runtime.h"
#include "platform/qt/qt_instance.h"
#include "platform/qt/qt_os.h"
#include "platform/qt/qt_platform.h"
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
    QApplication::setApplicationName(QStringLiteral("pelmora"));
    QGuiApplication::setDesktopFileName(
        QString::fromUtf8(pelmora::app::identity::kAppId.data(),
                          static_cast<qsizetype>(pelmora::app::identity::kAppId.size())));
    QApplication::setQuitOnLastWindowClosed(false);

    namespace identity = pelmora::app::identity;
    pelmora::qt::PlatformOptions options;
    options.lockPath =
        pelmora::qt::chooseLockPath(pelmora::qt::lockPlacesFromEnvironment(), options.lockProblem);
    pelmora::qt::QtPlatform platform(std::move(options));
    pelmora::core::Runtime runtime(
        platform, pelmora::core::Identity{std::string(identity::kTitle), identity::kMajor,
                                          identity::kMinor, identity::kRevision});

    pelmora::qt::OsOptions osOptions;
    osOptions.trayLogPath = qEnvironmentVariable("PELMORA_TRAY_LOG").toStdString();
    pelmora::qt::QtOsCalls os(platform, runtime, osOptions);

    runtime.guard("Main", [&] { pelmora::app::Main(runtime, os); });
    if (runtime.ended()) {
        return 0;
    }
    if (platform.windowCount() == 0) {
        return 1;  // Main failed before any window existed; its error has been reported
    }
    return QApplication::exec();
}

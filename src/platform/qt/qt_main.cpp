// The Linux program's entry point: a Qt application, the forms runtime and the OS calls, then
// the program's own Main, then the event loop until the program ends.
#include <QApplication>
#include <string>

#include "app/identity.h"
#include "app/main.h"
#include "platform/qt/qt_instance.h"
#include "platform/qt/qt_os.h"
#include "platform/qt/qt_runtime.h"

int main(int argc, char* argv[]) {
    // Keeping the window on top and placing it need X11: on Wayland, go through XWayland.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    // The program takes no command line: Qt is shown only the program's own name.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("pelmora"));
    QGuiApplication::setDesktopFileName(QStringLiteral("pelmora"));
    QApplication::setQuitOnLastWindowClosed(false);

    namespace identity = pelmora::app::identity;
    pelmora::qt::RuntimeOptions options;
    options.title = std::string(identity::kTitle);
    options.major = identity::kMajor;
    options.minor = identity::kMinor;
    options.revision = identity::kRevision;
    options.lockPath = pelmora::qt::defaultLockPath();
    options.quit = [] { QCoreApplication::exit(0); };
    pelmora::qt::QtRuntime runtime(std::move(options));

    pelmora::qt::OsOptions osOptions;
    osOptions.trayLogPath = qEnvironmentVariable("PELMORA_TRAY_LOG").toStdString();
    pelmora::qt::QtOsCalls os(runtime, osOptions);

    runtime.dispatch("Main", [&] { pelmora::app::Main(runtime, os); });
    if (runtime.stopped()) {
        return 0;
    }
    if (!runtime.anyFormLoaded()) {
        return 1;  // Main failed before any window existed; its error has been reported
    }
    return QApplication::exec();
}

// The soak of the Linux program: the system, the runtime core and the Qt backend with its
// emulated OS calls, started as the program's entry point starts them (without the
// single-instance lock, so that it runs beside a running Pelmora). Offscreen unless
// QT_QPA_PLATFORM says otherwise; under xcb the program's X resources are counted too.
//
//     pelmora_soak [--ticks N] [--tick-seconds S] [--about N] [--popups N] ...
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <iostream>
#include <string>

#include "app/main.h"
#include "platform/qt/qt_program.h"
#include "process_gauges.h"
#include "soak.h"

#ifdef PELMORA_SOAK_XRES
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#endif

namespace {

using namespace pelmora;

#ifdef PELMORA_SOAK_XRES
// Resources the X server holds for this process's connections (windows, pixmaps, GCs,
// pictures, fonts…), asked through the X-Resource extension on a connection of our own
// (whose few resources count too, the same at every reading).
class XResources {
  public:
    XResources() : display_(XOpenDisplay(nullptr)) {
        int event = 0;
        int error = 0;
        if (display_ != nullptr && !XResQueryExtension(display_, &event, &error)) {
            XCloseDisplay(display_);
            display_ = nullptr;
        }
    }
    ~XResources() {
        if (display_ != nullptr) {
            XCloseDisplay(display_);
        }
    }
    XResources(const XResources&) = delete;
    XResources& operator=(const XResources&) = delete;

    std::int64_t count() {
        if (display_ == nullptr) {
            return -1;
        }
        XResClientIdSpec all{0, XRES_CLIENT_ID_PID_MASK};
        long found = 0;
        XResClientIdValue* ids = nullptr;
        if (XResQueryClientIds(display_, 1, &all, &found, &ids) != Success) {
            return -1;
        }
        std::int64_t total = 0;
        for (long i = 0; i < found; ++i) {
            if (XResGetClientPid(&ids[i]) != getpid()) {
                continue;
            }
            int types = 0;
            XResType* counts = nullptr;
            const auto& [client, length, value] = ids[i];
            // Unlike the query of client ids, this one answers non-zero when it succeeds.
            if (XResQueryClientResources(display_, client.client, &types, &counts) != 0) {
                for (int t = 0; t < types; ++t) {
                    total += counts[t].count;
                }
                XFree(counts);
            }
        }
        XResClientIdsDestroy(found, ids);
        return total;
    }

  private:
    Display* display_;
};
#endif

class QtHost final : public bench::Host {
  public:
    std::string description() override {
        return "Qt backend on the '" + QGuiApplication::platformName().toStdString() +
               "' platform, pid " + std::to_string(getpid());
    }
    bench::Gauges gauges() override {
        drain();
        bench::Gauges g = bench::processGauges();
#ifdef PELMORA_SOAK_XRES
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            g.gfxObjects = xres_.count();
        }
#endif
        g.uiObjects = QApplication::allWidgets().size();
        return g;
    }
    void drain() override {
        // Twice: what the first pass runs may post more (a paint after a layout change).
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    std::string gfxLabel() override {
        return "X resources";
    }
    std::string uiLabel() override {
        return "widgets";
    }

    // Closes the popup the backend is about to open, once it is on the screen.
    static void dismissPopup(int triesLeft = 1000) {
        QTimer::singleShot(0, qApp, [triesLeft] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
            } else if (triesLeft > 0) {
                dismissPopup(triesLeft - 1);
            }
        });
    }

  private:
#ifdef PELMORA_SOAK_XRES
    XResources xres_;
#endif
};

// The offscreen platform says on every popup that it cannot grab the keyboard; the soak
// opens thousands.
void quietPopups(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    std::cerr << qFormatLogMessage(type, context, message).toStdString() << "\n";
}

}  // namespace

int main(int argc, char* argv[]) {
    bench::SoakOptions options;
    if (!bench::parseOptions(argc, argv, options, std::cerr)) {
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler(quietPopups);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    qt::describeApplication();

    QtHost host;
    bench::ProbePlatform* probe = nullptr;
    // No lock: the soak may run beside the program.
    qt::Program program({}, {}, bench::interposeProbe(probe, [] { QtHost::dismissPopup(); }));
    return bench::soakStarted(program.start(app::Main), probe, host, options);
}

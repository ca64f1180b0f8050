// The backend tests run inside one Qt application on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

namespace {

// The offscreen platform says, at every raise and grab, what it cannot do; nothing else is
// held back.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler(quietHandler);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

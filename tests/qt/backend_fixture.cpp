#include "backend_fixture.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

namespace pelmora::qt::test {

bool BackendTest::waitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

QImage render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

}  // namespace pelmora::qt::test

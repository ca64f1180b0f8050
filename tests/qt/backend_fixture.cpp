#include "backend_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <cstring>

namespace pelmora::qt::test {

platform::NOTIFYICONDATAA trayRecord(platform::Hwnd hWnd, std::uint32_t flags, std::uintptr_t icon,
                                     const char* tip) {
    platform::NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = static_cast<std::uint32_t>(hWnd);
    data.uFlags = flags;
    data.uCallbackMessage = kTrayCallback;
    data.hIcon = static_cast<std::uint32_t>(icon);
    std::memset(data.szTip, ' ', sizeof data.szTip);
    std::memcpy(data.szTip, tip, std::strlen(tip) + 1);
    return data;
}

void RecordingEvents::onMouseDown(platform::ControlName control, std::int16_t index,
                                  platform::MouseButton button, platform::Modifiers keys, float,
                                  float) {
    const char* const buttons[] = {"Left", "Right", "Middle"};
    std::string line = "MouseDown " + std::string(control.text()) + "(" + std::to_string(index) +
                       ") " + buttons[static_cast<int>(button)];
    line += keys.shift ? " shift" : "";
    line += keys.control ? " control" : "";
    line += keys.alt ? " alt" : "";
    calls.push_back(line);
}

void BackendTest::start(OsOptions osOptions) {
    stop();
    PlatformOptions options;
    options.lockPath = path("instance.lock");
    options.reportSink = [this](std::string_view line) { reports.emplace_back(line); };
    options.quit = [this] { ++quits; };
    program_ = std::make_unique<Program>(std::move(options), osOptions);
}

void BackendTest::stop() {
    program_.reset();
}

QtWindow& BackendTest::window(const platform::Form& form) {
    QtWindow* found = platform().findWindow(form.hWnd());
    if (found == nullptr) {
        throw std::runtime_error("the form has no live window");
    }
    return *found;
}

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

QSystemTrayIcon* shownTrayIcon() {
    QSystemTrayIcon* shown = nullptr;
    for (QSystemTrayIcon* icon : qApp->findChildren<QSystemTrayIcon*>(Qt::FindDirectChildrenOnly)) {
        if (icon->isVisible()) {
            if (shown != nullptr) {
                return nullptr;
            }
            shown = icon;
        }
    }
    return shown;
}

QImage render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage renderAt(QWidget& widget, int ratio) {
    QImage image(widget.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::magenta);
    widget.render(&image);
    return image;
}

}  // namespace pelmora::qt::test

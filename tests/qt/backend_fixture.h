// Shared pieces of the backend tests: the Qt platform under the real runtime core, with a lock
// file and a report list of their own, an event sink that records what reaches the system,
// and pixel helpers.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/runtime.h"
#include "platform/forms.h"
#include "platform/qt/qt_os.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_program.h"
#include "platform/qt/qt_window.h"

namespace pelmora::qt::test {

// Records every event as a line, and runs an optional action for ticks and clicks.
class RecordingEvents : public platform::FormEvents {
  public:
    std::vector<std::string> calls;
    bool cancelUnload = false;
    std::function<void(platform::ControlName)> onTick;
    std::function<void(platform::ControlName, std::int16_t)> onChoose;

    void onLoad() override { calls.emplace_back("Load"); }
    void onUnload(bool& cancel) override {
        calls.emplace_back("Unload");
        cancel = cancelUnload;
    }
    void onTerminate() override { calls.emplace_back("Terminate"); }
    void onActivate() override { calls.emplace_back("Activate"); }
    void onTimer(platform::ControlName timer) override {
        calls.push_back("Timer " + std::string(timer.text()));
        if (onTick) {
            onTick(timer);
        }
    }
    void onMouseDown(platform::ControlName control, std::int16_t index,
                     platform::MouseButton button, platform::Modifiers keys, float x,
                     float y) override;
    void onClick(platform::ControlName control, std::int16_t index) override {
        calls.push_back("Click " + std::string(control.text()) + "(" + std::to_string(index) + ")");
        if (onChoose) {
            onChoose(control, index);
        }
    }

    std::size_t count(std::string_view call) const {
        return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
    }
    // The clicks among the calls, in their order.
    std::vector<std::string> clicks() const {
        std::vector<std::string> seen;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(seen),
                     [](const std::string& call) { return call.starts_with("Click"); });
        return seen;
    }
};

// The callback message the tests' tray records ask for.
inline constexpr std::uint32_t kTrayCallback = 2025;

// A tray record for the window: its flags, icon handle and tip (copied with its NUL).
platform::NOTIFYICONDATAA trayRecord(platform::Hwnd hWnd, std::uint32_t flags, std::uintptr_t icon,
                                     const char* tip);

// The one tray icon shown, as Qt has it; null when none or more are shown.
QSystemTrayIcon* shownTrayIcon();

class BackendTest : public ::testing::Test {
  protected:
    BackendTest() { start(); }
    ~BackendTest() override {
        stop();
        QCoreApplication::processEvents();
    }

    // A fresh platform, runtime and OS calls, as the entry point makes them.
    void start(OsOptions osOptions = {});
    void stop();

    std::string path(const char* name) const { return dir_.filePath(name).toStdString(); }
    QtPlatform& platform() { return program_->platform(); }
    core::Runtime& runtime() { return program_->runtime(); }
    QtOsCalls& os() { return program_->os(); }
    // The native window under a loaded form.
    QtWindow& window(const platform::Form& form);
    FormWidget& widget(const platform::Form& form) { return window(form).widget(); }

    // Runs the event loop until the condition holds or the time is up.
    static bool waitFor(const std::function<bool()>& condition, int milliseconds = 3000);

    std::vector<std::string> reports;
    int quits = 0;

  private:
    QTemporaryDir dir_;
    std::unique_ptr<Program> program_;
};

// The widget as it looks on screen, one pixel per pixel.
QImage render(QWidget& widget);
// The widget as a screen of that many device pixels per pixel shows it.
QImage renderAt(QWidget& widget, int ratio);
inline bool same(QRgb a, QRgb b) {
    return qRed(a) == qRed(b) && qGreen(a) == qGreen(b) && qBlue(a) == qBlue(b);
}

}  // namespace pelmora::qt::test

// Shared pieces of the backend tests: a runtime with a lock file and an error list of its
// own, an event sink that records what reaches the system, and pixel helpers.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms.h"
#include "platform/qt/qt_os.h"
#include "platform/qt/qt_runtime.h"
#include "platform/qt/qt_window.h"

namespace pelmora::qt::test {

// Records every event as a line, and runs an optional action for ticks and clicks.
class RecordingEvents : public platform::FormEvents {
  public:
    std::vector<std::string> calls;
    std::int16_t cancelUnload = 0;
    std::function<void(std::string_view)> onTick;
    std::function<void(std::string_view, std::int16_t)> onChoose;

    void onLoad() override { calls.emplace_back("Load"); }
    void onUnload(std::int16_t& cancel) override {
        calls.emplace_back("Unload");
        cancel = cancelUnload;
    }
    void onTerminate() override { calls.emplace_back("Terminate"); }
    void onActivate() override { calls.emplace_back("Activate"); }
    void onTimer(std::string_view timer) override {
        calls.push_back("Timer " + std::string(timer));
        if (onTick) {
            onTick(timer);
        }
    }
    void onMouseDown(std::string_view control, std::int16_t index, std::int16_t button,
                     std::int16_t shift, float, float) override {
        calls.push_back("MouseDown " + std::string(control) + "(" + std::to_string(index) + ") " +
                        std::to_string(button) + " " + std::to_string(shift));
    }
    void onClick(std::string_view control, std::int16_t index) override {
        calls.push_back("Click " + std::string(control) + "(" + std::to_string(index) + ")");
        if (onChoose) {
            onChoose(control, index);
        }
    }

    std::size_t count(std::string_view call) const {
        return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
    }
};

class BackendTest : public ::testing::Test {
  protected:
    BackendTest() { makeRuntime(); }
    ~BackendTest() override {
        os_.reset();
        runtime_.reset();
        QCoreApplication::processEvents();
    }

    void makeRuntime(OsOptions osOptions = {}) {
        os_.reset();
        runtime_.reset();
        RuntimeOptions options;
        options.title = "Pelmora";
        options.major = 1;
        options.minor = 0;
        options.revision = 26;
        options.lockPath = path("instance.lock");
        options.errorSink = [this](std::string_view line) { errors.emplace_back(line); };
        options.quit = [this] { ++quits; };
        options.messageBox = [this](std::string_view prompt, std::int16_t style) {
            messages.push_back(std::string(prompt) + " / " + std::to_string(style));
        };
        runtime_ = std::make_unique<QtRuntime>(std::move(options));
        os_ = std::make_unique<QtOsCalls>(*runtime_, osOptions);
    }

    std::string path(const char* name) const { return dir_.filePath(name).toStdString(); }
    QtRuntime& runtime() { return *runtime_; }
    QtOsCalls& os() { return *os_; }
    QtForm& load(const platform::FormLayout& layout, platform::FormEvents& events) {
        return static_cast<QtForm&>(runtime().load(layout, events));
    }

    // Runs the event loop until the condition holds or the time is up.
    static bool waitFor(const std::function<bool()>& condition, int milliseconds = 3000);

    std::vector<std::string> errors;
    std::vector<std::string> messages;
    int quits = 0;

  private:
    QTemporaryDir dir_;
    std::unique_ptr<QtRuntime> runtime_;
    std::unique_ptr<QtOsCalls> os_;
};

// The widget as it looks on screen, one pixel per pixel.
QImage render(QWidget& widget);
QRgb rgb(int r, int g, int b);
inline bool same(QRgb a, QRgb b) {
    return qRed(a) == qRed(b) && qGreen(a) == qGreen(b) && qBlue(a) == qBlue(b);
}

}  // namespace pelmora::qt::test

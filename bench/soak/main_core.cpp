// The soak of the portable program alone: the system and the runtime core on a native
// layer that keeps nothing but what the core asks of it, and OS calls that answer with
// figures changing every so often. What grows here grows on every platform. It also checks
// the soak's own driving (menus, the About box, timers) against the real core.
//
//     pelmora_soak_core [--ticks N] [--about N] [--popups N] ...
#include <cstdint>
#include <deque>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/identity.h"
#include "app/main.h"
#include "platform/core/runtime.h"
#include "platform/os_calls.h"
#include "platform/win_constants.h"
#include "process_gauges.h"
#include "soak.h"

namespace {

using namespace pelmora;

class CorePlatform;

class CoreWindow final : public core::NativeWindow {
  public:
    CoreWindow(CorePlatform& platform, platform::Hwnd handle);
    ~CoreWindow() override;

    platform::Hwnd handle() const override { return handle_; }
    std::uintptr_t iconHandle() const override { return handle_ + 1; }
    void build(std::span<const core::WidgetSpec> widgets) override { widgets_ = widgets.size(); }
    void setCaption(std::string_view) override {}
    void show(core::Placement, const core::NativeWindow*) override { shown_ = true; }
    void hide() override { shown_ = false; }
    void runModalLoop() override;
    void endModalLoop() override { modalEnded_ = true; }
    platform::WindowState state() const override { return platform::WindowState::Normal; }
    void setState(platform::WindowState) override {}
    void focus() override {}
    std::optional<std::size_t> popupMenu(std::span<const core::PopupRow>) override {
        return std::nullopt;  // dismissed
    }
    void setText(core::WidgetId id, std::string_view text) override { checkId(id), (void)text; }
    void setAlignment(core::WidgetId id, platform::Alignment) override { checkId(id); }
    void setVisible(core::WidgetId id, bool) override { checkId(id); }
    void moveWidget(core::WidgetId id, core::PixelPoint) override { checkId(id); }
    void clearDrawing(core::WidgetId id) override { checkId(id); }
    void fillBox(core::WidgetId id, core::PixelRect, platform::Colour) override { checkId(id); }
    void repaint(core::WidgetId id) override { checkId(id); }
    void startTimer(core::WidgetId id, int) override { checkId(id); }
    void stopTimer(core::WidgetId id) override { checkId(id); }

  private:
    void checkId(core::WidgetId id) const {
        if (id >= widgets_) {
            throw std::logic_error("a widget id outside the window's table");
        }
    }

    CorePlatform& platform_;
    platform::Hwnd handle_;
    std::size_t widgets_ = 0;
    bool shown_ = false;
    bool modalEnded_ = false;
};

class CorePlatform final : public core::NativePlatform {
  public:
    std::size_t windows = 0;

    std::unique_ptr<core::NativeWindow> createWindow(const core::WindowSpec&,
                                                     core::WindowInput&) override {
        return std::make_unique<CoreWindow>(*this, nextHandle_ += 0x10);
    }
    bool otherInstanceRunning() override { return false; }
    std::string executableName() override { return "pelmora"; }
    void messageBox(std::string_view, std::string_view, platform::MsgBoxIcon) override {}
    void setPointer(platform::MousePointer) override {}
    void post(std::function<void()> work) override { posted_.push_back(std::move(work)); }
    void quit() override {}
    void writeReportLine(std::string_view line) noexcept override {
        std::cerr << "pelmora: " << line << "\n";
    }

    // Runs posted work, including work posted meanwhile; false when there was none.
    bool runOne() {
        if (posted_.empty()) {
            return false;
        }
        auto work = std::move(posted_.front());
        posted_.pop_front();
        work();
        return true;
    }
    void drain() {
        while (runOne()) {
        }
    }

  private:
    std::deque<std::function<void()>> posted_;
    platform::Hwnd nextHandle_ = 0x1000;
};

CoreWindow::CoreWindow(CorePlatform& platform, platform::Hwnd handle)
    : platform_(platform), handle_(handle) {
    ++platform_.windows;
}

CoreWindow::~CoreWindow() {
    --platform_.windows;
}

void CoreWindow::runModalLoop() {
    modalEnded_ = false;
    while (!modalEnded_) {
        if (!platform_.runOne()) {
            throw std::logic_error("a modal loop with nothing left to do would wait forever");
        }
    }
}

// Figures that change every 97 calls, so that refreshes both repeat and redraw.
class CoreOs final : public platform::OsCalls {
  public:
    std::int32_t GlobalMemoryStatusEx(platform::MEMORYSTATUSEX& status) override {
        const std::uint64_t total = std::uint64_t{8} << 30;
        const std::uint64_t avail = (calls_++ / 97 % 2 == 0 ? 3 : 5) * (total / 8);
        status.dwMemoryLoad = static_cast<std::uint32_t>(100 - avail * 100 / total);
        status.ullTotalPhys = total;
        status.ullAvailPhys = avail;
        return 1;
    }
    std::int32_t Shell_NotifyIconA(std::uint32_t, platform::NOTIFYICONDATAA&) override { return 1; }
    std::intptr_t SetWindowLongA(platform::Hwnd hWnd, std::int32_t,
                                 std::intptr_t dwNewLong) override {
        auto [it, added] = procs_.try_emplace(hWnd, static_cast<std::intptr_t>(hWnd) + 7);
        const std::intptr_t previous = it->second;
        it->second = dwNewLong;
        return previous;
    }
    platform::LResult CallWindowProcA(std::intptr_t, platform::Hwnd, std::uint32_t,
                                      platform::WParam, platform::LParam) override {
        return 0;
    }
    std::int32_t SetWindowPos(platform::Hwnd, std::intptr_t, std::int32_t, std::int32_t,
                              std::int32_t, std::int32_t, std::uint32_t) override {
        return 1;
    }
    std::int32_t ReleaseCapture() override { return 1; }
    platform::LResult SendMessageA(platform::Hwnd, std::uint32_t, platform::WParam,
                                   platform::LParam) override {
        return 0;
    }

  private:
    std::uint64_t calls_ = 0;
    std::map<platform::Hwnd, std::intptr_t> procs_;
};

class CoreHost final : public bench::Host {
  public:
    explicit CoreHost(CorePlatform& platform) : platform_(platform) {}
    std::string description() override {
        return "the system and the runtime core on a native layer that keeps nothing";
    }
    bench::Gauges gauges() override {
        bench::Gauges g = bench::processGauges();
        g.uiObjects = static_cast<std::int64_t>(platform_.windows);
        return g;
    }
    void drain() override { platform_.drain(); }
    std::string gfxLabel() override { return "-"; }
    std::string uiLabel() override { return "windows"; }

  private:
    CorePlatform& platform_;
};

}  // namespace

int main(int argc, char** argv) {
    bench::SoakOptions options;
    if (!bench::parseOptions(argc, argv, options, std::cerr)) {
        return 2;
    }
    CorePlatform native;
    CoreHost host(native);
    bench::ProbePlatform probe(native, nullptr);
    namespace identity = app::identity;
    core::Runtime runtime(probe, core::Identity{std::string(identity::kTitle), identity::kMajor,
                                                identity::kMinor, identity::kRevision});
    CoreOs os;
    runtime.dispatch("Main", [&] { app::Main(runtime, os); });
    native.drain();

    bench::Soak soak(probe, host, options);
    std::vector<bench::PhaseResult> results;
    results.push_back(soak.ticks());
    results.push_back(soak.aboutCycles());
    results.push_back(soak.popupCycles());
    return bench::report(std::cout, host, options, results, probe) ? 0 : 1;
}

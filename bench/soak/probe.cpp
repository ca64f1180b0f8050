#include "probe.h"

#include <algorithm>
#include <exception>

#include "platform/layout.h"

namespace pelmora::bench {

namespace {

constexpr std::size_t kKeptReportLines = 20;

bool sameCaption(std::string_view shown, std::string_view wanted) {
    std::string plain;
    for (char c : shown) {
        if (c != '&') {
            plain += c;
        }
    }
    return plain == wanted;
}

}  // namespace

std::optional<std::size_t> rowCaptioned(std::span<const core::PopupRow> rows,
                                        std::string_view caption) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].separator && sameCaption(rows[i].caption, caption)) {
            return i;
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------

ProbeWindow::ProbeWindow(ProbePlatform& probe, std::unique_ptr<core::NativeWindow> real,
                         core::WindowInput& input, std::string_view name)
    : probe_(probe), real_(std::move(real)), input_(input), name_(name) {
    probe_.windows_.push_back(this);
}

ProbeWindow::~ProbeWindow() {
    std::erase(probe_.windows_, this);
}

void ProbeWindow::build(std::span<const core::WidgetSpec> widgets) {
    for (const core::WidgetSpec& shape : widgets) {
        if (shape.kind != platform::ControlKind::CommandButton) {
            continue;
        }
        if (!button_ || shape.isDefault || shape.isCancel) {
            button_ = shape.id;
        }
    }
    real_->build(widgets);
}

void ProbeWindow::setOwner(const core::NativeWindow* owner) {
    // The backend knows its own windows, not this layer's.
    const auto* probed = dynamic_cast<const ProbeWindow*>(owner);
    real_->setOwner(probed != nullptr ? probed->real_.get() : owner);
}

void ProbeWindow::runModalLoop() {
    ++modalDepth_;
    ++probe_.modalLoopsRun;
    if (probe_.onModalLoop) {
        auto then = std::move(probe_.onModalLoop);
        probe_.onModalLoop = nullptr;
        probe_.post([this, then = std::move(then)] { then(*this); });
    }
    try {
        real_->runModalLoop();
    } catch (...) {
        --modalDepth_;
        throw;
    }
    --modalDepth_;
}

std::optional<std::size_t> ProbeWindow::popupMenu(std::span<const core::PopupRow> rows,
                                                  std::optional<core::PixelPoint> at) {
    ++probe_.popupsShown;
    switch (probe_.popupMode) {
        case PopupMode::Choose:
            ++probe_.popupsChosen;
            return rowCaptioned(rows, probe_.chooseCaption);
        case PopupMode::Dismiss:
            if (probe_.dismissPopup_) {
                probe_.dismissPopup_();
            }
            return real_->popupMenu(rows, at);
        case PopupMode::Native:
            break;
    }
    return real_->popupMenu(rows, at);
}

void ProbeWindow::startTimer(core::WidgetId timer, int /*intervalMs*/) {
    // The soak ticks the timer itself; the backend's own timer is never started.
    if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) {
        timers_.push_back(timer);
    }
}

void ProbeWindow::stopTimer(core::WidgetId timer) {
    std::erase(timers_, timer);
}

// ---------------------------------------------------------------------------------------------

core::Interposer interposeProbe(ProbePlatform*& made, std::function<void()> dismissPopup) {
    return [&made, dismissPopup = std::move(dismissPopup)](core::NativePlatform& real) {
        auto probe = std::make_unique<ProbePlatform>(real, dismissPopup);
        made = probe.get();
        return std::unique_ptr<core::NativePlatform>(std::move(probe));
    };
}

ProbePlatform::ProbePlatform(core::NativePlatform& real, std::function<void()> dismissPopup)
    : real_(real), dismissPopup_(std::move(dismissPopup)) {}

ProbePlatform::~ProbePlatform() = default;

ProbeWindow* ProbePlatform::window(std::string_view formName) const noexcept {
    for (ProbeWindow* window : windows_) {
        if (window->name() == formName) {
            return window;
        }
    }
    return nullptr;
}

std::unique_ptr<core::NativeWindow> ProbePlatform::createWindow(const core::WindowSpec& shape,
                                                                core::WindowInput& input) {
    auto real = real_.createWindow(shape, input);
    return std::make_unique<ProbeWindow>(*this, std::move(real), input, shape.name);
}

void ProbePlatform::messageBox(std::string_view title, std::string_view prompt,
                               platform::MsgBoxIcon /*icon*/) {
    // A box would wait for a person; the soak notes it and goes on as if it were closed.
    std::string line = "message box: ";
    line += title;
    line += ": ";
    line += prompt;
    writeReportLine(line);
}

void ProbePlatform::quit() {
    quitRequested = true;
    real_.quit();
}

void ProbePlatform::writeReportLine(std::string_view line) noexcept {
    try {
        if (reportLines.size() < kKeptReportLines) {
            reportLines.emplace_back(line);
        }
    } catch (const std::exception&) {
        // Keeping the line is a convenience; the backend still gets it.
    }
    real_.writeReportLine(line);
}

}  // namespace pelmora::bench

// A layer between the runtime core and a backend's native platform that lets the soak drive
// the program: it passes every operation through unchanged, but keeps the windows' timers
// to itself (the soak ticks them at full speed instead of every 30 ms), remembers each
// window's input, buttons and timers, and can answer a popup menu itself or have the
// backend's real popup dismissed once it is shown.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/assembly.h"
#include "platform/core/native.h"

namespace pelmora::bench {

// What a popup menu does while the soak runs.
enum class PopupMode {
    Native,   // the backend's popup, left to the user
    Dismiss,  // the backend's popup, dismissed as soon as it is shown
    Choose,   // no popup: the row whose caption is `chooseCaption` is chosen at once
};

class ProbePlatform;

class ProbeWindow final : public core::NativeWindow {
  public:
    ProbeWindow(ProbePlatform& probe, std::unique_ptr<core::NativeWindow> real,
                core::WindowInput& input, std::string_view name);
    ~ProbeWindow() override;

    std::string_view name() const noexcept { return name_; }
    core::WindowInput& input() noexcept { return input_; }
    // Timers the core has started and not stopped, in the order they were started.
    const std::vector<core::WidgetId>& runningTimers() const noexcept { return timers_; }
    // The button Enter or Escape would choose, else the first one.
    std::optional<core::WidgetId> dialogButton() const noexcept { return button_; }
    bool inModalLoop() const noexcept { return modalDepth_ > 0; }

    platform::Hwnd handle() const override { return real_->handle(); }
    std::uintptr_t iconHandle() const override { return real_->iconHandle(); }
    void build(std::span<const core::WidgetSpec> widgets) override;
    void setCaption(std::string_view text) override { real_->setCaption(text); }
    void show(std::optional<platform::WindowState> state) override { real_->show(state); }
    void hide() override { real_->hide(); }
    void setOwner(const core::NativeWindow* owner) override;
    void setEnabled(bool enabled) override { real_->setEnabled(enabled); }
    void runModalLoop() override;
    void endModalLoop() override { real_->endModalLoop(); }
    platform::WindowState state() const override { return real_->state(); }
    void setState(platform::WindowState state) override { real_->setState(state); }
    void bringToFront() override { real_->bringToFront(); }
    void focusWidget(std::optional<core::WidgetId> widget) override { real_->focusWidget(widget); }
    core::PixelRect frame() const override { return real_->frame(); }
    void moveTo(core::PixelPoint topLeft) override { real_->moveTo(topLeft); }
    std::optional<std::size_t> popupMenu(std::span<const core::PopupRow> rows,
                                         std::optional<core::PixelPoint> at) override;
    void closePopup() override { real_->closePopup(); }
    void setAccessible(std::optional<core::WidgetId> widget, const core::Accessible& now) override {
        real_->setAccessible(widget, now);
    }
    void setText(core::WidgetId label, std::string_view text) override {
        real_->setText(label, text);
    }
    void setAlignment(core::WidgetId label, platform::Alignment alignment) override {
        real_->setAlignment(label, alignment);
    }
    void setVisible(core::WidgetId widget, bool visible) override {
        real_->setVisible(widget, visible);
    }
    void moveWidget(core::WidgetId widget, core::PixelPoint topLeft) override {
        real_->moveWidget(widget, topLeft);
    }
    void clearDrawing(core::WidgetId box) override { real_->clearDrawing(box); }
    void fillBox(core::WidgetId box, core::PixelRect area, platform::Colour colour) override {
        real_->fillBox(box, area, colour);
    }
    void repaint(core::WidgetId box) override { real_->repaint(box); }
    void startTimer(core::WidgetId timer, int intervalMs) override;
    void stopTimer(core::WidgetId timer) override;

  private:
    ProbePlatform& probe_;
    std::unique_ptr<core::NativeWindow> real_;
    core::WindowInput& input_;
    std::string name_;
    std::vector<core::WidgetId> timers_;
    std::optional<core::WidgetId> button_;
    int modalDepth_ = 0;
};

class ProbePlatform final : public core::NativePlatform {
  public:
    // dismissPopup: called just before the backend's popup opens, to have it closed again
    // once it is on the screen (a backend-specific helper of the soak's host).
    ProbePlatform(core::NativePlatform& real, std::function<void()> dismissPopup);
    ~ProbePlatform() override;

    // The live window of that form name (as the layout spells it), or nullptr.
    ProbeWindow* window(std::string_view formName) const noexcept;
    PopupMode popupMode = PopupMode::Native;
    std::string chooseCaption;
    // Run from the event loop once a window's modal loop is running (then cleared).
    std::function<void(ProbeWindow&)> onModalLoop;
    std::size_t popupsShown = 0;
    std::size_t popupsChosen = 0;
    std::size_t modalLoopsRun = 0;
    std::size_t animationTicks = 0;
    bool quitRequested = false;
    std::vector<std::string> reportLines;

    std::unique_ptr<core::NativeWindow> createWindow(const core::WindowSpec& shape,
                                                     core::WindowInput& input) override;
    bool otherInstanceRunning() override { return real_.otherInstanceRunning(); }
    std::string executableName() override { return real_.executableName(); }
    void messageBox(std::string_view title, std::string_view prompt,
                    platform::MsgBoxIcon icon) override;
    void setPointer(platform::MousePointer pointer) override { real_.setPointer(pointer); }
    std::vector<core::PixelRect> workAreas() override { return real_.workAreas(); }
    core::PixelPoint pointerPosition() override { return real_.pointerPosition(); }
    void post(std::function<void()> work) override { real_.post(std::move(work)); }
    void quit() override;
    void writeReportLine(std::string_view line) noexcept override;

  private:
    friend class ProbeWindow;

    core::NativePlatform& real_;
    std::function<void()> dismissPopup_;
    std::vector<ProbeWindow*> windows_;
};

// For a backend's assembly: puts the probe between its platform and the core, and tells
// `made` where it is.
core::Interposer interposeProbe(ProbePlatform*& made, std::function<void()> dismissPopup);

// The row a caption names, ignoring the access-key marks ("&About" is "About").
std::optional<std::size_t> rowCaptioned(std::span<const core::PopupRow> rows,
                                        std::string_view caption);

}  // namespace pelmora::bench

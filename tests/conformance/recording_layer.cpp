// The conformance suite on the recording layer: its event loop is the posted work and one tick
// of every running timer per round; a press finds the frontmost widget the way a window system
// does, keys go to the core, and Space presses the first button in the tab order.
#include <algorithm>
#include <memory>

#include "layer.h"
#include "support/rig.h"

namespace pelmora::conformance {
namespace {

using recording::RecordingPlatform;
using recording::RecordingWindow;
using recording::Widget;

// A round of the loop stands for a few milliseconds of a real one.
constexpr int kMillisecondsPerRound = 5;

class RecordingLayer final : public Layer {
  public:
    RecordingLayer()
        : platform_(std::make_unique<RecordingPlatform>()),
          runtime_(std::make_unique<core::Runtime>(*platform_, testing::builtIdentity())) {
        platform_->unbuiltWidgetFailsTest = false;
    }

    std::string_view name() const override { return "recording"; }
    core::NativePlatform& native() override { return *platform_; }
    core::Runtime& runtime() override { return *runtime_; }
    void stop() override {
        runtime_.reset();
        if (platform_) {
            reports_ = lines();
        }
        platform_.reset();
    }
    std::vector<std::string> reports() const override { return platform_ ? lines() : reports_; }

    bool waitFor(const std::function<bool()>& done, int milliseconds) override {
        for (int round = 0; round * kMillisecondsPerRound <= milliseconds; ++round) {
            if (done()) {
                return true;
            }
            platform_->runPosted();
            tickAll();
        }
        return done();
    }

    bool shown(platform::Hwnd hWnd) override { return window(hWnd).shown; }
    std::optional<Told> told(platform::Hwnd hWnd, std::optional<core::WidgetId> id) override {
        const core::Accessible& a = id ? widget(hWnd, *id).accessible : window(hWnd).accessible;
        if (a.role == core::AccessibleRole::None) {
            return std::nullopt;
        }
        return Told{a.role, a.name, a.value, a.description, a.isDefault};
    }
    std::string text(platform::Hwnd hWnd, core::WidgetId label) override {
        return widget(hWnd, label).text;
    }
    bool widgetShown(platform::Hwnd hWnd, core::WidgetId id) override {
        RecordingWindow& w = window(hWnd);
        return w.showing(widget(hWnd, id));
    }
    core::PixelPoint position(platform::Hwnd hWnd, core::WidgetId id) override {
        const Widget& w = widget(hWnd, id);
        return {w.rect.left, w.rect.top};
    }
    Drawing drawing(platform::Hwnd hWnd, core::WidgetId box, platform::PictureId) override {
        const Widget& w = widget(hWnd, box);
        Drawing shown;
        shown.width = w.rect.width - 2 * w.made.frame;
        shown.height = w.rect.height - 2 * w.made.frame;
        shown.pixels.assign(static_cast<std::size_t>(shown.width * shown.height),
                            Drawing::kUndrawn);
        for (const recording::DrawnBox& drawn : w.boxes) {
            for (int y = drawn.area.top; y < drawn.area.top + drawn.area.height; ++y) {
                for (int x = drawn.area.left; x < drawn.area.left + drawn.area.width; ++x) {
                    shown.pixels.at(static_cast<std::size_t>(y * shown.width + x)) = drawn.colour;
                }
            }
        }
        return shown;
    }
    core::PixelRect frameOf(platform::Hwnd hWnd) override { return window(hWnd).frameRect; }
    bool hourglassShown() override {
        return platform_->pointer() == platform::MousePointer::Hourglass;
    }

    void press(platform::Hwnd hWnd, core::PixelPoint at, platform::MouseButton button,
               platform::Modifiers modifiers) override {
        RecordingWindow& w = window(hWnd);
        if (!w.shown) {
            return;
        }
        std::optional<core::WidgetId> target;
        core::PixelPoint local = at;
        // Front to back within each parent, descending into the picture box that was hit.
        std::optional<core::WidgetId> parent;
        for (bool descended = true; descended;) {
            descended = false;
            for (const Widget& candidate : w.widgets) {
                const core::PixelRect& r = candidate.rect;
                if (candidate.made.parent != parent || !candidate.visible ||
                    !takesMouse(candidate) || local.x < r.left || local.y < r.top ||
                    local.x >= r.left + r.width || local.y >= r.top + r.height) {
                    continue;
                }
                target = candidate.made.id;
                local = {local.x - r.left - candidate.made.frame,
                         local.y - r.top - candidate.made.frame};
                if (candidate.kind() == platform::ControlKind::PictureBox) {
                    parent = candidate.made.id;
                    descended = true;
                }
                break;
            }
        }
        w.input.mousePressed(target, button, modifiers, local);
    }
    void clickButton(platform::Hwnd hWnd, core::WidgetId button) override {
        RecordingWindow& w = window(hWnd);
        if (w.shown && w.showing(widget(hWnd, button))) {
            w.input.buttonClicked(button);
        }
    }
    void key(platform::Hwnd hWnd, Key key) override {
        RecordingWindow& w = window(hWnd);
        if (key != Key::Space) {
            w.input.keyPressed(coreKey(key), key == Key::ShiftF10 ? platform::Modifiers{true}
                                                                  : platform::Modifiers{});
            return;
        }
        // Space presses the button with the focus, the first in the tab order.
        const Widget* chosen = nullptr;
        for (const Widget& candidate : w.widgets) {
            const core::WidgetSpec& plan = candidate.made;
            if (plan.kind == platform::ControlKind::CommandButton && w.showing(candidate) &&
                plan.tabStop && (chosen == nullptr || *plan.tabStop < *chosen->made.tabStop)) {
                chosen = &candidate;
            }
        }
        if (chosen != nullptr) {
            w.input.buttonClicked(chosen->made.id);
        }
    }
    void close(platform::Hwnd hWnd) override { window(hWnd).input.closeRequested(); }
    void answerNextPopup(PopupAnswer answer) override {
        platform_->whilePopupOpen(
            [answer = std::move(answer)](const std::vector<recording::ShownRow>& shown) {
                std::vector<Row> rows;
                for (const recording::ShownRow& row : shown) {
                    rows.push_back({row.caption, row.separator, row.checked, row.enabled});
                }
                return answer(rows);
            });
    }
    // The recording layer's boxes close themselves: it keeps each one as it was shown.
    void closeNextMessageBox() override {}
    ShownBox lastMessageBox() override {
        if (platform_->messageBoxes().empty()) {
            return {};
        }
        const recording::ShownMessageBox& box = platform_->messageBoxes().back();
        return {box.title, box.prompt, box.icon, true};
    }

  private:
    static bool takesMouse(const Widget& w) {
        const platform::ControlKind kind = w.kind();
        return w.made.enabled &&
               (kind == platform::ControlKind::Label || kind == platform::ControlKind::PictureBox ||
                kind == platform::ControlKind::Image);
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const recording::Report& report : platform_->reports()) {
            out.push_back(report.line);
        }
        return out;
    }
    void tickAll() {
        // Timers of every window, the ones running now: a tick may stop others or end the loop.
        std::vector<std::pair<platform::Hwnd, core::WidgetId>> running;
        for (const RecordingWindow* w : platform_->windows()) {
            for (const Widget& widget : w->widgets) {
                if (widget.timerInterval) {
                    running.emplace_back(w->handle(), widget.made.id);
                }
            }
        }
        for (const auto& [hWnd, id] : running) {
            RecordingWindow* w = platform_->windowByHandle(hWnd);
            if (w != nullptr && !platform_->quitRequested() &&
                std::any_of(w->widgets.begin(), w->widgets.end(), [id = id](const Widget& t) {
                    return t.made.id == id && t.timerInterval;
                })) {
                w->input.timerTicked(id);
            }
        }
    }
    RecordingWindow& window(platform::Hwnd hWnd) {
        RecordingWindow* w = platform_->windowByHandle(hWnd);
        if (w == nullptr) {
            throw std::logic_error("no window " + std::to_string(hWnd));
        }
        return *w;
    }
    Widget& widget(platform::Hwnd hWnd, core::WidgetId id) {
        for (Widget& w : window(hWnd).widgets) {
            if (w.made.id == id) {
                return w;
            }
        }
        throw std::logic_error("no widget " + std::to_string(id));
    }

    std::unique_ptr<RecordingPlatform> platform_;
    std::unique_ptr<core::Runtime> runtime_;
    std::vector<std::string> reports_;
};

std::unique_ptr<Layer> make() {
    return std::make_unique<RecordingLayer>();
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(recording, Conformance, ::testing::Values(LayerMaker{"recording", &make}),
                         layerName);

}  // namespace pelmora::conformance

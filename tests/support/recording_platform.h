// The third native layer, beside win32 and qt: it implements the native interface of the
// runtime core for the unit tests. Instead of a toolkit it keeps what a user would see (each
// widget's text, alignment, visibility, position and drawn boxes; each window's caption, state,
// stacking and modal loops; the popups shown) and records every operation in the journal. A
// test scripts what the user does: it delivers input, chooses in popups, acts while a modal
// loop runs, runs posted work, and makes chosen operations fail.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/native.h"
#include "support/journal.h"

namespace pelmora::recording {

class RecordingPlatform;

struct DrawnBox {
    core::PixelRect area;
    platform::Colour colour = 0;
    bool operator==(const DrawnBox&) const = default;
};

// A widget as it is on screen.
struct Widget {
    core::WidgetSpec made;  // as the core built it
    std::string name;       // lblTotalRam(0)
    std::string text;
    platform::Alignment alignment = platform::Alignment::Left;
    bool visible = true;
    core::PixelRect rect;         // in its parent's pixels
    std::vector<DrawnBox> boxes;  // picture boxes: drawn since the last clear
    int repaints = 0;
    std::optional<int> timerInterval;  // timers: set while ticking
    core::Accessible accessible;       // what assistive technology is told of it

    platform::ControlKind kind() const noexcept { return made.kind; }
};

// A row of a popup as it was shown.
struct ShownRow {
    std::string caption;
    bool separator = false;
    bool checked = false;
    bool enabled = true;
};

class RecordingWindow final : public core::NativeWindow {
  public:
    RecordingWindow(RecordingPlatform& platform, const core::WindowSpec& window,
                    core::WindowInput& input, platform::Hwnd handle, std::uintptr_t icon,
                    std::intptr_t defaultProc);
    ~RecordingWindow() override;

    platform::Hwnd handle() const override { return handle_; }
    std::uintptr_t iconHandle() const override { return icon_; }
    void build(std::span<const core::WidgetSpec> widgets) override;
    void setCaption(std::string_view text) override;
    void show(std::optional<platform::WindowState> state) override;
    void hide() override;
    void setOwner(const NativeWindow* owner) override;
    void setEnabled(bool enabled) override;
    void runModalLoop() override;
    void endModalLoop() override;
    platform::WindowState state() const override;
    void setState(platform::WindowState state) override;
    void bringToFront() override;
    void focusWidget(std::optional<core::WidgetId> widget) override;
    core::PixelRect frame() const override;
    void moveTo(core::PixelPoint topLeft) override;
    std::optional<std::size_t> popupMenu(std::span<const core::PopupRow> rows,
                                         std::optional<core::PixelPoint> at) override;
    void closePopup() override;
    void setText(core::WidgetId label, std::string_view text) override;
    void setAccessible(std::optional<core::WidgetId> widget, const core::Accessible& now) override;
    void setAlignment(core::WidgetId label, platform::Alignment alignment) override;
    void setVisible(core::WidgetId widget, bool visible) override;
    void moveWidget(core::WidgetId widget, core::PixelPoint topLeft) override;
    void clearDrawing(core::WidgetId box) override;
    void fillBox(core::WidgetId box, core::PixelRect area, platform::Colour colour) override;
    void repaint(core::WidgetId box) override;
    void startTimer(core::WidgetId timer, int intervalMs) override;
    void stopTimer(core::WidgetId timer) override;

    // A widget by its layout name and index; a missing one is the test's own mistake.
    Widget& widget(std::string_view name, std::int16_t index = platform::kNoIndex);
    // False when the widget or one of its containers is hidden.
    bool showing(const Widget& widget) const;
    std::size_t modalLoops() const noexcept { return loops_.size(); }

    // What the user sees of the window.
    const std::string name;
    const core::WindowSpec made;  // as the core created it
    std::string caption;
    bool shown = false;
    bool enabled = true;
    std::string owner;          // the window it goes with, or empty
    core::PixelRect frameRect;  // on the desktop; made at 0,0 with the client's size
    std::string focused;        // the widget with the keyboard focus, or the window's name
    bool popupOpen = false;     // while a popup script runs
    platform::WindowState windowState;
    bool topmost = false;
    int drags = 0;  // moves started by a press on the caption
    std::vector<ShownRow> lastPopup;
    std::optional<core::PixelPoint> lastPopupAt;  // none: at the pointer
    core::Accessible accessible;                  // what assistive technology is told of it
    std::vector<Widget> widgets;

    // The window-procedure chain as the OS keeps it.
    std::intptr_t wndProc;
    const std::intptr_t defaultProc;

    // Where the window pushes its input; a test may push late or stale input here itself.
    core::WindowInput& input;

  private:
    friend class RecordingPlatform;
    Widget& at(core::WidgetId id);
    void op(const std::string& what) const;

    RecordingPlatform& platform_;
    const platform::Hwnd handle_;
    const std::uintptr_t icon_;
    std::vector<bool*> loops_;  // the running modal loops, innermost last
};

// A report line as the core wrote it, read back into handler, number and description.
struct Report {
    std::string handler;
    std::int32_t number = 0;
    std::string description;
    std::string line;
};

struct ShownMessageBox {
    std::string title;
    std::string prompt;
    platform::MsgBoxIcon icon = platform::MsgBoxIcon::None;
};

class RecordingPlatform final : public core::NativePlatform {
  public:
    RecordingPlatform();
    ~RecordingPlatform() override;

    // ---- set-up ----
    bool otherInstance = false;
    // The screens' work areas, the primary first, and where the pointer is.
    std::vector<core::PixelRect> screens{{0, 0, 1024, 768}};
    core::PixelPoint pointerAt{512, 384};
    // A widget the core names without having built it fails the running test; the conformance
    // suite, which names one on purpose, only wants it refused.
    bool unbuiltWidgetFailsTest = true;
    // The toolkit makes no more windows: createWindow fails as a toolkit does, not with an
    // error of the runtime.
    bool refuseWindows = false;
    std::string exeName = "Pelmora";
    Journal journal;

    // ---- scripts of what the user does ----
    using PopupScript = std::function<std::optional<std::size_t>(const std::vector<ShownRow>&)>;
    // The next popup: a script that may act while it is open and returns the chosen row.
    void whilePopupOpen(PopupScript script);
    // Chooses the row that reads `caption` (without its "&") in the next popup.
    void chooseInNextPopup(std::string_view caption);
    // Chooses a row by position, whatever it is (a separator, a disabled row, none at all).
    void chooseRowInNextPopup(std::size_t row);
    void dismissNextPopup();
    // What happens while the next modal loop runs. A loop still running afterwards is closed
    // as the user closes a window, by its frame.
    void whileModal(std::function<void()> script);

    // ---- input, as the user and the window system cause it; false when not delivered ----
    // (a hidden window takes no input, a stopped timer does not tick, nothing arrives once
    // the program has quit)
    bool tick(std::string_view form, std::string_view timer);
    int tickUntilStopped(std::string_view form, std::string_view timer, int limit);
    bool press(std::string_view form, std::string_view control, std::int16_t index,
               platform::MouseButton button, platform::Modifiers modifiers = {},
               core::PixelPoint at = {});
    // A press on the window's own background. On a disabled window a press reaches no widget:
    // the core hears of a blocked press.
    bool pressBackground(std::string_view form, platform::MouseButton button,
                         platform::Modifiers modifiers = {}, core::PixelPoint at = {});
    bool click(std::string_view form, std::string_view button);
    // A key typed on the window that has the focus.
    bool key(std::string_view form, core::Key key, platform::Modifiers modifiers = {});
    bool close(std::string_view form);
    bool activate(std::string_view form);
    // The window system minimises a window, as its user does from the frame or the taskbar.
    bool minimize(std::string_view form);
    // The screens change to these work areas; each window reports it.
    void changeScreens(std::vector<core::PixelRect> areas);
    // Runs the posted work, including work posted meanwhile; how many ran.
    int runPosted();
    std::size_t pendingPosts() const noexcept { return posted_.size(); }

    // ---- state ----
    // The newest window of that form that still exists, or nullptr.
    RecordingWindow* find(std::string_view form) const noexcept;
    RecordingWindow& window(std::string_view form) const;
    RecordingWindow* windowByHandle(platform::Hwnd handle) const noexcept;
    const RecordingWindow* activeWindow() const noexcept { return active_; }
    // The windows that exist, in the order they were created.
    const std::vector<RecordingWindow*>& windows() const noexcept { return windows_; }
    bool quitRequested() const noexcept { return quit_; }
    platform::MousePointer pointer() const noexcept { return pointer_; }
    const std::vector<ShownMessageBox>& messageBoxes() const noexcept { return boxes_; }
    const std::vector<Report>& reports() const noexcept { return reports_; }

    // ---- NativePlatform ----
    std::unique_ptr<core::NativeWindow> createWindow(const core::WindowSpec& made,
                                                     core::WindowInput& input) override;
    bool otherInstanceRunning() override;
    std::string executableName() override;
    void messageBox(std::string_view title, std::string_view prompt,
                    platform::MsgBoxIcon icon) override;
    void setPointer(platform::MousePointer pointer) override;
    std::vector<core::PixelRect> workAreas() override;
    core::PixelPoint pointerPosition() override;
    void post(std::function<void()> work) override;
    void quit() override;
    void writeReportLine(std::string_view line) noexcept override;

    // Called when a window goes, with its handle: the OS calls forget it.
    std::function<void(platform::Hwnd)> windowDestroyed;

  private:
    friend class RecordingWindow;
    RecordingWindow* shownWindow(std::string_view form) const;
    // A press that a disabled window takes as a blocked one; false when it goes on as usual.
    bool blocked(RecordingWindow& window, const std::string& what);
    void activateWindow(RecordingWindow& window);
    void forget(RecordingWindow& window) noexcept;
    PopupScript nextPopupScript();
    std::function<void()> nextModalScript();

    std::vector<RecordingWindow*> windows_;     // creation order
    std::vector<RecordingWindow*> activation_;  // most recently active last
    RecordingWindow* active_ = nullptr;
    int created_ = 0;
    std::deque<PopupScript> popupScripts_;
    std::deque<std::function<void()>> modalScripts_;
    std::deque<std::function<void()>> posted_;
    std::vector<ShownMessageBox> boxes_;
    std::vector<Report> reports_;
    platform::MousePointer pointer_ = platform::MousePointer::Default;
    bool quit_ = false;
};

}  // namespace pelmora::recording

// A form of the core runtime: built from its layout table on a native window, it keeps
// the state of its controls and menus, turns their calls into native pixel operations,
// and turns the native window's input into the system's events.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/coordinates.h"
#include "platform/core/native.h"
#include "platform/forms.h"

namespace pelmora::core {

class Runtime;
class CoreForm;

// How a control looks and acts, as a native layer is told: everything of the plan but its
// place, its parent and its place in the chain of focus, which depend on the whole form.
WidgetSpec widgetLook(const platform::ControlDef& def, WidgetId id);
// A window as a native layer is told, with its client area in pixels.
WindowSpec windowLook(const platform::FormDef& def, int clientWidth, int clientHeight);

class CoreLabel final : public platform::Label {
  public:
    // told: assistive technology reads the label (it is no other's shadow).
    CoreLabel(CoreForm& form, WidgetId id, const platform::ControlDef& def, bool told);
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view text) override;
    platform::Alignment alignment() const override { return alignment_; }
    void setAlignment(platform::Alignment value) override;

  private:
    CoreForm& form_;
    WidgetId id_;
    std::string caption_;
    platform::Alignment alignment_;
    bool told_;
};

class CorePictureBox final : public platform::PictureBox {
  public:
    CorePictureBox(CoreForm& form, WidgetId id, const platform::ControlDef& def, PixelRect rect,
                   int frame);
    bool visible() const override { return visible_; }
    void setVisible(bool value) override;
    float left() const override;
    void setLeft(float value) override;
    void cls() override;
    void refresh() override;
    void scale(platform::UserRect corners) override;
    void fillBox(platform::UserRect box, platform::Colour colour) override;
    void setLevel(float percent) override;

    // Hands the drawing to the native surface once the running handler returns, and only
    // when it differs from what the surface shows: a bar cleared and drawn again the same
    // costs no drawing at all. False while the form's unload may still be cancelled: the
    // drawing waits for the next handler to return.
    bool settle();

  private:
    struct Fill {
        PixelRect area;
        platform::Colour colour;
        bool operator==(const Fill&) const = default;
    };

    void changed();

    CoreForm& form_;
    WidgetId id_;
    const platform::ControlDef& def_;
    PixelRect rect_;
    UserScale scale_;
    // A meter's level, whether it changed since it was last told, and what was told.
    std::optional<float> level_;
    bool levelChanged_ = false;
    Accessible told_;
    bool visible_;
    std::vector<Fill> drawing_;
    std::vector<Fill> shown_;
    // False once handing a drawing over failed: the surface's state is unknown.
    bool shownKnown_ = true;
    bool queued_ = false;
};

class CoreTimer final : public platform::Timer {
  public:
    CoreTimer(CoreForm& form, WidgetId id, const platform::ControlDef& def);
    bool enabled() const override { return enabled_; }
    void setEnabled(bool value) override;

    // Starts the native timer when enabled with an interval; stop() ends it for good.
    void start();
    void stop();
    const std::string& handler() const noexcept { return handler_; }
    platform::ControlName name() const noexcept { return name_; }
    // A tick is not taken while the last one's handler still runs (in a modal loop).
    bool running = false;

  private:
    CoreForm& form_;
    WidgetId id_;
    platform::ControlName name_;
    std::string handler_;
    int interval_;
    bool enabled_;
    bool started_ = false;
    bool stopped_ = false;
};

class CoreMenu final : public platform::Menu {
  public:
    CoreMenu(CoreForm& owner, platform::ControlName name) : owner(owner), name(name) {}
    CoreForm& owner;
    const platform::ControlName name;
};

class CoreMenuItem final : public platform::MenuItem {
  public:
    CoreMenuItem(CoreForm& form, const platform::MenuDef& def)
        : def(def), form_(form), checked_(def.checked) {}
    bool checked() const override { return checked_; }
    void setChecked(bool value) override;

    const platform::MenuDef& def;

  private:
    CoreForm& form_;
    bool checked_;
};

class CoreForm final : public platform::Form, private WindowInput {
  public:
    // Builds the native window hidden, with every control; the layout outlives the form.
    CoreForm(Runtime& runtime, const platform::FormLayout& layout, platform::FormEvents& events);
    ~CoreForm() override;

    platform::Hwnd hWnd() const override;
    std::uintptr_t iconHandle() const override;
    platform::WindowState windowState() const override;
    void setWindowState(platform::WindowState state) override;
    void setFocus() override;
    void popupMenu(platform::Menu& menu) override;
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view text) override;
    void show(platform::ShowMode mode) override;
    platform::Label& label(platform::ControlName name, std::int16_t index) override;
    platform::PictureBox& pictureBox(platform::ControlName name) override;
    platform::Timer& timer(platform::ControlName name) override;
    platform::Menu& menu(platform::ControlName name) override;
    platform::MenuItem& menuItem(platform::ControlName name, std::int16_t index) override;

    std::string_view name() const noexcept { return layout_.form.name; }
    platform::FormEvents& events() noexcept { return events_; }
    const NativeWindow& window() const noexcept { return *window_; }
    bool loaded() const noexcept { return loaded_; }
    bool unloading = false;
    bool inModalLoop() const noexcept { return modalLoop_; }
    double perPixel() const noexcept { return perPixel_; }
    // The native window, for a control's operation; raises when the form is unloaded.
    NativeWindow& live();
    Runtime& runtime() noexcept { return runtime_; }

    void startTimers();
    // The form stops for good: its timers stop, its window hides, a modal show returns.
    void retire() noexcept;
    // Brings the window in front, restored when it was minimised.
    void bringBack();
    // Brings the window back onto a screen after the screens changed.
    void keepOnScreen(std::span<const PixelRect> areas);
    void closePopup();
    bool shown() const noexcept { return shown_; }

  private:
    void mousePressed(std::optional<WidgetId> control, platform::MouseButton button,
                      platform::Modifiers modifiers, PixelPoint at) noexcept override;
    void buttonClicked(WidgetId button) noexcept override;
    void timerTicked(WidgetId timer) noexcept override;
    void closeRequested() noexcept override;
    void activated() noexcept override;
    void keyPressed(Key key, platform::Modifiers modifiers) noexcept override;
    void popupChosen(std::size_t row) noexcept override;
    void blockedPress() noexcept override;
    void screensChanged() noexcept override;
    // Puts the window where it goes when first shown, over its owner if it has one.
    void place();
    // The first button by tab order that can take the focus; none: the window takes it.
    std::optional<WidgetId> firstFocus() const noexcept;
    // A modal box disables the other forms; a form stays disabled while any box blocks it.
    void block();
    void unblock() noexcept;
    // Enables again the forms this form's modal show blocked.
    void releaseBlocked() noexcept;
    // Runs the click of a row of the last popup opened on this window.
    void choose(std::size_t row);
    // Opens a menu of this program at a desktop point, or at the pointer.
    void openPopup(platform::Menu& target, std::optional<PixelPoint> at);
    // The button Enter (the default) or Escape (the cancel one) chooses, if it can be.
    std::optional<WidgetId> dialogButton(Key key) const noexcept;
    // After a modal show: the keyboard focus goes back to the form it was shown over.
    void focusOwnerAgain() noexcept;

    // The control of that name, index and kind; raises the runtime's lookup errors.
    platform::RuntimeObject& control(platform::ControlName name, std::int16_t index,
                                     platform::ControlKind kind);

    // A name of the layout's tables, packed: a lookup runs at every refresh, and reading
    // these few lines costs far less than reading every definition.
    struct Named {
        const char* text;
        std::uint32_t size;
        std::int16_t index;
        platform::ControlKind kind;  // a control's; menu items leave it unset
        std::string_view name() const noexcept { return {text, size}; }
    };
    struct Lookup {
        std::size_t slot;  // the table's size when nothing has that name and index
        bool named;        // something has that name, whatever its index
    };
    static Named named(platform::ControlName name, std::int16_t index, platform::ControlKind kind);
    static Lookup lookup(const std::vector<Named>& table, platform::ControlName name,
                         std::int16_t index) noexcept;
    std::vector<WidgetSpec> widgetSpecs() const;
    // The widgets in the order they are built and stacked.
    std::vector<WidgetSpec> stacked(std::vector<WidgetSpec> specs) const;

    Runtime& runtime_;
    const platform::FormLayout layout_;
    platform::FormEvents& events_;
    double perPixel_;
    std::unique_ptr<NativeWindow> window_;
    std::string caption_;
    // Parallel to the layout's tables; null for controls without state (lines, images).
    std::vector<std::unique_ptr<platform::RuntimeObject>> controls_;
    std::vector<std::unique_ptr<CoreMenuItem>> items_;
    std::vector<std::unique_ptr<CoreMenu>> menus_;
    std::vector<Named> controlNames_;  // parallel to the layout's controls
    std::vector<Named> itemNames_;     // parallel to items_
    // The items of the last popup opened on this window, and the form they belong to.
    CoreForm* popupOwner_ = nullptr;
    std::vector<const platform::MenuDef*> popupItems_;
    // The forms this form's modal show disabled, and how many modal shows block this one.
    std::vector<CoreForm*> blocked_;
    int blockers_ = 0;
    // What assistive technology was last told of the window.
    Accessible told_;
    // The form this one was shown over, by name; empty: none.
    std::string_view shownOver_;
    bool loaded_ = true;
    bool shown_ = false;
    bool modalLoop_ = false;
};

}  // namespace pelmora::core

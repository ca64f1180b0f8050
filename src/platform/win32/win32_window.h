// A form's native window on Windows: a top-level window of a pixel geometry and style with
// its widgets, timers, modal loop and popups. Its window procedure turns presses, button
// clicks, timer ticks, close requests and activation into the core's WindowInput.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/native.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_widgets.h"

namespace pelmora::win32 {

class Win32Platform;

class Win32Window final : public core::NativeWindow {
  public:
    Win32Window(Win32Platform& platform, const core::WindowSpec& geometry,
                core::WindowInput& input);
    ~Win32Window() override;

    platform::Hwnd handle() const override { return reinterpret_cast<platform::Hwnd>(hwnd()); }
    std::uintptr_t iconHandle() const override;
    void build(std::span<const core::WidgetSpec> widgets) override;
    void setCaption(std::string_view text) override;
    void show(std::optional<platform::WindowState> state) override;
    void hide() override;
    void setOwner(const core::NativeWindow* owner) override;
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
    void setText(core::WidgetId label, std::string_view text) override {
        widgetAs<LabelWidget>(label).setText(text);
    }
    void setAccessible(std::optional<core::WidgetId> widget, const core::Accessible& now) override;
    void setAlignment(core::WidgetId label, platform::Alignment alignment) override {
        widgetAs<LabelWidget>(label).setAlignment(alignment);
    }
    void setVisible(core::WidgetId id, bool visible) override {
        widgetAs<Widget>(id).setVisible(visible);
    }
    void moveWidget(core::WidgetId id, core::PixelPoint topLeft) override {
        widgetAs<Widget>(id).moveTo(topLeft);
    }
    void clearDrawing(core::WidgetId box) override { widgetAs<PictureBoxWidget>(box).clear(); }
    void fillBox(core::WidgetId box, core::PixelRect area, platform::Colour colour) override {
        widgetAs<PictureBoxWidget>(box).fill(area, colour);
    }
    void repaint(core::WidgetId box) override { widgetAs<PictureBoxWidget>(box).repaint(); }
    void startTimer(core::WidgetId timer, int intervalMs) override;
    void stopTimer(core::WidgetId timer) override;

    HWND hwnd() const noexcept { return hwnd_.get(); }
    // Forms with buttons take Tab, Enter and Escape as a dialog does.
    bool hasDialogKeys() const noexcept { return dialogKeys_; }
    // The window of a handle of the form class, or null.
    static Win32Window* of(HWND hwnd) noexcept;
    // The windows of the forms of this thread.
    static std::vector<HWND> formWindows();
    // The widget of an id, or null (a timer, or no such widget).
    Widget* widget(core::WidgetId id) const noexcept {
        return id < widgets_.size() ? widgets_[id].get() : nullptr;
    }

    // For forms and the picture boxes on them.
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    // The form's own window, or the failure of a window that is gone.
    HWND live() const;
    LRESULT handle(PictureBoxWidget* box, HWND self, UINT msg, WPARAM wParam, LPARAM lParam);
    // The window moved to a screen of another DPI: laid out again at it, where the system
    // suggests.
    void dpiChanged(int dpi, const RECT& suggested);
    // Lays the window and every widget out again at a DPI; the window's top left goes where
    // given, or stays.
    void rescale(int dpi, std::optional<POINT> topLeft = std::nullopt);
    // The window's outer size at a DPI.
    SIZE outerSize(int dpi) const noexcept;
    void setIcons();
    // Paints the form, or a picture box on it, through an off-screen buffer.
    void paint(HWND self, const PictureBoxWidget* box);
    void pressed(const std::vector<Widget*>& surface, std::optional<core::WidgetId> owner, UINT msg,
                 WPARAM keys, POINT at) noexcept;
    void command(WORD id, WORD code) noexcept;
    // Creates the child windows of a parent, front to back, and theirs.
    void createChildren(std::span<const core::WidgetSpec> widgets,
                        std::optional<core::WidgetId> parent, HWND parentHwnd);
    // Gives the focus back as the window is activated again.
    void focusAgain() noexcept;
    void forgetChildWindows() noexcept;
    // A widget of that kind on a window that is still there, or the failure of either.
    template <typename Kind>
    Kind& widgetAs(core::WidgetId id) const {
        Kind* found = dynamic_cast<Kind*>(widget(id));
        live();
        if (found == nullptr) {
            throw std::logic_error("no such widget on " + std::string(plan_.name));
        }
        return *found;
    }
    std::vector<Widget*>& surfaceOf(std::optional<core::WidgetId> parent);

    Win32Platform& platform_;
    core::WindowSpec plan_;
    core::WindowInput& input_;
    core::Accessible told_;
    SIZE client_;  // at 96 DPI
    DWORD style_ = WS_POPUP | WS_CLIPCHILDREN;
    DWORD exStyle_ = 0;
    int dpi_;
    WindowHandle hwnd_;
    BrushHandle backBrush_;
    // Indexed by widget id; null for timers.
    std::vector<std::unique_ptr<Widget>> widgets_;
    std::vector<Widget*> shapes_;  // painted on the window itself, front to back
    bool dialogKeys_ = false;
    bool modalEnded_ = false;
    HWND focusTarget_ = nullptr;  // where the core put the focus
    HWND lastFocus_ = nullptr;
};

}  // namespace pelmora::win32

// A native window on Qt Widgets: a top-level widget of the pixel size and style the core
// asks for, with its widgets, timers, popups and modal loop, its window-procedure chain for
// the OS calls, and the user's input pushed into the core.
#pragma once

#include <QEventLoop>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/native.h"
#include "platform/linux/linux_x11.h"
#include "platform/qt/qt_widgets.h"

namespace pelmora::qt {

class QtPlatform;
class QtWindow;
class FormWidget;

// A mouse button as the core names it; none for the buttons it has no name for.
std::optional<platform::MouseButton> mouseButton(Qt::MouseButton button);

// Lies over a disabled window: it takes the presses meant for its widgets and says so.
class BlockingPane final : public QWidget {
  public:
    explicit BlockingPane(FormWidget& form);

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    FormWidget& form_;
};

// The window's own widget: paints its background colour and picture, takes presses on its
// background, the keys no widget used, and the close button.
class FormWidget final : public QWidget {
  public:
    FormWidget(QtWindow& window, QImage picture, QColor back, Qt::WindowFlags flags);
    ~FormWidget() override;

    QtWindow& window() noexcept { return window_; }
    // A blocked window takes no press and no key: presses are reported as blocked.
    void setBlocked(bool blocked);
    // Moves the window with the pointer until the button is released, for window systems
    // that cannot move it themselves.
    void startManualMove();
    void stopManualMove();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QtWindow& window_;
    QImage picture_;
    QColor back_;
    bool moving_ = false;
    QPoint moveOffset_;
    std::unique_ptr<BlockingPane> blocker_;
};

class QtWindow final : public core::NativeWindow, private PressTarget {
  public:
    QtWindow(QtPlatform& platform, const core::WindowSpec& shape, core::WindowInput& input,
             platform::Hwnd handle, std::uintptr_t iconHandle, QIcon icon);
    ~QtWindow() override;

    platform::Hwnd handle() const override { return handle_; }
    std::uintptr_t iconHandle() const override { return iconHandle_; }
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

    // The form's name in the layout, for reports about the window.
    std::string_view name() const noexcept;
    const QIcon& icon() const noexcept { return icon_; }
    FormWidget& widget() noexcept { return *widget_; }
    const FormWidget& widget() const noexcept { return *widget_; }
    // The widget of a control, or nullptr (timers have none).
    QWidget* widgetOf(core::WidgetId id) const noexcept;
    // The window procedure in place, as the OS calls keep it.
    std::intptr_t& procedure() noexcept { return procedure_; }
    // The window's own procedure: a press on the caption starts a move.
    platform::LResult defaultProcedure(std::uint32_t msg, platform::WParam wParam,
                                       platform::LParam lParam);
    bool topmost() const noexcept { return topmost_; }
    // Joins or leaves the window manager's topmost windows; position and size stay.
    void setTopmost(bool topmost);

    // From the form widget.
    void pressed(std::optional<core::WidgetId> widget, const QMouseEvent& event) override;
    void closeRequested();
    void activated();
    void keyPressed(const QKeyEvent& event);
    void blockedPress();

  private:
    void buildWidget(const core::WidgetSpec& wanted, QWidget& parent, int origin);
    void applyTitle();
    linux_os::x11::WindowId xWindow() const;
    // Tells the core of a change of the screens once they have settled.
    void watchScreens();
    void watchScreen(QScreen* screen);
    // The widget of that id and kind; anything else is an internal error of the caller.
    template <typename Widget>
    Widget& widgetAs(core::WidgetId id) const;

    QtPlatform& platform_;
    core::WindowInput& input_;
    std::string name_;
    platform::Hwnd handle_;
    std::uintptr_t iconHandle_;
    QIcon icon_;
    std::intptr_t procedure_;
    QString caption_;
    std::unique_ptr<FormWidget> widget_;
    // By widget id; none for a timer.
    std::vector<QWidget*> entries_;
    // The widgets that take the focus, by their place in the chain.
    std::vector<QWidget*> tabChain_;
    std::vector<QPointer<QTimer>> timers_;
    QPointer<QMenu> popup_;
    QEventLoop* modalLoop_ = nullptr;
    bool topmost_ = false;
    QTimer* screenCheck_ = nullptr;
    // Set once the window is being destroyed: input that arrives then goes nowhere.
    bool gone_ = false;
};

}  // namespace pelmora::qt

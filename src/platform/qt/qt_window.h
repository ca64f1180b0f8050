// A form on Qt Widgets, built from its layout table: a top-level window with its controls,
// menus and timers, its window-procedure chain, and the events it hands to the system.
#pragma once

#include <QEventLoop>
#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/forms.h"
#include "platform/layout.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_wndproc.h"

namespace pelmora::qt {

class QtRuntime;
class QtForm;

// The form's own window: paints its background colour and picture, takes presses on its
// background, Enter and Escape for its default and cancel buttons, and the close button.
class FormWidget final : public QWidget {
  public:
    FormWidget(QtForm& form, QImage picture, QColor back, Qt::WindowFlags flags);

    void setDefaultButton(QPushButton* button) { default_ = button; }
    void setCancelButton(QPushButton* button) { cancel_ = button; }
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
    QtForm& form_;
    QImage picture_;
    QColor back_;
    QPointer<QPushButton> default_;
    QPointer<QPushButton> cancel_;
    bool moving_ = false;
    QPoint moveOffset_;
};

class QtForm final : public platform::Form {
  public:
    // Builds the window hidden, with every control; a table that cannot be built throws Error.
    // The layout's tables must outlive the form.
    QtForm(QtRuntime& runtime, const platform::FormLayout& layout, platform::FormEvents& events,
           platform::Hwnd handle, std::uintptr_t iconHandle, const QIcon& icon);
    ~QtForm() override;

    platform::Hwnd hWnd() const override { return handle_; }
    std::uintptr_t iconHandle() const override { return iconHandle_; }
    std::int16_t windowState() const override;
    void setWindowState(std::int16_t state) override;
    void setFocus() override;
    void popupMenu(platform::Menu& menu) override;
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view text) override;
    void show(std::int16_t modal) override;
    platform::Label& label(std::string_view name, std::int16_t index = platform::kNoIndex) override;
    platform::PictureBox& pictureBox(std::string_view name) override;
    platform::Timer& timer(std::string_view name) override;
    platform::Menu& menu(std::string_view name) override;
    platform::MenuItem& menuItem(std::string_view name,
                                 std::int16_t index = platform::kNoIndex) override;

    std::string_view name() const noexcept { return layout_.form.name; }
    const platform::FormLayout& layout() const noexcept { return layout_; }
    platform::FormEvents& events() noexcept { return events_; }
    FormWidget& widget() noexcept { return *widget_; }
    QtRuntime& runtime() noexcept { return runtime_; }
    bool loaded() const noexcept { return loaded_; }
    bool unloading() const noexcept { return unloading_; }
    void setUnloading(bool value) noexcept { unloading_ = value; }
    bool modal() const noexcept { return modalLoop_ != nullptr; }
    Units units() const noexcept { return units_; }
    WindowProcChain& procedures() noexcept { return chain_; }
    bool topmost() const noexcept { return topmost_; }
    // Joins or leaves the window manager's topmost windows; position and size stay.
    void setTopmost(bool topmost);
    // "frmmain MainTimer_Timer"; an empty control names the form itself.
    std::string handlerName(std::string_view control, std::string_view event) const;

    // The form stops for good: its timers stop, its window hides, a modal show returns.
    void retire();

    // From the widgets.
    void mousePressed(const ControlId& id, QMouseEvent& event);
    void timerTicked(const QtTimer& timer);
    void buttonClicked(const ControlId& id);
    void menuChosen(QAction& action);
    void systemActivated();
    void closeRequested();

  private:
    struct ControlEntry {
        std::string_view name;
        std::int16_t index;
        platform::ControlKind kind;
        QWidget* widget;
        platform::RuntimeObject* object;
    };
    struct MenuEntry {
        std::string_view name;
        std::int16_t index;
        QtMenu* menu;
        QtMenuItem* item;
    };

    void build();
    void buildControls();
    void buildControl(const platform::ControlDef& def, QWidget& parent, int origin);
    void stackControls();
    void buildMenus();
    void placeForFirstShow();
    void focusFirst();
    platform::LResult defaultProcedure(std::uint32_t msg, platform::WParam wParam,
                                       platform::LParam lParam);
    const ControlEntry& find(std::string_view name, std::int16_t index,
                             platform::ControlKind kind) const;
    const MenuEntry& findMenu(std::string_view name, std::int16_t index, bool wantMenu) const;
    void applyTitle();

    QtRuntime& runtime_;
    platform::FormLayout layout_;
    platform::FormEvents& events_;
    platform::Hwnd handle_;
    std::uintptr_t iconHandle_;
    QIcon icon_;
    Units units_;
    WindowProcChain chain_;
    std::string caption_;
    std::unique_ptr<FormWidget> widget_;
    std::vector<ControlEntry> controls_;
    std::vector<MenuEntry> menus_;
    std::vector<std::unique_ptr<platform::RuntimeObject>> objects_;
    std::vector<std::pair<int, QWidget*>> tabOrder_;
    bool loaded_ = true;
    bool unloading_ = false;
    bool placed_ = false;
    bool topmost_ = false;
    QEventLoop* modalLoop_ = nullptr;
};

}  // namespace pelmora::qt

#include "platform/qt/qt_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "platform/errors.h"
#include "platform/qt/qt_runtime.h"
#include "platform/qt/qt_style.h"
#include "platform/qt/qt_x11.h"
#include "platform/win_constants.h"

namespace pelmora::qt {

namespace {

platform::Error badLayout(std::string_view form, const std::string& what) {
    return {platform::errnum::InvalidProcedureCall,
            "Invalid procedure call or argument: form '" + std::string(form) + "': " + what};
}

std::string controlName(std::string_view name, std::int16_t index) {
    std::string text(name);
    if (index != platform::kNoIndex) {
        text += '(' + std::to_string(index) + ')';
    }
    return text;
}

const char* kindName(platform::ControlKind kind) {
    switch (kind) {
        case platform::ControlKind::Label:
            return "label";
        case platform::ControlKind::PictureBox:
            return "picture box";
        case platform::ControlKind::Line:
            return "line";
        case platform::ControlKind::Image:
            return "image";
        case platform::ControlKind::CommandButton:
            return "command button";
        case platform::ControlKind::Timer:
            return "timer";
    }
    return "control";
}

// Child windows are drawn in front of every windowless control of the same parent.
bool windowed(platform::ControlKind kind) {
    return kind == platform::ControlKind::PictureBox ||
           kind == platform::ControlKind::CommandButton;
}

std::int16_t buttonMask(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return platform::button::Left;
        case Qt::RightButton:
            return platform::button::Right;
        case Qt::MiddleButton:
            return platform::button::Middle;
        default:
            return 0;
    }
}

std::int16_t shiftMask(Qt::KeyboardModifiers modifiers) {
    std::int16_t mask = 0;
    if (modifiers & Qt::ShiftModifier) {
        mask |= 1;
    }
    if (modifiers & Qt::ControlModifier) {
        mask |= 2;
    }
    if (modifiers & Qt::AltModifier) {
        mask |= 4;
    }
    return mask;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The form's window

namespace {

// A picture in the painter's own format is copied as it is; any other (the skin is a
// paletted bitmap) would be converted again at every paint.
QImage readyToPaint(QImage picture) {
    if (!picture.isNull()) {
        picture.convertTo(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                    : QImage::Format_RGB32);
    }
    return picture;
}

}  // namespace

FormWidget::FormWidget(QtForm& form, QImage picture, QColor back, Qt::WindowFlags flags)
    : QWidget(nullptr, flags),
      form_(form),
      picture_(readyToPaint(std::move(picture))),
      back_(back) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FormWidget::startManualMove() {
    if (moving_ || QGuiApplication::mouseButtons() == Qt::NoButton) {
        return;
    }
    moving_ = true;
    moveOffset_ = QCursor::pos() - pos();
    qApp->installEventFilter(this);
}

void FormWidget::stopManualMove() {
    if (moving_) {
        moving_ = false;
        qApp->removeEventFilter(this);
    }
}

void FormWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), back_);
    if (!picture_.isNull()) {
        painter.drawImage(0, 0, picture_);
    }
}

void FormWidget::mousePressEvent(QMouseEvent* event) {
    form_.mousePressed(ControlId{&form_, {}, platform::kNoIndex}, *event);
}

void FormWidget::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    QPushButton* button = nullptr;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        button = default_;
    } else if (key == Qt::Key_Escape) {
        button = cancel_;
    }
    if (button != nullptr && button->isVisible() && button->isEnabled()) {
        button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FormWidget::closeEvent(QCloseEvent* event) {
    // The form decides: its unload handler may keep it.
    event->ignore();
    form_.closeRequested();
}

void FormWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        form_.systemActivated();
    }
    QWidget::changeEvent(event);
}

bool FormWidget::eventFilter(QObject* watched, QEvent* event) {
    if (moving_) {
        if (event->type() == QEvent::MouseButtonRelease ||
            QGuiApplication::mouseButtons() == Qt::NoButton) {
            stopManualMove();
        } else if (event->type() == QEvent::MouseMove) {
            move(QCursor::pos() - moveOffset_);
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Building the form

QtForm::QtForm(QtRuntime& runtime, const platform::FormLayout& layout, platform::FormEvents& events,
               platform::Hwnd handle, std::uintptr_t iconHandle, const QIcon& icon)
    : runtime_(runtime),
      layout_(layout),
      events_(events),
      handle_(handle),
      iconHandle_(iconHandle),
      icon_(icon),
      units_{layout.form.unit == platform::ScaleUnit::Twips
                 ? static_cast<double>(platform::kTwipsPerPixel)
                 : 1.0},
      chain_(runtime.procedures(),
             [this](std::uint32_t msg, platform::WParam wParam, platform::LParam lParam) {
                 return defaultProcedure(msg, wParam, lParam);
             }),
      caption_(layout.form.caption) {
    build();
}

QtForm::~QtForm() {
    if (widget_) {
        widget_->stopManualMove();
    }
}

void QtForm::build() {
    const platform::FormDef& def = layout_.form;
    const int width = platform::twipsToPixels(def.clientWidth);
    const int height = platform::twipsToPixels(def.clientHeight);
    if (width <= 0 || height <= 0) {
        throw badLayout(name(), "the client area is empty");
    }
    Qt::WindowFlags flags;
    if (def.border == platform::FormBorder::FixedDialog) {
        flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    } else {
        flags = (def.showInTaskbar ? Qt::Window : Qt::Tool) | Qt::FramelessWindowHint;
    }
    widget_ =
        std::make_unique<FormWidget>(*this, runtime_.picture(def.picture),
                                     toQColor(def.backColour, QApplication::palette()), flags);
    widget_->setFixedSize(width, height);
    if (!icon_.isNull()) {
        widget_->setWindowIcon(icon_);
    }
    applyTitle();
    buildControls();
    stackControls();
    buildMenus();
    if (!def.showInTaskbar) {
        x11::skipTaskbar(*widget_);
    }
    if (def.windowState != platform::winstate::Normal) {
        setWindowState(def.windowState);
    }
}

void QtForm::buildControls() {
    const auto defs = layout_.controls;
    std::vector<bool> built(defs.size(), false);
    std::size_t remaining = defs.size();
    while (remaining > 0) {
        bool progress = false;
        for (std::size_t i = 0; i < defs.size(); ++i) {
            if (built[i]) {
                continue;
            }
            const platform::ControlDef& def = defs[i];
            QWidget* parent = widget_.get();
            int origin = 0;
            if (!def.parent.empty()) {
                const auto holder =
                    std::find_if(controls_.begin(), controls_.end(), [&](const ControlEntry& e) {
                        return e.name == def.parent && e.kind == platform::ControlKind::PictureBox;
                    });
                if (holder == controls_.end()) {
                    continue;
                }
                parent = holder->widget;
                origin = static_cast<PictureWidget*>(holder->widget)->border();
            }
            buildControl(def, *parent, origin);
            built[i] = true;
            --remaining;
            progress = true;
        }
        if (!progress) {
            const auto orphan = std::find(built.begin(), built.end(), false) - built.begin();
            throw badLayout(name(), "control '" + std::string(defs[orphan].name) +
                                        "' has no picture box '" +
                                        std::string(defs[orphan].parent) + "' to sit in");
        }
    }
    std::stable_sort(tabOrder_.begin(), tabOrder_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabOrder_.size(); ++i) {
        QWidget::setTabOrder(tabOrder_[i - 1].second, tabOrder_[i].second);
    }
}

void QtForm::buildControl(const platform::ControlDef& def, QWidget& parent, int origin) {
    for (const ControlEntry& e : controls_) {
        if (e.name == def.name && e.index == def.index) {
            throw badLayout(name(),
                            "control '" + controlName(def.name, def.index) + "' is listed twice");
        }
    }
    ControlId id{this, std::string(def.name), def.index};
    const QRect geometry(origin + platform::twipsToPixels(def.left),
                         origin + platform::twipsToPixels(def.top),
                         platform::twipsToPixels(def.width), platform::twipsToPixels(def.height));
    ControlEntry entry{def.name, def.index, def.kind, nullptr, nullptr};
    switch (def.kind) {
        case platform::ControlKind::Label: {
            auto* widget = new LabelWidget(def, std::move(id), geometry, &parent);
            auto object = std::make_unique<QtLabel>(*widget);
            entry.widget = widget;
            entry.object = object.get();
            objects_.push_back(std::move(object));
            break;
        }
        case platform::ControlKind::PictureBox: {
            auto* widget = new PictureWidget(def, std::move(id), geometry,
                                             runtime_.picture(def.picture), units_, &parent);
            auto object = std::make_unique<QtPictureBox>(*widget, units_);
            entry.widget = widget;
            entry.object = object.get();
            objects_.push_back(std::move(object));
            break;
        }
        case platform::ControlKind::Line:
            entry.widget = new LineWidget(def, &parent, QPoint(origin, origin));
            break;
        case platform::ControlKind::Image:
            entry.widget = new ImageWidget(def, std::move(id), geometry,
                                           runtime_.picture(def.picture), &parent);
            break;
        case platform::ControlKind::CommandButton: {
            auto* button = new QPushButton(toQString(def.text), &parent);
            QFont font = toQFont(def.font);
            font.setStyleStrategy(QFont::PreferDefault);
            button->setFont(font);
            button->setGeometry(geometry);
            button->setAutoDefault(false);
            button->setDefault(def.isDefault);
            button->setVisible(def.visible);
            button->setEnabled(def.enabled);
            if (def.isDefault) {
                widget_->setDefaultButton(button);
            }
            if (def.isCancel) {
                widget_->setCancelButton(button);
            }
            QObject::connect(button, &QPushButton::clicked, button,
                             [this, id = std::move(id)] { buttonClicked(id); });
            entry.widget = button;
            break;
        }
        case platform::ControlKind::Timer: {
            auto object = std::make_unique<QtTimer>(def, *this, *widget_);
            entry.object = object.get();
            objects_.push_back(std::move(object));
            break;
        }
    }
    if (entry.widget != nullptr && entry.widget->focusPolicy() != Qt::NoFocus) {
        tabOrder_.emplace_back(def.tabIndex < 0 ? 0x7FFF : def.tabIndex, entry.widget);
    }
    controls_.push_back(entry);
}

void QtForm::stackControls() {
    // The table lists each parent's controls front to back: raise them back to front.
    for (const bool windowedPass : {false, true}) {
        const auto defs = layout_.controls;
        for (auto it = defs.rbegin(); it != defs.rend(); ++it) {
            if (windowed(it->kind) != windowedPass) {
                continue;
            }
            for (const ControlEntry& e : controls_) {
                if (e.widget != nullptr && e.name == it->name && e.index == it->index) {
                    e.widget->raise();
                }
            }
        }
    }
}

void QtForm::buildMenus() {
    const auto defs = layout_.menus;
    const auto holdsItems = [&](std::string_view menuName) {
        return std::any_of(defs.begin(), defs.end(),
                           [&](const platform::MenuDef& d) { return d.parent == menuName; });
    };
    // Menus that hold items first, so that items may name any of them as their parent.
    std::vector<QtMenu*> own(defs.size(), nullptr);
    for (std::size_t i = 0; i < defs.size(); ++i) {
        const platform::MenuDef& def = defs[i];
        if (def.parent.empty() || holdsItems(def.name)) {
            auto* qmenu = new QMenu(toQString(def.caption), widget_.get());
            auto object = std::make_unique<QtMenu>(*qmenu, *this);
            own[i] = object.get();
            objects_.push_back(std::move(object));
        }
    }
    for (std::size_t i = 0; i < defs.size(); ++i) {
        const platform::MenuDef& def = defs[i];
        for (const MenuEntry& e : menus_) {
            if (e.name == def.name && e.index == def.index) {
                throw badLayout(name(),
                                "menu '" + controlName(def.name, def.index) + "' is listed twice");
            }
        }
        QAction* action = nullptr;
        if (def.parent.empty()) {
            action = own[i]->menu().menuAction();
        } else {
            QtMenu* parent = nullptr;
            for (std::size_t j = 0; j < defs.size() && parent == nullptr; ++j) {
                if (own[j] != nullptr && defs[j].name == def.parent) {
                    parent = own[j];
                }
            }
            if (parent == nullptr) {
                throw badLayout(name(), "menu '" + controlName(def.name, def.index) +
                                            "' has no menu '" + std::string(def.parent) + "'");
            }
            if (own[i] != nullptr) {
                action = parent->menu().addMenu(&own[i]->menu());
            } else if (def.caption == "-") {
                action = parent->menu().addSeparator();
            } else {
                action = parent->menu().addAction(toQString(def.caption));
            }
        }
        auto item = std::make_unique<QtMenuItem>(def, *action, own[i] == nullptr);
        menus_.push_back(MenuEntry{def.name, def.index, own[i], item.get()});
        objects_.push_back(std::move(item));
    }
}

// ---------------------------------------------------------------------------------------------
// Form operations

std::string QtForm::handlerName(std::string_view control, std::string_view event) const {
    std::string text(name());
    text += ' ';
    text += control.empty() ? std::string_view("Form") : control;
    text += '_';
    text += event;
    return text;
}

void QtForm::applyTitle() {
    // A form without a caption is still named on screen, so people and tools can find it.
    widget_->setWindowTitle(toQString(caption_.empty() ? runtime_.title() : caption_));
}

void QtForm::setCaption(std::string_view text) {
    caption_.assign(text);
    applyTitle();
}

std::int16_t QtForm::windowState() const {
    const Qt::WindowStates state = widget_->windowState();
    if (state & Qt::WindowMinimized) {
        return platform::winstate::Minimized;
    }
    if (state & Qt::WindowMaximized) {
        return platform::winstate::Maximized;
    }
    return platform::winstate::Normal;
}

void QtForm::setWindowState(std::int16_t state) {
    Qt::WindowStates next = widget_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (state) {
        case platform::winstate::Normal:
            break;
        case platform::winstate::Minimized:
            next |= Qt::WindowMinimized;
            break;
        case platform::winstate::Maximized:
            next |= Qt::WindowMaximized;
            break;
        default:
            throw platform::Error(380,
                                  "Invalid property value: window state " + std::to_string(state));
    }
    widget_->setWindowState(next);
}

void QtForm::setFocus() {
    if (!loaded_ || !widget_->isVisible() || !widget_->isEnabled()) {
        throw platform::Error(
            platform::errnum::InvalidProcedureCall,
            "Invalid procedure call or argument: form '" + std::string(name()) + "' is not shown");
    }
    widget_->raise();
    widget_->activateWindow();
}

void QtForm::popupMenu(platform::Menu& menu) {
    auto* popup = dynamic_cast<QtMenu*>(&menu);
    if (popup == nullptr) {
        throw platform::Error(platform::errnum::InvalidProcedureCall,
                              "Invalid procedure call or argument: not a menu of this program");
    }
    if (runtime_.stopped() || popup->menu().isVisible()) {
        return;
    }
    auto hold = runtime_.busy();
    QAction* chosen = popup->menu().exec(QCursor::pos());
    if (chosen != nullptr) {
        popup->owner().menuChosen(*chosen);
    }
}

void QtForm::show(std::int16_t modal) {
    if (modal != 0 && modal != 1) {
        throw platform::Error(platform::errnum::InvalidProcedureCall,
                              "Invalid procedure call or argument: modal must be 0 or 1");
    }
    if (!loaded_) {
        throw platform::Error(
            platform::errnum::InvalidProcedureCall,
            "Invalid procedure call or argument: form '" + std::string(name()) + "' is unloaded");
    }
    if (modal == 1 && (modalLoop_ != nullptr || widget_->isVisible())) {
        throw platform::Error(400, "Form already displayed; can't show modally");
    }
    auto hold = runtime_.busy();
    placeForFirstShow();
    if (modal == 1) {
        const bool owned = widget_->windowHandle() != nullptr &&
                           widget_->windowHandle()->transientParent() != nullptr;
        widget_->setWindowModality(owned ? Qt::WindowModal : Qt::ApplicationModal);
    }
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
    focusFirst();
    runtime_.formActivated(*this);
    if (modal == 0 || !loaded_ || runtime_.stopped()) {
        return;
    }
    QEventLoop loop;
    modalLoop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
}

void QtForm::placeForFirstShow() {
    if (placed_) {
        return;
    }
    placed_ = true;
    QtForm* owner = runtime_.ownerFor(*this);
    if (owner != nullptr && owner->widget().isVisible() &&
        layout_.form.startUp == platform::StartUpPosition::CenterOwner) {
        widget_->winId();
        if (widget_->windowHandle() != nullptr) {
            widget_->windowHandle()->setTransientParent(owner->widget().windowHandle());
        }
    }
    QRect area;
    switch (layout_.form.startUp) {
        case platform::StartUpPosition::Manual:
            return;
        case platform::StartUpPosition::CenterOwner:
            if (owner != nullptr && owner->widget().isVisible()) {
                area = owner->widget().frameGeometry();
                break;
            }
            [[fallthrough]];
        case platform::StartUpPosition::CenterScreen:
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                area = screen->availableGeometry();
            }
            break;
    }
    if (area.isValid()) {
        const QSize size = widget_->size();
        widget_->move(area.x() + (area.width() - size.width()) / 2,
                      area.y() + (area.height() - size.height()) / 2);
    }
}

void QtForm::focusFirst() {
    for (const auto& [tabIndex, candidate] : tabOrder_) {
        if (candidate->isVisible() && candidate->isEnabled()) {
            candidate->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

const QtForm::ControlEntry& QtForm::find(std::string_view controlName_, std::int16_t index,
                                         platform::ControlKind kind) const {
    bool named = false;
    for (const ControlEntry& e : controls_) {
        if (e.name != controlName_) {
            continue;
        }
        named = true;
        if (e.index != index) {
            continue;
        }
        if (e.kind != kind || e.object == nullptr) {
            throw platform::Error(13, "Type mismatch: '" + controlName(e.name, e.index) +
                                          "' is not a " + kindName(kind));
        }
        return e;
    }
    if (named) {
        throw platform::Error(
            platform::errnum::ControlArrayElementMissing,
            "Control array element '" + controlName(controlName_, index) + "' doesn't exist");
    }
    throw platform::Error(platform::errnum::ControlNotFound,
                          "Control '" + std::string(controlName_) + "' not found on form '" +
                              std::string(name()) + "'");
}

const QtForm::MenuEntry& QtForm::findMenu(std::string_view menuName, std::int16_t index,
                                          bool wantMenu) const {
    bool named = false;
    for (const MenuEntry& e : menus_) {
        if (e.name != menuName) {
            continue;
        }
        named = true;
        if (e.index != index) {
            continue;
        }
        if (wantMenu && e.menu == nullptr) {
            throw platform::Error(
                13, "Type mismatch: '" + controlName(e.name, e.index) + "' holds no items");
        }
        return e;
    }
    if (named) {
        throw platform::Error(
            platform::errnum::ControlArrayElementMissing,
            "Control array element '" + controlName(menuName, index) + "' doesn't exist");
    }
    throw platform::Error(
        platform::errnum::ControlNotFound,
        "Control '" + std::string(menuName) + "' not found on form '" + std::string(name()) + "'");
}

platform::Label& QtForm::label(std::string_view controlName_, std::int16_t index) {
    return static_cast<platform::Label&>(
        *find(controlName_, index, platform::ControlKind::Label).object);
}

platform::PictureBox& QtForm::pictureBox(std::string_view controlName_) {
    return static_cast<platform::PictureBox&>(
        *find(controlName_, platform::kNoIndex, platform::ControlKind::PictureBox).object);
}

platform::Timer& QtForm::timer(std::string_view controlName_) {
    return static_cast<platform::Timer&>(
        *find(controlName_, platform::kNoIndex, platform::ControlKind::Timer).object);
}

platform::Menu& QtForm::menu(std::string_view menuName) {
    return *findMenu(menuName, platform::kNoIndex, true).menu;
}

platform::MenuItem& QtForm::menuItem(std::string_view menuName, std::int16_t index) {
    return *findMenu(menuName, index, false).item;
}

void QtForm::setTopmost(bool topmost) {
    topmost_ = topmost;
    x11::setAbove(*widget_, topmost);
}

void QtForm::retire() {
    loaded_ = false;
    for (const ControlEntry& e : controls_) {
        if (e.kind == platform::ControlKind::Timer) {
            static_cast<QtTimer*>(e.object)->stop();
        }
    }
    for (const MenuEntry& e : menus_) {
        if (e.menu != nullptr && e.menu->menu().isVisible()) {
            e.menu->menu().close();
        }
    }
    widget_->stopManualMove();
    widget_->hide();
    if (modalLoop_ != nullptr) {
        modalLoop_->quit();
    }
}

// ---------------------------------------------------------------------------------------------
// Events

platform::LResult QtForm::defaultProcedure(std::uint32_t msg, platform::WParam wParam,
                                           platform::LParam) {
    if (msg == platform::WM_NCLBUTTONDOWN && wParam == platform::HTCAPTION && loaded_ &&
        widget_->isVisible()) {
        // A press on the caption: the window follows the pointer until the button is released.
        QWindow* window = widget_->windowHandle();
        if (window == nullptr || !window->startSystemMove()) {
            widget_->startManualMove();
        }
    }
    return 0;
}

void QtForm::mousePressed(const ControlId& id, QMouseEvent& event) {
    const std::int16_t button = buttonMask(event.button());
    if (!loaded_ || button == 0) {
        return;
    }
    const std::int16_t shift = shiftMask(event.modifiers());
    const QPointF at = event.position();
    const auto x = static_cast<float>(at.x() * units_.perPixel);
    const auto y = static_cast<float>(at.y() * units_.perPixel);
    runtime_.dispatch(handlerName(id.name, "MouseDown"),
                      [&] { events_.onMouseDown(id.name, id.index, button, shift, x, y); });
}

void QtForm::timerTicked(const QtTimer& timer) {
    if (!loaded_) {
        return;
    }
    runtime_.dispatch(timer.handlerName(), [&] { events_.onTimer(timer.name()); });
}

void QtForm::buttonClicked(const ControlId& id) {
    if (!loaded_) {
        return;
    }
    runtime_.dispatch(handlerName(id.name, "Click"), [&] { events_.onClick(id.name, id.index); });
}

void QtForm::menuChosen(QAction& action) {
    for (const MenuEntry& e : menus_) {
        if (e.item == nullptr || &e.item->action() != &action) {
            continue;
        }
        e.item->restoreMark();
        if (!loaded_) {
            return;
        }
        const std::string_view item = e.name;
        const std::int16_t index = e.index;
        runtime_.dispatch(handlerName(item, "Click"), [&] { events_.onClick(item, index); });
        return;
    }
}

void QtForm::systemActivated() {
    if (loaded_) {
        runtime_.formActivated(*this);
    }
}

void QtForm::closeRequested() {
    if (loaded_ && !unloading_) {
        auto hold = runtime_.busy();
        runtime_.unload(*this);
    }
}

}  // namespace pelmora::qt

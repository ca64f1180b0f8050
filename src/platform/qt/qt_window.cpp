#include "platform/qt/qt_window.h"

#include <QtGui/qguiapplication_platform.h>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/emulated/window_procs.h"
#include "platform/linux/linux_x11.h"
#include "platform/qt/qt_accessible.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_style.h"
#include "platform/win_constants.h"

namespace pelmora::qt {

std::optional<platform::MouseButton> mouseButton(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return platform::MouseButton::Left;
        case Qt::RightButton:
            return platform::MouseButton::Right;
        case Qt::MiddleButton:
            return platform::MouseButton::Middle;
        default:
            return std::nullopt;
    }
}

namespace {

platform::Modifiers modifiersOf(Qt::KeyboardModifiers keys) {
    return {keys.testFlag(Qt::ShiftModifier), keys.testFlag(Qt::ControlModifier),
            keys.testFlag(Qt::AltModifier)};
}

std::optional<core::Key> keyOf(int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return core::Key::Enter;
        case Qt::Key_Escape:
            return core::Key::Escape;
        case Qt::Key_Menu:
            return core::Key::ContextMenu;
        case Qt::Key_F10:
            return core::Key::F10;
        default:
            return std::nullopt;
    }
}

// A picture in the painter's own format is copied as it is; any other (the skin is a
// paletted bitmap) would be converted again at every paint.
QImage readyToPaint(QImage picture) {
    if (!picture.isNull()) {
        picture.convertTo(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                    : QImage::Format_RGB32);
    }
    return picture;
}

Qt::WindowFlags windowFlags(const core::WindowSpec& def) {
    if (def.border == platform::FormBorder::FixedDialog) {
        return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
               Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    }
    return (def.inTaskbar ? Qt::Window : Qt::Tool) | Qt::FramelessWindowHint;
}

// How long the screens may take to settle after a change before a window is brought back.
constexpr int kScreensSettleMs = 200;

// The X display's connection, or none off X11.
xcb_connection_t* xConnection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// Positions inside a widget count from its drawing area, inside a picture box's frame.
int originOf(const QWidget* parent) {
    const auto* placed = dynamic_cast<const PlacedWidget*>(parent);
    return placed != nullptr ? placed->origin() : 0;
}

core::PixelRect pixelRect(const QRect& rect) {
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The window's own widget

FormWidget::FormWidget(QtWindow& window, QImage picture, QColor back, Qt::WindowFlags flags)
    : QWidget(nullptr, flags),
      window_(window),
      picture_(readyToPaint(std::move(picture))),
      back_(back) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

FormWidget::~FormWidget() {
    stopManualMove();
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
    window_.pressed(std::nullopt, *event);
}

void FormWidget::setBlocked(bool blocked) {
    if (!blocked) {
        blocker_.reset();
        return;
    }
    if (blocker_ != nullptr) {
        return;
    }
    // A pane over the whole window that paints nothing and takes every press.
    blocker_ = std::make_unique<BlockingPane>(*this);
    blocker_->setGeometry(rect());
    blocker_->show();
    blocker_->raise();
}

void FormWidget::keyPressEvent(QKeyEvent* event) {
    if (blocker_ != nullptr) {
        return;
    }
    if (keyOf(event->key())) {
        window_.keyPressed(*event);
        return;
    }
    QWidget::keyPressEvent(event);
}

void FormWidget::closeEvent(QCloseEvent* event) {
    // The core decides: the form's unload handler may keep it.
    event->ignore();
    window_.closeRequested();
}

void FormWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        window_.activated();
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

BlockingPane::BlockingPane(FormWidget& form) : QWidget(&form), form_(form) {}

void BlockingPane::mousePressEvent(QMouseEvent* event) {
    event->accept();
    form_.window().blockedPress();
}

// ---------------------------------------------------------------------------------------------
// Building the window

QtWindow::QtWindow(QtPlatform& platform, const core::WindowSpec& shape, core::WindowInput& input,
                   platform::Hwnd handle, std::uintptr_t iconHandle, QIcon icon)
    : platform_(platform),
      input_(input),
      name_(shape.name),
      handle_(handle),
      iconHandle_(iconHandle),
      icon_(std::move(icon)),
      procedure_(emulated::sharedOwnProcedure()),
      caption_(toQString(shape.caption)) {
    widget_ = std::make_unique<FormWidget>(*this, platform_.picture(shape.picture),
                                           toQColor(shape.backColour, QApplication::palette()),
                                           windowFlags(shape));
    widget_->setFixedSize(shape.clientWidth, shape.clientHeight);
    if (!icon_.isNull()) {
        widget_->setWindowIcon(icon_);
    }
    applyTitle();
    describe(*widget_, shape.accessible);
    if (!shape.inTaskbar) {
        linux_os::x11::skipTaskbar(xConnection(), xWindow());
    }
    watchScreens();
    platform_.windowCreated(*this);
}

QtWindow::~QtWindow() {
    gone_ = true;
    if (popup_ != nullptr) {
        popup_->close();
    }
    widget_->stopManualMove();
    platform_.windowDestroyed(*this);
}

std::string_view QtWindow::name() const noexcept {
    return name_;
}

void QtWindow::build(std::span<const core::WidgetSpec> widgets) {
    std::size_t count = 0;
    for (const core::WidgetSpec& wanted : widgets) {
        count = std::max(count, wanted.id + 1);
    }
    entries_.assign(count, nullptr);
    for (const core::WidgetSpec& wanted : widgets) {
        QWidget* parent = wanted.parent ? entries_.at(*wanted.parent) : widget_.get();
        if (parent == nullptr) {
            throw std::logic_error(std::string(wanted.name) + " comes before its box");
        }
        buildWidget(wanted, *parent, originOf(parent));
    }
    std::erase(tabChain_, nullptr);
    for (std::size_t i = 1; i < tabChain_.size(); ++i) {
        QWidget::setTabOrder(tabChain_[i - 1], tabChain_[i]);
    }
    // Each goes behind the ones listed before it: raised last to first.
    for (auto it = widgets.rbegin(); it != widgets.rend(); ++it) {
        if (QWidget* made = entries_[it->id]) {
            made->raise();
        }
    }
}

void QtWindow::buildWidget(const core::WidgetSpec& wanted, QWidget& parent, int origin) {
    const core::WidgetId id = wanted.id;
    const QRect geometry(origin + wanted.rect.left, origin + wanted.rect.top, wanted.rect.width,
                         wanted.rect.height);
    QWidget*& entry = entries_[id];
    switch (wanted.kind) {
        case platform::ControlKind::Label:
            entry = new LabelWidget(wanted, *this, geometry, &parent);
            break;
        case platform::ControlKind::PictureBox:
            entry = new PictureWidget(wanted, *this, geometry, platform_.picture(wanted.picture),
                                      &parent);
            break;
        case platform::ControlKind::Line:
            entry = new LineWidget(wanted, QPoint(origin + wanted.from.x, origin + wanted.from.y),
                                   QPoint(origin + wanted.to.x, origin + wanted.to.y), &parent);
            break;
        case platform::ControlKind::Image:
            entry = new ImageWidget(wanted, *this, geometry, platform_.picture(wanted.picture),
                                    &parent);
            break;
        case platform::ControlKind::CommandButton: {
            QPushButton* button = makeButton(wanted, geometry, &parent);
            QObject::connect(button, &QPushButton::clicked, button, [this, id] {
                if (!gone_) {
                    input_.buttonClicked(id);
                }
            });
            entry = button;
            break;
        }
        case platform::ControlKind::Timer:
            break;
    }
    if (entry != nullptr) {
        describe(*entry, wanted.accessible);
    }
    if (entry != nullptr && wanted.tabStop) {
        const auto place = static_cast<std::size_t>(*wanted.tabStop);
        tabChain_.resize(std::max(tabChain_.size(), place + 1));
        tabChain_[place] = entry;
    }
}

// ---------------------------------------------------------------------------------------------
// The window

void QtWindow::applyTitle() {
    widget_->setWindowTitle(caption_);
    if (caption_.isEmpty()) {
        linux_os::x11::clearTitle(xConnection(), xWindow());
    }
}

void QtWindow::setCaption(std::string_view text) {
    caption_ = toQString(text);
    applyTitle();
}

void QtWindow::show(std::optional<platform::WindowState> state) {
    if (state && *state != platform::WindowState::Normal) {
        setState(*state);
    }
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
    // Shown is active, also where no window manager says so.
    activated();
}

// A box stays transient for the whole program, as Qt makes a dialog without a parent: window
// managers keep it above every window of the program, and minimise it alone. Transient for its
// owner, some (openbox) would minimise the owner with it, leaving nothing to click.
void QtWindow::setOwner(const core::NativeWindow*) {}

void QtWindow::setEnabled(bool enabled) {
    widget_->setBlocked(!enabled);
}

core::PixelRect QtWindow::frame() const {
    // On X11 the frame is what the window manager says of it: Qt works it out from the window
    // tree, and while the manager is still building the frame that gives a frame 1 pixel wide,
    // kept until the window next moves.
    const WId id = widget_->internalWinId();
    const auto extents = id != 0 ? linux_os::x11::frameExtents(
                                       xConnection(), static_cast<linux_os::x11::WindowId>(id))
                                 : std::nullopt;
    if (!extents) {
        return pixelRect(widget_->frameGeometry());
    }
    const QRect client = widget_->geometry();
    return pixelRect(
        client.adjusted(-extents->left, -extents->top, extents->right, extents->bottom));
}

void QtWindow::moveTo(core::PixelPoint topLeft) {
    widget_->move(topLeft.x, topLeft.y);
}

void QtWindow::hide() {
    if (popup_ != nullptr) {
        popup_->close();
    }
    widget_->stopManualMove();
    widget_->hide();
}

void QtWindow::watchScreens() {
    screenCheck_ = new QTimer(widget_.get());
    screenCheck_->setSingleShot(true);
    screenCheck_->setInterval(kScreensSettleMs);
    QObject::connect(screenCheck_, &QTimer::timeout, widget_.get(), [this] {
        if (!gone_) {
            input_.screensChanged();
        }
    });
    QObject::connect(qApp, &QGuiApplication::screenAdded, screenCheck_, [this](QScreen* screen) {
        watchScreen(screen);
        screenCheck_->start();
    });
    QObject::connect(qApp, &QGuiApplication::screenRemoved, screenCheck_,
                     qOverload<>(&QTimer::start));
    for (QScreen* screen : QGuiApplication::screens()) {
        watchScreen(screen);
    }
}

void QtWindow::watchScreen(QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, screenCheck_, qOverload<>(&QTimer::start));
    QObject::connect(screen, &QScreen::availableGeometryChanged, screenCheck_,
                     qOverload<>(&QTimer::start));
}

// The core runs one loop per window at a time.
void QtWindow::runModalLoop() {
    QEventLoop loop;
    modalLoop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
}

void QtWindow::endModalLoop() {
    if (modalLoop_ != nullptr) {
        modalLoop_->quit();
    }
}

platform::WindowState QtWindow::state() const {
    const Qt::WindowStates state = widget_->windowState();
    return state & Qt::WindowMinimized   ? platform::WindowState::Minimized
           : state & Qt::WindowMaximized ? platform::WindowState::Maximized
                                         : platform::WindowState::Normal;
}

void QtWindow::setState(platform::WindowState state) {
    const Qt::WindowStates kept =
        widget_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    widget_->setWindowState(kept |
                            (state == platform::WindowState::Minimized   ? Qt::WindowMinimized
                             : state == platform::WindowState::Maximized ? Qt::WindowMaximized
                                                                         : Qt::WindowNoState));
}

void QtWindow::bringToFront() {
    widget_->raise();
    widget_->activateWindow();
}

void QtWindow::focusWidget(std::optional<core::WidgetId> id) {
    QWidget* target = id ? &widgetAs<QWidget>(*id) : widget_.get();
    target->setFocus(Qt::TabFocusReason);
}

void QtWindow::closePopup() {
    if (popup_ != nullptr) {
        popup_->close();
    }
}

std::optional<std::size_t> QtWindow::popupMenu(std::span<const core::PopupRow> rows,
                                               std::optional<core::PixelPoint> at) {
    // A tray host that shows the menu itself is asking for it: the rows go there, and the
    // row chosen from it comes back later.
    if (HostMenu* hostMenu = platform_.hostMenuRequest()) {
        hostMenu->fill(rows, *widget_, [this](std::size_t row) {
            if (!gone_) {
                input_.popupChosen(row);
            }
        });
        return std::nullopt;
    }
    QMenu menu(widget_.get());
    const std::vector<QAction*> actions = addRows(menu, rows);
    popup_ = &menu;
    QAction* chosen = menu.exec(at ? QPoint(at->x, at->y) : QCursor::pos());
    popup_ = nullptr;
    const auto it = std::find(actions.begin(), actions.end(), chosen);
    if (chosen == nullptr || it == actions.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - actions.begin());
}

// ---------------------------------------------------------------------------------------------
// Widgets

QWidget* QtWindow::widgetOf(core::WidgetId id) const noexcept {
    return id < entries_.size() ? entries_[id] : nullptr;
}

template <typename Widget>
Widget& QtWindow::widgetAs(core::WidgetId id) const {
    auto* widget = dynamic_cast<Widget*>(widgetOf(id));
    if (widget == nullptr) {
        throw std::logic_error(std::string(name()) + " has no such widget " + std::to_string(id));
    }
    return *widget;
}

void QtWindow::setText(core::WidgetId label, std::string_view text) {
    widgetAs<LabelWidget>(label).setText(text);
}

void QtWindow::setAccessible(std::optional<core::WidgetId> id, const core::Accessible& now) {
    announce(id ? widgetAs<QWidget>(*id) : *widget_, now);
}

void QtWindow::setAlignment(core::WidgetId label, platform::Alignment alignment) {
    widgetAs<LabelWidget>(label).setAlignment(alignment);
}

void QtWindow::setVisible(core::WidgetId id, bool visible) {
    widgetAs<QWidget>(id).setVisible(visible);
}

void QtWindow::moveWidget(core::WidgetId id, core::PixelPoint topLeft) {
    QWidget& widget = widgetAs<QWidget>(id);
    const int origin = originOf(widget.parentWidget());
    widget.move(origin + topLeft.x, origin + topLeft.y);
}

void QtWindow::clearDrawing(core::WidgetId box) {
    widgetAs<PictureWidget>(box).clear();
}

void QtWindow::fillBox(core::WidgetId box, core::PixelRect area, platform::Colour colour) {
    PictureWidget& picture = widgetAs<PictureWidget>(box);
    picture.fill(QRect(area.left, area.top, area.width, area.height),
                 toQColor(colour, picture.palette()).rgb());
}

void QtWindow::repaint(core::WidgetId box) {
    widgetAs<PictureWidget>(box).showDrawing();
}

void QtWindow::startTimer(core::WidgetId id, int intervalMs) {
    if (timers_.size() <= id) {
        timers_.resize(id + 1);
    }
    QPointer<QTimer>& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(widget_.get());
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, widget_.get(), [this, id] {
            if (!gone_) {
                input_.timerTicked(id);
            }
        });
    }
    timer->start(std::max(0, intervalMs));
}

void QtWindow::stopTimer(core::WidgetId id) {
    if (id < timers_.size() && timers_[id] != nullptr) {
        timers_[id]->stop();
    }
}

// ---------------------------------------------------------------------------------------------
// The OS calls' side and input

linux_os::x11::WindowId QtWindow::xWindow() const {
    return static_cast<linux_os::x11::WindowId>(widget_->winId());
}

void QtWindow::setTopmost(bool topmost) {
    topmost_ = topmost;
    linux_os::x11::setAbove(xConnection(), xWindow(), widget_->isVisible(), topmost);
}

platform::LResult QtWindow::defaultProcedure(std::uint32_t msg, platform::WParam wParam,
                                             platform::LParam) {
    if (msg == platform::WM_NCLBUTTONDOWN && wParam == platform::HTCAPTION &&
        widget_->isVisible()) {
        // A press on the caption: the window follows the pointer until the button is released.
        // A window manager killed outright leaves word behind that it would move the window.
        QWindow* window = widget_->windowHandle();
        if (window == nullptr || !linux_os::x11::windowManagerRunning(xConnection(), xWindow()) ||
            !window->startSystemMove()) {
            widget_->startManualMove();
        }
    }
    return 0;
}

void QtWindow::pressed(std::optional<core::WidgetId> widget, const QMouseEvent& event) {
    const std::optional<platform::MouseButton> button = mouseButton(event.button());
    if (gone_ || !button) {
        return;
    }
    const QPoint at = event.position().toPoint();
    input_.mousePressed(widget, *button, modifiersOf(event.modifiers()),
                        core::PixelPoint{at.x(), at.y()});
}

void QtWindow::closeRequested() {
    if (!gone_) {
        input_.closeRequested();
    }
}

void QtWindow::keyPressed(const QKeyEvent& event) {
    const std::optional<core::Key> key = keyOf(event.key());
    if (!gone_ && key) {
        input_.keyPressed(*key, modifiersOf(event.modifiers()));
    }
}

void QtWindow::activated() {
    if (!gone_) {
        input_.activated();
    }
}

void QtWindow::blockedPress() {
    if (!gone_) {
        input_.blockedPress();
    }
}

// ---------------------------------------------------------------------------------------------
// The screens

std::vector<core::PixelRect> QtPlatform::workAreas() {
    std::vector<core::PixelRect> areas;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary != nullptr) {
        areas.push_back(pixelRect(primary->availableGeometry()));
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary) {
            areas.push_back(pixelRect(screen->availableGeometry()));
        }
    }
    return areas;
}

core::PixelPoint QtPlatform::pointerPosition() {
    const QPoint at = QCursor::pos();
    return {at.x(), at.y()};
}

}  // namespace pelmora::qt

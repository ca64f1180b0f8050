// The conformance suite on the Qt layer, offscreen or on an X display: real Qt input sent to
// the widgets, popups and message boxes answered from the event loop while they are open,
// and what shows read back from the widgets and their rendering.
#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/identity.h"
#include "layer.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_widgets.h"
#include "platform/qt/qt_window.h"

namespace pelmora::conformance {
namespace {

// How long an answer waits for its popup or box to open.
constexpr int kOpenWithinMs = 3000;

platform::MsgBoxIcon iconOf(QMessageBox::Icon icon) {
    switch (icon) {
        case QMessageBox::Critical:
            return platform::MsgBoxIcon::Critical;
        case QMessageBox::Question:
            return platform::MsgBoxIcon::Question;
        case QMessageBox::Warning:
            return platform::MsgBoxIcon::Exclamation;
        case QMessageBox::Information:
            return platform::MsgBoxIcon::Information;
        case QMessageBox::NoIcon:
            break;
    }
    return platform::MsgBoxIcon::None;
}

// A 0xAARRGGBB pixel as the layouts write colours, 0x00BBGGRR.
std::uint32_t layoutColour(QRgb pixel) {
    return static_cast<std::uint32_t>(qRed(pixel)) |
           (static_cast<std::uint32_t>(qGreen(pixel)) << 8) |
           (static_cast<std::uint32_t>(qBlue(pixel)) << 16);
}

core::AccessibleRole roleOf(QAccessible::Role role) {
    using core::AccessibleRole;
    switch (role) {
        case QAccessible::Window:
            return AccessibleRole::Window;
        case QAccessible::Dialog:
            return AccessibleRole::Dialog;
        case QAccessible::StaticText:
            return AccessibleRole::StaticText;
        case QAccessible::Pane:
            return AccessibleRole::Pane;
        case QAccessible::ProgressBar:
            return AccessibleRole::Meter;
        case QAccessible::Graphic:
            return AccessibleRole::Image;
        case QAccessible::Button:
            return AccessibleRole::PushButton;
        default:
            return AccessibleRole::None;
    }
}

// Runs `act` from the event loop once `open` finds what it waits for, or gives up.
void whenOpen(std::function<QWidget*()> open, std::function<void(QWidget&)> act,
              QElapsedTimer clock = {}) {
    if (!clock.isValid()) {
        clock.start();
    }
    QTimer::singleShot(10, qApp, [open = std::move(open), act = std::move(act), clock]() mutable {
        if (QWidget* widget = open()) {
            act(*widget);
        } else if (clock.elapsed() < kOpenWithinMs) {
            whenOpen(std::move(open), std::move(act), clock);
        }
    });
}

class QtLayer final : public Layer {
  public:
    QtLayer() {
        qt::PlatformOptions options;
        options.lockPath = dir_.filePath("instance.lock").toStdString();
        options.reportSink = [this](std::string_view line) { reports_.emplace_back(line); };
        options.quit = [] {};
        platform_ = std::make_unique<qt::QtPlatform>(std::move(options));
        namespace identity = app::identity;
        runtime_ = std::make_unique<core::Runtime>(
            *platform_, core::Identity{std::string(identity::kTitle), identity::kMajor,
                                       identity::kMinor, identity::kRevision});
    }

    std::string_view name() const override { return "qt"; }
    core::NativePlatform& native() override { return *platform_; }
    core::Runtime& runtime() override { return *runtime_; }
    void stop() override {
        runtime_.reset();
        platform_.reset();
        QCoreApplication::processEvents();
    }
    std::vector<std::string> reports() const override { return reports_; }

    bool waitFor(const std::function<bool()>& done, int milliseconds) override {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > milliseconds) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        return true;
    }

    bool shown(platform::Hwnd hWnd) override { return form(hWnd).isVisible(); }
    std::optional<Told> told(platform::Hwnd hWnd, std::optional<core::WidgetId> id) override {
        QWidget& w = id ? widget(hWnd, *id) : form(hWnd);
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(&w);
        // A widget that its parent does not list is out of the tree.
        QAccessibleInterface* parent = read != nullptr && id ? read->parent() : nullptr;
        if (read == nullptr || (parent != nullptr && parent->indexOfChild(read) < 0)) {
            return std::nullopt;
        }
        Told told;
        told.role = roleOf(read->role());
        told.name = read->text(QAccessible::Name).toStdString();
        if (QAccessibleValueInterface* value = read->valueInterface()) {
            told.value = value->currentValue().toDouble();
        }
        told.description = read->text(QAccessible::Description).toStdString();
        told.isDefault = read->state().defaultButton;
        return told;
    }
    std::string text(platform::Hwnd hWnd, core::WidgetId label) override {
        return as<qt::LabelWidget>(hWnd, label).text().toStdString();
    }
    bool widgetShown(platform::Hwnd hWnd, core::WidgetId id) override {
        return widget(hWnd, id).isVisibleTo(&form(hWnd));
    }
    core::PixelPoint position(platform::Hwnd hWnd, core::WidgetId id) override {
        const QWidget& w = widget(hWnd, id);
        const auto* box = dynamic_cast<const qt::PictureWidget*>(w.parentWidget());
        const int frame = box != nullptr ? box->origin() : 0;
        return {w.x() - frame, w.y() - frame};
    }
    Drawing drawing(platform::Hwnd hWnd, core::WidgetId id, platform::PictureId picture) override {
        auto& box = as<qt::PictureWidget>(hWnd, id);
        const QImage shown = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage background = platform_->picture(picture).convertToFormat(QImage::Format_RGB32);
        Drawing drawn;
        drawn.width = box.width() - 2 * box.origin();
        drawn.height = box.height() - 2 * box.origin();
        for (int y = 0; y < drawn.height; ++y) {
            for (int x = 0; x < drawn.width; ++x) {
                const QRgb pixel = shown.pixel(box.origin() + x, box.origin() + y);
                const bool undrawn = background.valid(x, y) &&
                                     (background.pixel(x, y) & 0xFFFFFFu) == (pixel & 0xFFFFFFu);
                drawn.pixels.push_back(undrawn ? Drawing::kUndrawn : layoutColour(pixel));
            }
        }
        return drawn;
    }
    core::PixelRect frameOf(platform::Hwnd hWnd) override {
        const QRect r = form(hWnd).frameGeometry();
        return {r.x(), r.y(), r.width(), r.height()};
    }
    bool hourglassShown() override {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    }

    void press(platform::Hwnd hWnd, core::PixelPoint at, platform::MouseButton button,
               platform::Modifiers modifiers) override {
        QWidget& window = form(hWnd);
        QWidget* child = window.childAt(at.x, at.y);
        QWidget& target = child != nullptr ? *child : window;
        const QPointF local = target.mapFrom(&window, QPointF(at.x, at.y));
        const Qt::MouseButton pressed = button == platform::MouseButton::Left    ? Qt::LeftButton
                                        : button == platform::MouseButton::Right ? Qt::RightButton
                                                                                 : Qt::MiddleButton;
        Qt::KeyboardModifiers keys;
        keys.setFlag(Qt::ShiftModifier, modifiers.shift);
        keys.setFlag(Qt::ControlModifier, modifiers.control);
        keys.setFlag(Qt::AltModifier, modifiers.alt);
        QMouseEvent event(QEvent::MouseButtonPress, local, target.mapToGlobal(local), pressed,
                          pressed, keys);
        QApplication::sendEvent(&target, &event);
    }
    void clickButton(platform::Hwnd hWnd, core::WidgetId button) override {
        as<QPushButton>(hWnd, button).click();
    }
    void key(platform::Hwnd hWnd, Key key) override {
        const Qt::Key sent = key == Key::Enter         ? Qt::Key_Return
                             : key == Key::Escape      ? Qt::Key_Escape
                             : key == Key::ContextMenu ? Qt::Key_Menu
                             : key == Key::ShiftF10    ? Qt::Key_F10
                                                       : Qt::Key_Space;
        const Qt::KeyboardModifiers held =
            key == Key::ShiftF10 ? Qt::ShiftModifier : Qt::NoModifier;
        // To the widget with the focus, as the keyboard sends it.
        QWidget& window = form(hWnd);
        QWidget* focused = window.focusWidget();
        QWidget& to = focused != nullptr ? *focused : window;
        const QString text = key == Key::Space ? QStringLiteral(" ") : QString();
        QKeyEvent press(QEvent::KeyPress, sent, held, text);
        QApplication::sendEvent(&to, &press);
        QKeyEvent release(QEvent::KeyRelease, sent, held, text);
        QApplication::sendEvent(&to, &release);
    }
    void close(platform::Hwnd hWnd) override { form(hWnd).close(); }
    void answerNextPopup(PopupAnswer answer) override {
        whenOpen([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                 [answer = std::move(answer)](QWidget& open) {
                     auto& menu = static_cast<QMenu&>(open);
                     std::vector<Row> rows;
                     for (const QAction* action : menu.actions()) {
                         rows.push_back({action->isSeparator() ? "-" : action->text().toStdString(),
                                         action->isSeparator(), action->isChecked(),
                                         action->isEnabled()});
                     }
                     const std::optional<std::size_t> row = answer(rows);
                     if (!row) {
                         QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                         QApplication::sendEvent(&menu, &escape);
                         return;
                     }
                     // The row's access key, as the user types it.
                     const QString caption = menu.actions().at(static_cast<int>(*row))->text();
                     const qsizetype amp = caption.indexOf('&');
                     const QString letter = caption.mid(amp + 1, 1).toLower();
                     QKeyEvent press(QEvent::KeyPress, Qt::Key_A + (letter[0].unicode() - 'a'),
                                     Qt::NoModifier, letter);
                     QApplication::sendEvent(&menu, &press);
                 });
    }
    void closeNextMessageBox() override {
        whenOpen([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
                 [this](QWidget& open) {
                     auto& box = static_cast<QMessageBox&>(open);
                     lastBox_ = {box.windowTitle().toStdString(), box.text().toStdString(),
                                 iconOf(box.icon()), true};
                     QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                     QApplication::sendEvent(&box, &enter);
                 });
    }
    ShownBox lastMessageBox() override { return lastBox_; }

  private:
    qt::QtWindow& window(platform::Hwnd hWnd) {
        qt::QtWindow* found = platform_->findWindow(hWnd);
        if (found == nullptr) {
            throw std::logic_error("no window " + std::to_string(hWnd));
        }
        return *found;
    }
    QWidget& form(platform::Hwnd hWnd) { return window(hWnd).widget(); }
    QWidget& widget(platform::Hwnd hWnd, core::WidgetId id) {
        QWidget* found = window(hWnd).widgetOf(id);
        if (found == nullptr) {
            throw std::logic_error("no widget " + std::to_string(id));
        }
        return *found;
    }
    template <typename Widget>
    Widget& as(platform::Hwnd hWnd, core::WidgetId id) {
        auto* found = dynamic_cast<Widget*>(&widget(hWnd, id));
        if (found == nullptr) {
            throw std::logic_error("widget " + std::to_string(id) + " is of another kind");
        }
        return *found;
    }

    QTemporaryDir dir_;
    std::vector<std::string> reports_;
    std::unique_ptr<qt::QtPlatform> platform_;
    std::unique_ptr<core::Runtime> runtime_;
    ShownBox lastBox_;
};

std::unique_ptr<Layer> make() {
    return std::make_unique<QtLayer>();
}

// The offscreen platform says, at every raise and grab, what it cannot do; nothing else is
// held back.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(qt, Conformance, ::testing::Values(LayerMaker{"qt", &make}), layerName);

}  // namespace pelmora::conformance

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler(pelmora::conformance::quietHandler);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

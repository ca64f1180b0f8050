#include "platform/qt/qt_runtime.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_style.h"
#include "platform/qt/qt_window.h"

namespace pelmora::qt {

namespace {

void writeToStandardError(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// The screen's pointer values, by number.
constexpr std::array<Qt::CursorShape, 16> kPointers{
    Qt::ArrowCursor,     Qt::ArrowCursor,   Qt::CrossCursor,     Qt::IBeamCursor,
    Qt::ArrowCursor,     Qt::SizeAllCursor, Qt::SizeBDiagCursor, Qt::SizeVerCursor,
    Qt::SizeFDiagCursor, Qt::SizeHorCursor, Qt::UpArrowCursor,   Qt::WaitCursor,
    Qt::ForbiddenCursor, Qt::BusyCursor,    Qt::WhatsThisCursor, Qt::SizeAllCursor,
};

QMessageBox::Icon messageIcon(std::int16_t style) {
    switch (style & 0x70) {
        case platform::msgbox::Critical:
            return QMessageBox::Critical;
        case 32:
            return QMessageBox::Question;
        case 48:
            return QMessageBox::Warning;
        case 64:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButtons messageButtons(std::int16_t style) {
    switch (style & 7) {
        case 1:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case 2:
            return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        case 3:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case 4:
            return QMessageBox::Yes | QMessageBox::No;
        case 5:
            return QMessageBox::Retry | QMessageBox::Cancel;
        default:
            return QMessageBox::Ok;
    }
}

}  // namespace

QtRuntime::QtRuntime(RuntimeOptions options)
    : options_(std::move(options)),
      reporter_(options_.errorSink ? options_.errorSink
                                   : platform::ErrorReporter::Sink(&writeToStandardError)),
      lock_(options_.lockPath) {}

QtRuntime::~QtRuntime() {
    if (pointer_ != platform::pointer::Default && qApp != nullptr) {
        QGuiApplication::restoreOverrideCursor();
    }
    auto retired = std::move(retired_);
    retired.clear();
    auto loaded = std::move(loaded_);
    loaded.clear();
}

platform::Bool16 QtRuntime::prevInstance() {
    if (!lock_.problem().empty() && !lockProblemReported_) {
        lockProblemReported_ = true;
        reportError(
            "App.PrevInstance",
            platform::Error(kFileAccessError, "Path/File access error: " + lock_.problem()));
    }
    return platform::toBool16(lock_.heldElsewhere());
}

std::string QtRuntime::exeName() {
    if (!options_.exeName.empty()) {
        return options_.exeName;
    }
    if (QCoreApplication::instance() == nullptr) {
        return {};
    }
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

void QtRuntime::msgBox(std::string_view prompt, std::int16_t style) {
    auto hold = busy();
    if (options_.messageBox) {
        options_.messageBox(prompt, style);
        return;
    }
    QString text = toQString(prompt);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(messageIcon(style), toQString(options_.title), text, messageButtons(style));
    box.exec();
}

void QtRuntime::end() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    stopForms();
    if (observer_ != nullptr) {
        observer_->programEnded();
    }
    if (options_.quit) {
        options_.quit();
    }
}

void QtRuntime::stopForms() {
    // The forms stay alive: the handler that called end() may still hold them.
    for (const auto& form : loaded_) {
        if (form->loaded()) {
            form->retire();
        }
    }
}

platform::Form& QtRuntime::load(const platform::FormLayout& layout, platform::FormEvents& events) {
    if (stopped_) {
        throw platform::Error(platform::errnum::InvalidProcedureCall,
                              "Invalid procedure call or argument: the program has ended");
    }
    const std::string_view name = layout.form.name;
    if (name.empty()) {
        throw platform::Error(platform::errnum::InvalidProcedureCall,
                              "Invalid procedure call or argument: a form without a name");
    }
    if (QtForm* form = findForm(name)) {
        return *form;
    }
    auto hold = busy();
    const platform::Hwnd handle = nextHandle();
    const QIcon icon = loadIcon(layout.form.icon);
    const std::uintptr_t iconHandle = icon.isNull() ? 0 : nextHandle();
    auto made = std::make_unique<QtForm>(*this, layout, events, handle, iconHandle, icon);
    QtForm& form = *made;
    loaded_.push_back(std::move(made));
    if (iconHandle != 0) {
        icons_.emplace(iconHandle, icon);
    }
    const bool known = std::any_of(terminates_.begin(), terminates_.end(),
                                   [&](const Terminate& t) { return t.events == &events; });
    if (!known) {
        terminates_.push_back(Terminate{form.handlerName({}, "Terminate"), &events});
    }
    dispatch(form.handlerName({}, "Load"), [&] { events.onLoad(); });
    return form;
}

void QtRuntime::unload(platform::Form& target) {
    auto* form = dynamic_cast<QtForm*>(&target);
    if (form == nullptr || stopped_ || !form->loaded() || form->unloading()) {
        return;
    }
    auto hold = busy();
    form->setUnloading(true);
    std::int16_t cancel = 0;
    dispatch(form->handlerName({}, "Unload"), [&] { form->events().onUnload(cancel); });
    form->setUnloading(false);
    if (stopped_ || !form->loaded() || cancel != 0) {
        return;
    }
    retire(*form);
}

void QtRuntime::unload(const platform::FormLayout& layout) {
    if (QtForm* form = findForm(layout.form.name)) {
        unload(*form);
    }
}

void QtRuntime::retire(QtForm& form) {
    form.retire();
    if (observer_ != nullptr) {
        observer_->windowDestroyed(form.hWnd());
    }
    icons_.erase(form.iconHandle());
    if (active_ == &form) {
        active_ = nullptr;
    }
    const auto it = std::find_if(loaded_.begin(), loaded_.end(),
                                 [&](const auto& f) { return f.get() == &form; });
    if (it != loaded_.end()) {
        retired_.push_back(std::move(*it));
        loaded_.erase(it);
    }
    finishIfNoFormLeft();
}

void QtRuntime::finishIfNoFormLeft() {
    if (stopped_ || !loaded_.empty()) {
        return;
    }
    // The form objects are released now: each one's terminate handler runs once.
    const auto terminates = std::move(terminates_);
    terminates_.clear();
    for (const Terminate& t : terminates) {
        dispatch(t.handler, [&] { t.events->onTerminate(); });
    }
    if (stopped_ || !loaded_.empty()) {
        return;
    }
    stopped_ = true;
    if (observer_ != nullptr) {
        observer_->programEnded();
    }
    if (options_.quit) {
        options_.quit();
    }
}

void QtRuntime::setMousePointer(std::int16_t value) {
    if (value < 0 || static_cast<std::size_t>(value) >= kPointers.size()) {
        throw platform::Error(380,
                              "Invalid property value: mouse pointer " + std::to_string(value));
    }
    if (value == pointer_) {
        return;
    }
    if (pointer_ != platform::pointer::Default) {
        QGuiApplication::restoreOverrideCursor();
    }
    if (value != platform::pointer::Default) {
        QGuiApplication::setOverrideCursor(QCursor(kPointers[static_cast<std::size_t>(value)]));
    }
    pointer_ = value;
}

void QtRuntime::reportError(std::string_view handler, const platform::Error& error) noexcept {
    reporter_.report(handler, error);
}

QtForm* QtRuntime::findWindow(platform::Hwnd hWnd) const noexcept {
    for (const auto& form : loaded_) {
        if (form->loaded() && form->hWnd() == hWnd) {
            return form.get();
        }
    }
    return nullptr;
}

QtForm* QtRuntime::findForm(std::string_view name) const noexcept {
    for (const auto& form : loaded_) {
        if (form->loaded() && form->name() == name) {
            return form.get();
        }
    }
    return nullptr;
}

QtForm* QtRuntime::findAnyLoaded() const noexcept {
    for (const auto& form : loaded_) {
        if (form->loaded()) {
            return form.get();
        }
    }
    return nullptr;
}

const QIcon* QtRuntime::findIcon(std::uintptr_t handle) const noexcept {
    const auto it = icons_.find(handle);
    return it != icons_.end() ? &it->second : nullptr;
}

void QtRuntime::formActivated(QtForm& form) {
    if (active_ == &form || !form.loaded()) {
        return;
    }
    // A window that another's modal show blocks does not become the active form; a late
    // activation of it from the window system is stale.
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != &form.widget()) {
        return;
    }
    active_ = &form;
    dispatch(form.handlerName({}, "Activate"), [&] { form.events().onActivate(); });
}

QtForm* QtRuntime::ownerFor(const QtForm& form) const noexcept {
    if (active_ != nullptr && active_ != &form && active_->loaded()) {
        return active_;
    }
    for (const auto& other : loaded_) {
        if (other.get() != &form && other->loaded()) {
            return other.get();
        }
    }
    return nullptr;
}

const QImage& QtRuntime::picture(platform::PictureId id) {
    static const QImage kNoPicture;
    if (id == platform::PictureId::None) {
        return kNoPicture;
    }
    auto it = pictures_.find(id);
    if (it == pictures_.end()) {
        it = pictures_.emplace(id, loadPicture(id)).first;
    }
    return it->second;
}

platform::Hwnd QtRuntime::nextHandle() noexcept {
    lastHandle_ += 4;
    return lastHandle_;
}

void QtRuntime::settleAfterHandlers(QObject& owner, Settling& item) {
    if (depth_ > 0) {
        settling_.emplace_back(&owner, &item);
        return;
    }
    QMetaObject::invokeMethod(
        &owner, [&item] { item.settle(); }, Qt::QueuedConnection);
}

void QtRuntime::leave() noexcept {
    // Each handler's drawing is complete when it returns, also one nested in a modal show.
    // Still counted as running here, so nothing settled can be purged under it.
    if (!settling_.empty()) {
        settlingNow_.swap(settling_);
        for (const auto& [owner, item] : settlingNow_) {
            if (owner != nullptr) {
                item->settle();
            }
        }
        settlingNow_.clear();
    }
    if (--depth_ == 0 && !retired_.empty() && !purgePosted_) {
        purgePosted_ = true;
        QTimer::singleShot(0, &context_, [this] { purgeRetired(); });
    }
}

void QtRuntime::purgeRetired() noexcept {
    purgePosted_ = false;
    if (depth_ != 0) {
        return;  // the next handler to finish posts the clean-up again
    }
    auto retired = std::move(retired_);
    retired_.clear();
    retired.clear();
}

}  // namespace pelmora::qt

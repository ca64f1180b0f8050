#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "platform/core/error_reporter.h"
#include "platform/qt/qt_style.h"
#include "platform/qt/qt_window.h"

namespace pelmora::qt {

namespace {

QMessageBox::Icon messageIcon(platform::MsgBoxIcon icon) {
    switch (icon) {
        case platform::MsgBoxIcon::Critical:
            return QMessageBox::Critical;
        case platform::MsgBoxIcon::Question:
            return QMessageBox::Question;
        case platform::MsgBoxIcon::Exclamation:
            return QMessageBox::Warning;
        case platform::MsgBoxIcon::Information:
            return QMessageBox::Information;
        case platform::MsgBoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QtPlatform::QtPlatform(PlatformOptions options) : options_(std::move(options)) {
    registerPictures();
}

QtPlatform::~QtPlatform() {
    if (pointerOverridden_ && qApp != nullptr) {
        QGuiApplication::restoreOverrideCursor();
    }
}

std::unique_ptr<core::NativeWindow> QtPlatform::createWindow(const core::WindowSpec& shape,
                                                             core::WindowInput& input) {
    auto cached = icons_.find(shape.icon);
    if (cached == icons_.end()) {
        cached = icons_.emplace(shape.icon, loadIcon(shape.icon)).first;
    }
    QIcon icon = cached->second;
    const platform::Hwnd handle = nextHandle();
    const std::uintptr_t iconHandle = icon.isNull() ? 0 : nextHandle();
    return std::make_unique<QtWindow>(*this, shape, input, handle, iconHandle, std::move(icon));
}

bool QtPlatform::otherInstanceRunning() {
    // The lock is taken at the first question and held for as long as the program runs.
    if (!options_.lockProblem.empty()) {
        throw core::NativeFailure(core::Failed::InstanceGuard, options_.lockProblem);
    }
    if (!lock_) {
        lock_.emplace(options_.lockPath);
    }
    if (!lock_->problem().empty()) {
        throw core::NativeFailure(core::Failed::InstanceGuard, lock_->problem());
    }
    return lock_->heldElsewhere();
}

std::string QtPlatform::executableName() {
    if (!options_.executableName.empty()) {
        return options_.executableName;
    }
    if (QCoreApplication::instance() == nullptr) {
        return {};
    }
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

void QtPlatform::messageBox(std::string_view title, std::string_view prompt,
                            platform::MsgBoxIcon icon) {
    QString text = toQString(prompt);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(messageIcon(icon), toQString(title), text, QMessageBox::Ok);
    box.exec();
}

void QtPlatform::setPointer(platform::MousePointer pointer) {
    // One override at most, so that the default comes back in one step.
    if (pointerOverridden_) {
        QGuiApplication::restoreOverrideCursor();
    }
    pointerOverridden_ = pointer != platform::MousePointer::Default;
    if (pointerOverridden_) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
}

void QtPlatform::post(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

void QtPlatform::quit() {
    if (observer_ != nullptr) {
        observer_->programEnded();
    }
    if (options_.quit) {
        options_.quit();
    } else {
        QCoreApplication::exit(0);
    }
}

void QtPlatform::writeReportLine(std::string_view line) noexcept {
    if (options_.reportSink) {
        try {
            options_.reportSink(line);
        } catch (...) {
            // A report that cannot be written is lost; the program goes on.
        }
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

QtWindow* QtPlatform::findWindow(platform::Hwnd hWnd) const noexcept {
    const auto it = windows_.find(hWnd);
    return it != windows_.end() ? it->second : nullptr;
}

const QIcon* QtPlatform::findIcon(std::uintptr_t handle) const noexcept {
    if (handle == 0) {
        return nullptr;
    }
    for (const auto& [hWnd, window] : windows_) {
        if (window->iconHandle() == handle) {
            return &window->icon();
        }
    }
    return nullptr;
}

const QImage& QtPlatform::picture(platform::PictureId id) {
    if (id == platform::PictureId::None) {
        return noPicture_;
    }
    auto it = pictures_.find(id);
    if (it == pictures_.end()) {
        it = pictures_.emplace(id, loadPicture(id)).first;
    }
    return it->second;
}

void QtPlatform::windowCreated(QtWindow& window) {
    windows_[window.handle()] = &window;
}

void QtPlatform::windowDestroyed(QtWindow& window) noexcept {
    windows_.erase(window.handle());
    if (observer_ != nullptr) {
        observer_->windowDestroyed(window.handle());
    }
}

platform::Hwnd QtPlatform::nextHandle() noexcept {
    lastHandle_ += 4;
    return lastHandle_;
}

}  // namespace pelmora::qt

// The forms runtime on Qt Widgets: application information, forms built from layout tables,
// the message box, the screen's pointer, end, and the edge at which every error raised by an
// event handler of the system is caught and reported.
#pragma once

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/common/error_reporter.h"
#include "platform/errors.h"
#include "platform/forms.h"
#include "platform/qt/qt_instance.h"
#include "platform/qt/qt_wndproc.h"

namespace pelmora::qt {

class QtForm;

struct RuntimeOptions {
    std::string title;
    std::int16_t major = 0;
    std::int16_t minor = 0;
    std::int16_t revision = 0;
    // Empty: the running file's name without its extension.
    std::string exeName;
    // The single-instance lock file; empty takes no lock.
    std::string lockPath;
    // Where error lines go; empty: standard error.
    platform::ErrorReporter::Sink errorSink;
    // Called once when the program ends; the entry point leaves its event loop there.
    std::function<void()> quit;
    // Shows the message box; empty: a real, modal one.
    std::function<void(std::string_view prompt, std::int16_t style)> messageBox;
};

// Told when a window goes, so that what belongs to it (its tray icons) goes with it.
class WindowObserver {
  public:
    virtual void windowDestroyed(platform::Hwnd hWnd) = 0;
    virtual void programEnded() = 0;

  protected:
    ~WindowObserver() = default;
};

// Work that waits until the running event handlers are done, such as showing a drawing
// once it is complete.
class Settling {
  public:
    virtual void settle() = 0;

  protected:
    ~Settling() = default;
};

// Backends' own error numbers.
inline constexpr std::int32_t kInternalError = 51;
inline constexpr std::int32_t kFileAccessError = 75;

class QtRuntime final : public platform::FormsRuntime {
  public:
    explicit QtRuntime(RuntimeOptions options);
    ~QtRuntime() override;

    platform::Bool16 prevInstance() override;
    std::string exeName() override;
    std::string title() override { return options_.title; }
    std::int16_t major() override { return options_.major; }
    std::int16_t minor() override { return options_.minor; }
    std::int16_t revision() override { return options_.revision; }
    void msgBox(std::string_view prompt, std::int16_t style) override;
    void end() override;
    platform::Form& load(const platform::FormLayout& layout, platform::FormEvents& events) override;
    void unload(platform::Form& form) override;
    void unload(const platform::FormLayout& layout) override;
    void setMousePointer(std::int16_t value) override;
    void reportError(std::string_view handler, const platform::Error& error) noexcept override;

    // While a Busy lives, no unloaded form is destroyed: code up the stack may still use it.
    class Busy {
      public:
        explicit Busy(QtRuntime& runtime) noexcept : runtime_(&runtime) { ++runtime.depth_; }
        Busy(Busy&& other) noexcept : runtime_(std::exchange(other.runtime_, nullptr)) {}
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;
        Busy& operator=(Busy&&) = delete;
        ~Busy() {
            if (runtime_ != nullptr) {
                runtime_->leave();
            }
        }

      private:
        QtRuntime* runtime_;
    };
    Busy busy() noexcept { return Busy(*this); }

    // Runs an event handler of the system; whatever it raises is reported under the
    // handler's name and goes no further. Nothing runs once the program has stopped.
    template <typename Body>
    void dispatch(std::string_view handler, Body&& body) noexcept {
        if (stopped_) {
            return;
        }
        Busy hold = busy();
        try {
            std::forward<Body>(body)();
        } catch (const platform::Error& error) {
            reportError(handler, error);
        } catch (const std::exception& error) {
            reportError(handler, platform::Error(kInternalError, error.what()));
        } catch (...) {
            reportError(handler, platform::Error(kInternalError, "unknown failure"));
        }
    }

    // True once end() ran or the last form was unloaded.
    bool stopped() const noexcept { return stopped_; }
    bool anyFormLoaded() const noexcept { return findAnyLoaded() != nullptr; }
    QtForm* findWindow(platform::Hwnd hWnd) const noexcept;
    QtForm* findForm(std::string_view name) const noexcept;
    const QIcon* findIcon(std::uintptr_t handle) const noexcept;
    ProcedureRegistry& procedures() noexcept { return procedures_; }
    void setWindowObserver(WindowObserver* observer) noexcept { observer_ = observer; }
    // The form that became active; its activate handler runs when it was not active before.
    void formActivated(QtForm& form);
    // The form a new form is centred over and kept in front of.
    QtForm* ownerFor(const QtForm& form) const noexcept;
    const QImage& picture(platform::PictureId id);
    std::int16_t mousePointer() const noexcept { return pointer_; }
    // Runs item.settle() when the running handler returns, or from the event loop when none
    // is running; dropped if owner goes first.
    void settleAfterHandlers(QObject& owner, Settling& item);
    // Forms unloaded but not yet destroyed (they go once no handler is running).
    std::size_t retiredForms() const noexcept { return retired_.size(); }

  private:
    QtForm* findAnyLoaded() const noexcept;
    void leave() noexcept;
    void purgeRetired() noexcept;
    platform::Hwnd nextHandle() noexcept;
    void retire(QtForm& form);
    void finishIfNoFormLeft();
    void stopForms();

    RuntimeOptions options_;
    platform::ErrorReporter reporter_;
    InstanceLock lock_;
    bool lockProblemReported_ = false;
    ProcedureRegistry procedures_;
    std::vector<std::unique_ptr<QtForm>> loaded_;
    std::vector<std::unique_ptr<QtForm>> retired_;
    struct Terminate {
        std::string handler;
        platform::FormEvents* events;
    };
    std::vector<Terminate> terminates_;
    std::map<std::uintptr_t, QIcon> icons_;
    std::map<platform::PictureId, QImage> pictures_;
    std::vector<std::pair<QPointer<QObject>, Settling*>> settling_;
    std::vector<std::pair<QPointer<QObject>, Settling*>> settlingNow_;
    WindowObserver* observer_ = nullptr;
    QtForm* active_ = nullptr;
    platform::Hwnd lastHandle_ = 0x1000;
    int depth_ = 0;
    bool purgePosted_ = false;
    bool stopped_ = false;
    std::int16_t pointer_ = platform::pointer::Default;
    // Lifetime of the posted clean-up: it is dropped if the runtime goes first.
    QObject context_;
};

}  // namespace pelmora::qt

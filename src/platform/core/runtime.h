// The one forms runtime: the form registry and lifecycle (load, show, modal loops,
// unload, terminate, end), control lookup, the user-coordinate arithmetic, deferred
// destruction and the catching edge of every event. It drives a native layer that only
// speaks to its toolkit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/error_reporter.h"
#include "platform/core/native.h"
#include "platform/forms.h"

namespace pelmora::core {

class CoreForm;
class CorePictureBox;

// What the program says of itself: its title and version.
struct Identity {
    std::string title;
    std::int16_t major = 0;
    std::int16_t minor = 0;
    std::int16_t revision = 0;
};

// The runtime's error for what a layer could not do.
platform::Error errorOf(const NativeFailure& failure);

class Runtime final : public platform::FormsRuntime {
  public:
    Runtime(NativePlatform& native, Identity identity,
            ErrorReporter::Clock clock = &std::chrono::steady_clock::now);
    ~Runtime() override;

    bool prevInstance() override;
    std::string exeName() override;
    std::string title() override { return identity_.title; }
    std::int16_t major() override { return identity_.major; }
    std::int16_t minor() override { return identity_.minor; }
    std::int16_t revision() override { return identity_.revision; }
    void msgBox(std::string_view prompt, platform::MsgBoxIcon icon) override;
    void end() override;
    platform::Form& load(const platform::FormLayout& layout, platform::FormEvents& events) override;
    void unload(platform::Form& form) override;
    void unload(const platform::FormLayout& layout) override;
    void setMousePointer(platform::MousePointer value) override;
    void reportError(std::string_view handler, const platform::Error& error) noexcept override;
    void guard(std::string_view handler, platform::BodyRef body) noexcept override;

    // Runs an event handler of the system; whatever it raises is reported under the
    // handler's name and goes no further. Nothing runs once the program has ended.
    template <typename Body>
    void dispatch(std::string_view handler, Body&& body) noexcept {
        if (ended_) {
            return;
        }
        Busy hold(*this);
        try {
            std::forward<Body>(body)();
        } catch (...) {
            reportCurrent(handler);
        }
        settleDrawing(handler);
    }

    // True once end() ran or the last form was unloaded.
    bool ended() const noexcept { return ended_; }
    // A loaded form by name (any case), or nullptr.
    platform::Form* findForm(std::string_view name) const noexcept;

  private:
    friend class CoreForm;
    friend class CorePictureBox;

    // While a Busy lives, no unloaded form is destroyed: code up the stack may still use it.
    class Busy {
      public:
        explicit Busy(Runtime& runtime) noexcept : runtime_(runtime) { ++runtime.depth_; }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;
        ~Busy() { runtime_.leave(); }

      private:
        Runtime& runtime_;
    };

    void reportCurrent(std::string_view handler) noexcept;
    // A picture box drawn on settles once the running handler returns.
    void settleLater(CorePictureBox& box);
    void settleDrawing(std::string_view handler) noexcept;
    CoreForm* find(std::string_view name) const noexcept;
    void retire(CoreForm& form);
    void finishIfNoFormLeft();
    void leave() noexcept;
    void purgeRetired() noexcept;
    // The form a new form is centred over.
    const CoreForm* ownerFor(const CoreForm& form) const noexcept;
    void activated(CoreForm& form);
    bool blockedByModal(const CoreForm& form) const noexcept;
    // The loaded forms other than one.
    std::vector<CoreForm*> otherForms(const CoreForm& form) const;
    // Brings the innermost modal box back in front, restored when minimised.
    void raiseModal();
    // The screens changed: popups close, windows come back onto the screens.
    void screensChanged();
    NativePlatform& native() noexcept { return native_; }

    struct Terminate {
        std::string handler;
        platform::FormEvents* events;
    };

    NativePlatform& native_;
    Identity identity_;
    ErrorReporter reporter_;
    std::vector<std::unique_ptr<CoreForm>> loaded_;
    std::vector<std::unique_ptr<CoreForm>> retired_;
    std::vector<Terminate> terminates_;
    std::vector<CoreForm*> modal_;
    std::vector<CorePictureBox*> settling_;
    CoreForm* active_ = nullptr;
    int depth_ = 0;
    bool purgePosted_ = false;
    bool ended_ = false;
    bool instanceProblemReported_ = false;
    platform::MousePointer pointer_ = platform::MousePointer::Default;
    // Posted clean-ups hold a weak reference: they do nothing once the runtime is gone.
    bool popupOpen_ = false;
    std::shared_ptr<Runtime*> self_;
};

// "frmmain.MainTimer_Timer": the name under which a handler's errors are reported.
std::string handlerName(std::string_view form, std::string_view control, std::string_view event);

// Names compare without regard to case, as the forms runtime always did.
bool sameNameFolded(std::string_view a, std::string_view b) noexcept;

// Lookups run at every refresh, and their names are the layouts' own constants: the very
// same text matches before any letter is compared.
inline bool sameName(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && (a.data() == b.data() || sameNameFolded(a, b));
}

}  // namespace pelmora::core

#include "platform/core/runtime.h"

#include <algorithm>
#include <exception>
#include <new>

#include "platform/core/form.h"
#include "platform/core/window_policy.h"

namespace pelmora::core {

std::string handlerName(std::string_view form, std::string_view control, std::string_view event) {
    std::string name(form);
    name += '.';
    name += control.empty() ? std::string_view("Form") : control;
    name += '_';
    name += event;
    return name;
}

namespace {

// Names are ASCII identifiers: folded without the C locale, which costs a call per letter
// and would fold other bytes by the user's settings.
constexpr char foldAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool sameNameFolded(std::string_view a, std::string_view b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return foldAscii(x) == foldAscii(y); });
}

Runtime::Runtime(NativePlatform& native, Identity identity, ErrorReporter::Clock clock)
    : native_(native),
      identity_(std::move(identity)),
      reporter_([&native](std::string_view line) { native.writeReportLine(line); },
                std::move(clock)),
      self_(std::make_shared<Runtime*>(this)) {}

Runtime::~Runtime() {
    settling_.clear();
    if (pointer_ != platform::MousePointer::Default) {
        native_.setPointer(platform::MousePointer::Default);
    }
    auto retired = std::move(retired_);
    retired.clear();
    auto loaded = std::move(loaded_);
    loaded.clear();
}

platform::Error errorOf(const NativeFailure& failure) {
    switch (failure.failed()) {
        case Failed::Picture:
            return platform::Error(platform::ErrorCode::InvalidPicture, failure.what());
        case Failed::InstanceGuard:
            break;
    }
    return platform::Error(platform::ErrorCode::FileAccess, failure.what());
}

void Runtime::reportCurrent(std::string_view handler) noexcept {
    try {
        throw;
    } catch (const platform::Error& error) {
        reportError(handler, error);
    } catch (const NativeFailure& failure) {
        reportError(handler, errorOf(failure));
    } catch (const std::bad_alloc&) {
        reportError(handler, platform::Error(platform::ErrorCode::OutOfMemory));
    } catch (const std::exception& error) {
        reportError(handler, platform::Error(platform::ErrorCode::InternalError, error.what()));
    } catch (...) {
        reportError(handler,
                    platform::Error(platform::ErrorCode::InternalError, "unknown failure"));
    }
}

void Runtime::settleLater(CorePictureBox& box) {
    settling_.push_back(&box);
}

void Runtime::settleDrawing(std::string_view handler) noexcept {
    // A box drawn on in this handler may be settled by a nested one already: each is
    // settled once, by whichever handler returns first. A box of a form being unloaded
    // stays queued: once the form is gone it is dropped, and drawn if the unload is cancelled.
    std::size_t waiting = 0;
    while (settling_.size() > waiting) {
        CorePictureBox* const box = settling_.back();
        settling_.pop_back();
        try {
            if (!box->settle()) {
                settling_.insert(settling_.begin(), box);
                ++waiting;
            }
        } catch (...) {
            reportCurrent(handler);
        }
    }
}

bool Runtime::prevInstance() {
    try {
        return native_.otherInstanceRunning();
    } catch (const NativeFailure& failure) {
        // A guard that cannot tell lets this copy run; the problem is told once.
        if (!instanceProblemReported_) {
            instanceProblemReported_ = true;
            reportError("App.PrevInstance", errorOf(failure));
        }
        return false;
    }
}

std::string Runtime::exeName() {
    return native_.executableName();
}

void Runtime::msgBox(std::string_view prompt, platform::MsgBoxIcon icon) {
    Busy hold(*this);
    native_.messageBox(identity_.title, prompt, icon);
}

void Runtime::end() {
    if (ended_) {
        return;
    }
    ended_ = true;
    // The forms stay alive: the handler that called End may still hold them.
    for (const auto& form : loaded_) {
        form->retire();
    }
    modal_.clear();
    active_ = nullptr;
    native_.quit();
}

platform::Form& Runtime::load(const platform::FormLayout& layout, platform::FormEvents& events) {
    if (ended_) {
        throw platform::Error(platform::ErrorCode::ObjectUnloaded, "the program has ended");
    }
    const std::string_view name = layout.form.name;
    if (name.empty()) {
        throw platform::Error(platform::ErrorCode::InvalidProcedureCall, "a form without a name");
    }
    if (CoreForm* form = find(name)) {
        return *form;
    }
    Busy hold(*this);
    auto made = std::make_unique<CoreForm>(*this, layout, events);
    // A form whose timers cannot start is not loaded: nothing of it stays behind.
    made->startTimers();
    CoreForm& form = *made;
    loaded_.push_back(std::move(made));
    const bool known = std::any_of(terminates_.begin(), terminates_.end(),
                                   [&](const Terminate& t) { return t.events == &events; });
    if (!known) {
        terminates_.push_back(Terminate{handlerName(name, {}, "Terminate"), &events});
    }
    dispatch(handlerName(name, {}, "Load"), [&] { events.onLoad(); });
    return form;
}

void Runtime::unload(platform::Form& target) {
    auto* form = dynamic_cast<CoreForm*>(&target);
    if (form == nullptr || ended_ || !form->loaded() || form->unloading) {
        return;
    }
    Busy hold(*this);
    form->unloading = true;
    bool cancel = false;
    dispatch(handlerName(form->name(), {}, "Unload"), [&] { form->events().onUnload(cancel); });
    form->unloading = false;
    if (ended_ || !form->loaded() || cancel) {
        return;
    }
    retire(*form);
}

void Runtime::unload(const platform::FormLayout& layout) {
    if (CoreForm* form = find(layout.form.name)) {
        unload(*form);
    }
}

void Runtime::retire(CoreForm& form) {
    // Out of the modal stack first: the window system may activate the owner as the form
    // hides, and that activation must not count as one blocked by this form.
    std::erase(modal_, &form);
    form.retire();
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

void Runtime::finishIfNoFormLeft() {
    if (ended_ || !loaded_.empty()) {
        return;
    }
    // With no form left the form objects are released: each one's terminate handler runs
    // once, in the order the forms were first loaded.
    const auto terminates = std::move(terminates_);
    terminates_.clear();
    for (const Terminate& t : terminates) {
        dispatch(t.handler, [&] { t.events->onTerminate(); });
    }
    if (ended_ || !loaded_.empty()) {
        return;
    }
    ended_ = true;
    native_.quit();
}

void Runtime::setMousePointer(platform::MousePointer value) {
    if (value == pointer_) {
        return;
    }
    native_.setPointer(value);
    pointer_ = value;
}

void Runtime::reportError(std::string_view handler, const platform::Error& error) noexcept {
    reporter_.report(handler, error);
}

void Runtime::guard(std::string_view handler, platform::BodyRef body) noexcept {
    Busy hold(*this);
    try {
        body();
    } catch (...) {
        reportCurrent(handler);
    }
    settleDrawing(handler);
}

platform::Form* Runtime::findForm(std::string_view name) const noexcept {
    return find(name);
}

CoreForm* Runtime::find(std::string_view name) const noexcept {
    for (const auto& form : loaded_) {
        if (form->loaded() && sameName(form->name(), name)) {
            return form.get();
        }
    }
    return nullptr;
}

const CoreForm* Runtime::ownerFor(const CoreForm& form) const noexcept {
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

bool Runtime::blockedByModal(const CoreForm& form) const noexcept {
    return !modal_.empty() && modal_.back() != &form;
}

void Runtime::activated(CoreForm& form) {
    // A window that another's modal show blocks does not become the active form; a late
    // activation of it from the window system is stale.
    if (active_ == &form || !form.loaded() || blockedByModal(form)) {
        return;
    }
    active_ = &form;
    dispatch(handlerName(form.name(), {}, "Activate"), [&] { form.events().onActivate(); });
}

std::vector<CoreForm*> Runtime::otherForms(const CoreForm& form) const {
    std::vector<CoreForm*> others;
    for (const auto& other : loaded_) {
        if (other.get() != &form && other->loaded()) {
            others.push_back(other.get());
        }
    }
    return others;
}

void Runtime::raiseModal() {
    if (!modal_.empty()) {
        modal_.back()->bringBack();
    }
}

void Runtime::screensChanged() {
    // An open popup would hang over the new edges: it closes first. Each form is taken in
    // turn, whatever another's window does.
    std::exception_ptr failure;
    const auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (...) {
            if (!failure) {
                failure = std::current_exception();
            }
        }
    };
    std::vector<CoreForm*> forms;
    for (const auto& form : loaded_) {
        if (form->loaded()) {
            forms.push_back(form.get());
        }
    }
    for (CoreForm* form : forms) {
        attempt([&] { form->closePopup(); });
    }
    std::vector<PixelRect> areas;
    attempt([&] { areas = native_.workAreas(); });
    if (!areas.empty()) {
        for (CoreForm* form : forms) {
            attempt([&] { form->keepOnScreen(areas); });
        }
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void Runtime::leave() noexcept {
    if (--depth_ != 0 || retired_.empty() || purgePosted_) {
        return;
    }
    try {
        purgePosted_ = true;
        native_.post([weak = std::weak_ptr<Runtime*>(self_)] {
            if (const auto self = weak.lock()) {
                (*self)->purgeRetired();
            }
        });
    } catch (...) {
        // Not posted: the forms wait for the next handler to finish, or for the end.
        purgePosted_ = false;
    }
}

void Runtime::purgeRetired() noexcept {
    purgePosted_ = false;
    if (depth_ != 0) {
        return;  // the next handler to finish posts the clean-up again
    }
    // Nothing queued may outlive its form.
    settleDrawing("Paint");
    auto retired = std::move(retired_);
    retired_.clear();
    retired.clear();
}

}  // namespace pelmora::core

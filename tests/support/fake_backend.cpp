#include "support/fake_backend.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "app/identity.h"
#include "platform/win_constants.h"

namespace pelmora::fake {

using platform::Error;
using platform::kNoIndex;

namespace {

constexpr std::int32_t kInvalidPropertyValue = 380;
constexpr std::int32_t kAlreadyModal = 400;
constexpr platform::Hwnd kFirstWindow = 0x1001;
constexpr std::uintptr_t kFirstIcon = 0x2001;
// Default procedures live where no code can: the first page of the address space.
constexpr std::intptr_t kFirstDefaultProc = 0x11;

std::string boolText(platform::Bool16 value) {
    return std::to_string(value);
}

Error missingControl(std::string_view name, std::int16_t index, bool arrayExists) {
    if (arrayExists) {
        return {platform::errnum::ControlArrayElementMissing,
                "Control array element '" + std::to_string(index) + "' doesn't exist"};
    }
    return {platform::errnum::ControlNotFound, "Control '" + std::string(name) + "' not found"};
}

}  // namespace

// ---------------------------------------------------------------- text forms

std::string hex(std::uint64_t value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
    return buffer;
}

std::string num(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return {buffer, result.ptr};
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string controlId(std::string_view name, std::int16_t index) {
    std::string id(name);
    if (index != kNoIndex) {
        id += '(' + std::to_string(index) + ')';
    }
    return id;
}

std::string colourText(platform::Colour colour) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "&H%08X", static_cast<unsigned>(colour));
    return buffer;
}

// ---------------------------------------------------------------- controls

std::string FakeLabel::caption() const {
    backend_->read(id_, "Caption", quoted(text));
    return text;
}

void FakeLabel::setCaption(std::string_view value) {
    backend_->write(id_, "Caption", quoted(value));
    text = value;
}

std::int16_t FakeLabel::alignment() const {
    backend_->read(id_, "Alignment", std::to_string(align));
    return align;
}

void FakeLabel::setAlignment(std::int16_t value) {
    backend_->write(id_, "Alignment", std::to_string(value));
    if (value < platform::align::Left || value > platform::align::Center) {
        throw Error(kInvalidPropertyValue, "Invalid property value");
    }
    align = value;
}

FakePictureBox::FakePictureBox(FakeBackend& backend, std::string id,
                               const platform::ControlDef& def, platform::ScaleUnit unit)
    : shown(platform::toBool16(def.visible)),
      position(unit == platform::ScaleUnit::Pixels
                   ? static_cast<float>(def.left) / platform::kTwipsPerPixel
                   : static_cast<float>(def.left)),
      backend_(&backend),
      id_(std::move(id)),
      unit_(unit) {}

platform::Bool16 FakePictureBox::visible() const {
    backend_->read(id_, "Visible", boolText(shown));
    return shown;
}

void FakePictureBox::setVisible(platform::Bool16 value) {
    backend_->write(id_, "Visible", boolText(value));
    shown = platform::toBool16(value != 0);
}

float FakePictureBox::left() const {
    backend_->read(id_, "Left", num(position));
    return position;
}

void FakePictureBox::setLeft(float value) {
    backend_->write(id_, "Left", num(value));
    // Positions snap to whole pixels, as on a screen of 15 twips per pixel.
    position = unit_ == platform::ScaleUnit::Pixels
                   ? std::round(value)
                   : std::round(value / platform::kTwipsPerPixel) * platform::kTwipsPerPixel;
}

void FakePictureBox::cls() {
    backend_->op(id_ + ".Cls", id_ + ".Cls");
    bars.clear();
    ++clsCount;
}

void FakePictureBox::refresh() {
    backend_->op(id_ + ".Refresh", id_ + ".Refresh");
    ++refreshCount;
}

void FakePictureBox::scale(std::int16_t flags, float x1, float y1, float x2, float y2) {
    backend_->op(id_ + ".Scale", id_ + ".Scale " + std::to_string(flags) + ", " + num(x1) + ", " +
                                     num(y1) + ", " + num(x2) + ", " + num(y2));
    userScale = std::array<float, 4>{x1, y1, x2, y2};
}

void FakePictureBox::line(std::int16_t flags, float x1, float y1, float x2, float y2,
                          platform::Colour colour) {
    backend_->op(id_ + ".Line", id_ + ".Line " + std::to_string(flags) + ", " + num(x1) + ", " +
                                    num(y1) + ", " + num(x2) + ", " + num(y2) + ", " +
                                    colourText(colour));
    bars.push_back({flags, x1, y1, x2, y2, colour});
}

platform::Bool16 FakeTimer::enabled() const {
    backend_->read(id_, "Enabled", boolText(on));
    return on;
}

void FakeTimer::setEnabled(platform::Bool16 value) {
    backend_->write(id_, "Enabled", boolText(value));
    on = platform::toBool16(value != 0);
}

platform::Bool16 FakeMenuItem::checked() const {
    backend_->read(id_, "Checked", boolText(mark));
    return mark;
}

void FakeMenuItem::setChecked(platform::Bool16 value) {
    backend_->write(id_, "Checked", boolText(value));
    mark = platform::toBool16(value != 0);
}

// ---------------------------------------------------------------- forms

FakeForm::FakeForm(FakeBackend& backend, const platform::FormLayout& layout,
                   platform::FormEvents& events, platform::Hwnd handle, std::uintptr_t icon)
    : layout(layout),
      events(events),
      name(layout.form.name),
      handle(handle),
      icon(layout.form.icon == platform::PictureId::None ? 0 : icon),
      captionText(layout.form.caption),
      state(layout.form.windowState),
      backend_(&backend) {
    for (const platform::ControlDef& def : layout.controls) {
        Key key{std::string(def.name), def.index};
        const std::string id = controlId(def.name, def.index);
        switch (def.kind) {
            case platform::ControlKind::Label:
                labels_[key] = std::make_unique<FakeLabel>(backend, id, def);
                break;
            case platform::ControlKind::PictureBox:
                pictures_[key.first] =
                    std::make_unique<FakePictureBox>(backend, id, def, layout.form.unit);
                break;
            case platform::ControlKind::Timer:
                timers_[key.first] = std::make_unique<FakeTimer>(backend, id, def);
                break;
            default:
                others_.push_back(key);
                break;
        }
    }
    for (const platform::MenuDef& def : layout.menus) {
        if (def.parent.empty()) {
            menus_[std::string(def.name)] = std::make_unique<FakeMenu>(std::string(def.name));
        } else {
            items_[{std::string(def.name), def.index}] =
                std::make_unique<FakeMenuItem>(backend, controlId(def.name, def.index), def);
        }
    }
}

platform::Hwnd FakeForm::hWnd() const {
    backend_->read(name, "hWnd", hex(handle));
    return handle;
}

std::uintptr_t FakeForm::iconHandle() const {
    backend_->read(name, "Icon", hex(icon));
    return icon;
}

std::int16_t FakeForm::windowState() const {
    backend_->read(name, "WindowState", std::to_string(state));
    return state;
}

void FakeForm::setWindowState(std::int16_t value) {
    backend_->write(name, "WindowState", std::to_string(value));
    if (value < platform::winstate::Normal || value > platform::winstate::Maximized) {
        throw Error(kInvalidPropertyValue, "Invalid property value");
    }
    state = value;
}

void FakeForm::setFocus() {
    backend_->op(name + ".SetFocus", name + ".SetFocus");
    if (!visible) {
        throw Error(platform::errnum::InvalidProcedureCall, "Invalid procedure call or argument");
    }
    ++focusCount;
    backend_->focusedForm = name;
}

void FakeForm::popupMenu(platform::Menu& menu) {
    auto& fake = static_cast<FakeMenu&>(menu);
    backend_->op(name + ".PopupMenu", name + ".PopupMenu " + fake.name);
    backend_->popup(*this, fake);
}

std::string FakeForm::caption() const {
    backend_->read(name, "Caption", quoted(captionText));
    return captionText;
}

void FakeForm::setCaption(std::string_view text) {
    backend_->write(name, "Caption", quoted(text));
    captionText = text;
}

void FakeForm::show(std::int16_t modal) {
    backend_->op(name + ".Show", name + ".Show " + std::to_string(modal));
    backend_->showForm(*this, modal);
}

void FakeForm::lookup(std::string_view control, std::int16_t index, bool found,
                      bool arrayExists) const {
    backend_->lookup("lookup " + controlId(control, index));
    if (!found) {
        throw missingControl(control, index, arrayExists);
    }
}

platform::Label& FakeForm::label(std::string_view control, std::int16_t index) {
    const auto it = labels_.find({std::string(control), index});
    const bool array = std::any_of(labels_.begin(), labels_.end(),
                                   [&](const auto& entry) { return entry.first.first == control; });
    lookup(control, index, it != labels_.end(), array);
    return *it->second;
}

platform::PictureBox& FakeForm::pictureBox(std::string_view control) {
    const auto it = pictures_.find(control);
    lookup(control, kNoIndex, it != pictures_.end(), false);
    return *it->second;
}

platform::Timer& FakeForm::timer(std::string_view control) {
    const auto it = timers_.find(control);
    lookup(control, kNoIndex, it != timers_.end(), false);
    return *it->second;
}

platform::Menu& FakeForm::menu(std::string_view control) {
    const auto it = menus_.find(control);
    lookup(control, kNoIndex, it != menus_.end(), false);
    return *it->second;
}

platform::MenuItem& FakeForm::menuItem(std::string_view control, std::int16_t index) {
    const auto it = items_.find({std::string(control), index});
    const bool array = std::any_of(items_.begin(), items_.end(),
                                   [&](const auto& entry) { return entry.first.first == control; });
    lookup(control, index, it != items_.end(), array);
    return *it->second;
}

FakeLabel& FakeForm::labelState(std::string_view control, std::int16_t index) {
    return *labels_.at({std::string(control), index});
}

FakePictureBox& FakeForm::pictureState(std::string_view control) {
    return *pictures_.find(control)->second;
}

FakeTimer& FakeForm::timerState(std::string_view control) {
    return *timers_.find(control)->second;
}

FakeMenuItem& FakeForm::itemState(std::string_view control, std::int16_t index) {
    return *items_.at({std::string(control), index});
}

bool FakeForm::hasControl(std::string_view control, std::int16_t index) const {
    const Key key{std::string(control), index};
    return labels_.count(key) != 0 || items_.count(key) != 0 ||
           (index == kNoIndex && (pictures_.count(control) != 0 || timers_.count(control) != 0 ||
                                  menus_.count(control) != 0)) ||
           std::find(others_.begin(), others_.end(), key) != others_.end();
}

const platform::MenuDef* FakeForm::menuEntry(std::string_view parent, std::int16_t index) const {
    for (const platform::MenuDef& def : layout.menus) {
        if (def.parent == parent && def.index == index) {
            return &def;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------- the backend

FakeBackend::FakeBackend()
    : applicationTitle(app::identity::kTitle),
      versionMajor(app::identity::kMajor),
      versionMinor(app::identity::kMinor),
      versionRevision(app::identity::kRevision) {}

FakeBackend::~FakeBackend() = default;

void FakeBackend::failOn(std::string key, int nth) {
    const long long seen = counts_[key];
    rules_.push_back({std::move(key), nth, seen, std::nullopt});
}

void FakeBackend::failOn(std::string key, int nth, Error error) {
    const long long seen = counts_[key];
    rules_.push_back({std::move(key), nth, seen, std::move(error)});
}

void FakeBackend::clearFailures() {
    rules_.clear();
}

void FakeBackend::nameProc(std::intptr_t proc, std::string name) {
    procNames_[proc] = std::move(name);
}

void FakeBackend::chooseInNextPopup(std::optional<std::int16_t> index) {
    popupChoices_.push_back(index);
}

void FakeBackend::whileModal(std::function<void()> script) {
    modalScripts_.push_back(std::move(script));
}

const FakeBackend::FailRule* FakeBackend::failing(const std::string& key) {
    const long long count = ++counts_[key];
    for (const FailRule& rule : rules_) {
        if (rule.key == key && (rule.nth == 0 || count - rule.seenBefore == rule.nth)) {
            return &rule;
        }
    }
    return nullptr;
}

void FakeBackend::op(const std::string& key, const std::string& entry) {
    if (const FailRule* rule = failing(key)) {
        journal_.push_back("! " + entry);
        throw rule->error.value_or(Error(kInjectedError, "Injected failure: " + key));
    }
    journal_.push_back(entry);
}

void FakeBackend::write(const std::string& target, std::string_view property,
                        const std::string& value) {
    const std::string key = target + "." + std::string(property) + " =";
    op(key, key + " " + value);
}

void FakeBackend::read(const std::string& target, std::string_view property,
                       const std::string& value) {
    const std::string key = target + "." + std::string(property);
    op(key, key + " -> " + value);
}

void FakeBackend::lookup(const std::string& key) {
    if (const FailRule* rule = failing(key)) {
        journal_.push_back("! " + key);
        throw rule->error.value_or(Error(kInjectedError, "Injected failure: " + key));
    }
}

bool FakeBackend::osCall(const std::string& key, const std::string& entry) {
    if (const FailRule* rule = failing(key)) {
        journal_.push_back("! " + entry);
        if (rule->error) {
            throw *rule->error;
        }
        return false;
    }
    journal_.push_back(entry);
    return true;
}

bool FakeBackend::deliver(const std::string& handler, const std::string& detail,
                          const std::function<void()>& event) {
    if (ended_ || programEnded_) {
        return false;
    }
    journal_.push_back("event " + handler + detail);
    try {
        event();
    } catch (const Error& error) {
        reportError(handler, error);
    }
    return true;
}

// ---------------------------------------------------------------- driving events

FakeForm* FakeBackend::form(std::string_view name) {
    const auto it = loaded_.find(name);
    return it == loaded_.end() ? nullptr : it->second.get();
}

FakeForm& FakeBackend::loadedForm(std::string_view name) {
    FakeForm* found = form(name);
    if (found == nullptr) {
        throw std::logic_error("form not loaded: " + std::string(name));
    }
    return *found;
}

bool FakeBackend::tick(std::string_view formName, std::string_view timerName) {
    FakeForm* target = form(formName);
    if (target == nullptr || !target->hasControl(timerName, kNoIndex) ||
        target->timerState(timerName).on == 0) {
        return false;
    }
    return deliver(target->name + " " + std::string(timerName) + "_Timer", "",
                   [&] { target->events.onTimer(timerName); });
}

int FakeBackend::tickUntilStopped(std::string_view formName, std::string_view timerName,
                                  int limit) {
    int ticks = 0;
    while (ticks < limit && tick(formName, timerName)) {
        ++ticks;
    }
    return ticks;
}

bool FakeBackend::mouseDown(std::string_view formName, std::string_view control, std::int16_t index,
                            std::int16_t button, std::int16_t shift, float x, float y) {
    FakeForm& target = loadedForm(formName);
    if (!control.empty() && !target.hasControl(control, index)) {
        throw std::logic_error("no such control: " + controlId(control, index));
    }
    const std::string handler = target.name + " " +
                                (control.empty() ? std::string("Form") : std::string(control)) +
                                "_MouseDown";
    const std::string detail = (index == kNoIndex ? "" : "(" + std::to_string(index) + ")") + " " +
                               std::to_string(button) + " " + std::to_string(shift) + " " + num(x) +
                               " " + num(y);
    return deliver(handler, detail,
                   [&] { target.events.onMouseDown(control, index, button, shift, x, y); });
}

bool FakeBackend::click(std::string_view formName, std::string_view control, std::int16_t index) {
    FakeForm& target = loadedForm(formName);
    if (!target.hasControl(control, index)) {
        throw std::logic_error("no such control: " + controlId(control, index));
    }
    return deliver(target.name + " " + std::string(control) + "_Click",
                   index == kNoIndex ? "" : "(" + std::to_string(index) + ")",
                   [&] { target.events.onClick(control, index); });
}

bool FakeBackend::activate(std::string_view formName) {
    FakeForm& target = loadedForm(formName);
    return deliver(target.name + " Form_Activate", "", [&] { target.events.onActivate(); });
}

bool FakeBackend::closeByFrame(std::string_view formName) {
    FakeForm* target = form(formName);
    if (target == nullptr || ended_ || programEnded_) {
        return false;
    }
    journal_.push_back("close " + target->name);
    try {
        unload(*target);
    } catch (const Error& error) {
        reportError(target->name + " close", error);
    }
    return true;
}

platform::LResult FakeBackend::sendToWindow(platform::Hwnd hWnd, std::uint32_t msg,
                                            platform::WParam wParam, platform::LParam lParam) {
    journal_.push_back("message " + hex(hWnd) + ": " + std::to_string(msg) + ", " +
                       std::to_string(wParam) + ", " + std::to_string(lParam));
    return dispatch(hWnd, msg, wParam, lParam);
}

std::optional<platform::LResult> FakeBackend::trayMouse(platform::LParam event) {
    if (!tray_.present || ended_ || programEnded_) {
        return std::nullopt;
    }
    return sendToWindow(platform::widenHandle(tray_.hWnd), tray_.callbackMessage, tray_.uID, event);
}

void FakeBackend::showForm(FakeForm& target, std::int16_t modal) {
    if (modal != 0 && target.modal) {
        throw Error(kAlreadyModal, "Form already displayed; can't show modally");
    }
    target.visible = true;
    deliver(target.name + " Form_Activate", "", [&] { target.events.onActivate(); });
    if (modal == 0) {
        return;
    }
    target.modal = true;
    if (!modalScripts_.empty()) {
        auto script = std::move(modalScripts_.front());
        modalScripts_.pop_front();
        script();
    }
    if (target.loaded) {
        closeByFrame(target.name);
    }
    target.modal = false;
}

void FakeBackend::popup(FakeForm& target, FakeMenu& menu) {
    if (popupChoices_.empty()) {
        return;
    }
    const std::optional<std::int16_t> choice = popupChoices_.front();
    popupChoices_.pop_front();
    if (!choice) {
        return;
    }
    const platform::MenuDef* item = target.menuEntry(menu.name, *choice);
    if (item == nullptr || item->caption == "-" || !item->enabled || !item->visible) {
        throw std::logic_error("that popup item cannot be chosen: " + std::to_string(*choice));
    }
    const std::string itemName(item->name);
    deliver(target.name + " " + itemName + "_Click", "(" + std::to_string(*choice) + ")",
            [&] { target.events.onClick(itemName, *choice); });
}

// ---------------------------------------------------------------- state

bool FakeBackend::topmost(platform::Hwnd hWnd) const {
    const auto it = topmost_.find(hWnd);
    return it != topmost_.end() && it->second;
}

int FakeBackend::drags(platform::Hwnd hWnd) const {
    const auto it = drags_.find(hWnd);
    return it == drags_.end() ? 0 : it->second;
}

std::intptr_t FakeBackend::wndProc(platform::Hwnd hWnd) const {
    const auto it = procs_.find(hWnd);
    return it == procs_.end() ? 0 : it->second;
}

std::intptr_t FakeBackend::defaultProcOf(platform::Hwnd hWnd) const {
    const auto it = defaultProcs_.find(hWnd);
    return it == defaultProcs_.end() ? 0 : it->second;
}

std::string FakeBackend::procText(std::intptr_t proc) const {
    if (proc == 0) {
        return "0";
    }
    const auto it = procNames_.find(proc);
    return it == procNames_.end() ? hex(static_cast<std::uint64_t>(proc)) : it->second;
}

std::vector<std::string> FakeBackend::entries(std::vector<std::string_view> prefixes,
                                              std::size_t from) const {
    std::vector<std::string> out;
    for (std::size_t i = from; i < journal_.size(); ++i) {
        const std::string& entry = journal_[i];
        const bool wanted =
            prefixes.empty() || std::any_of(prefixes.begin(), prefixes.end(), [&](auto prefix) {
                return entry.compare(0, prefix.size(), prefix) == 0;
            });
        if (wanted) {
            out.push_back(entry);
        }
    }
    return out;
}

FakeForm* FakeBackend::windowForm(platform::Hwnd hWnd) const {
    for (const auto& [name, loadedForm] : loaded_) {
        if (loadedForm->handle == hWnd) {
            return loadedForm.get();
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------- FormsRuntime

platform::Bool16 FakeBackend::prevInstance() {
    read("App", "PrevInstance", boolText(previousInstance));
    return previousInstance;
}

std::string FakeBackend::exeName() {
    read("App", "EXEName", quoted(executableName));
    return executableName;
}

std::string FakeBackend::title() {
    read("App", "Title", quoted(applicationTitle));
    return applicationTitle;
}

std::int16_t FakeBackend::major() {
    read("App", "Major", std::to_string(versionMajor));
    return versionMajor;
}

std::int16_t FakeBackend::minor() {
    read("App", "Minor", std::to_string(versionMinor));
    return versionMinor;
}

std::int16_t FakeBackend::revision() {
    read("App", "Revision", std::to_string(versionRevision));
    return versionRevision;
}

void FakeBackend::msgBox(std::string_view prompt, std::int16_t style) {
    op("MsgBox", "MsgBox " + quoted(prompt) + ", " + std::to_string(style));
    messageBoxes_.push_back({std::string(prompt), style});
}

void FakeBackend::end() {
    op("End", "End");
    ended_ = true;
}

platform::Form& FakeBackend::load(const platform::FormLayout& layout,
                                  platform::FormEvents& events) {
    if (FakeForm* existing = form(layout.form.name)) {
        return *existing;
    }
    const std::string name(layout.form.name);
    op("Load " + name, "Load " + name);
    const int number = formsCreated_++;
    const platform::Hwnd handle = kFirstWindow + static_cast<platform::Hwnd>(number);
    auto created = std::make_unique<FakeForm>(*this, layout, events, handle,
                                              kFirstIcon + static_cast<std::uintptr_t>(number));
    FakeForm& result = *created;
    // Registered before its load handler runs, so that the handler finds its own form.
    loaded_[name] = std::move(created);
    defaultProcs_[handle] = kFirstDefaultProc + number;
    procs_[handle] = defaultProcs_[handle];
    procNames_[defaultProcs_[handle]] = "DefProc(" + name + ")";
    if (std::find(everLoaded_.begin(), everLoaded_.end(), &events) == everLoaded_.end()) {
        everLoaded_.push_back(&events);
    }
    deliver(name + " Form_Load", "", [&] { events.onLoad(); });
    return result;
}

void FakeBackend::unload(platform::Form& target) {
    auto& fakeForm = static_cast<FakeForm&>(target);
    const std::string key = "Unload " + fakeForm.name;
    if (!fakeForm.loaded) {
        op(key, key + " (not loaded)");
        return;
    }
    op(key, key);
    std::int16_t cancel = 0;
    deliver(fakeForm.name + " Form_Unload", "", [&] { fakeForm.events.onUnload(cancel); });
    if (cancel != 0) {
        journal_.push_back(key + " cancelled");
        return;
    }
    fakeForm.loaded = false;
    fakeForm.visible = false;
    procs_.erase(fakeForm.handle);
    const auto it = loaded_.find(fakeForm.name);
    unloaded_.push_back(std::move(it->second));
    loaded_.erase(it);
    if (loaded_.empty()) {
        endProgram();
    }
}

void FakeBackend::unload(const platform::FormLayout& layout) {
    if (FakeForm* target = form(layout.form.name)) {
        unload(*target);
        return;
    }
    const std::string key = "Unload " + std::string(layout.form.name);
    op(key, key + " (not loaded)");
}

void FakeBackend::endProgram() {
    if (programEnded_ || ended_) {
        return;
    }
    journal_.push_back("no form left");
    // Each form object is released now; its terminate handler runs once.
    for (platform::FormEvents* events : everLoaded_) {
        std::string name = "form";
        for (const auto& gone : unloaded_) {
            if (&gone->events == events) {
                name = gone->name;
            }
        }
        deliver(name + " Form_Terminate", "", [&] { events->onTerminate(); });
    }
    programEnded_ = true;
}

void FakeBackend::setMousePointer(std::int16_t value) {
    write("Screen", "MousePointer", std::to_string(value));
    mousePointer_ = value;
    mousePointerHistory.push_back(value);
}

void FakeBackend::reportError(std::string_view handler, const Error& error) noexcept {
    try {
        reports_.push_back({std::string(handler), error.number(), error.description()});
        journal_.push_back("report " + std::string(handler) + ": " +
                           std::to_string(error.number()) + " " + error.description());
    } catch (...) {
        // Reporting never throws.
    }
}

// ---------------------------------------------------------------- OsCalls

std::int32_t FakeBackend::GlobalMemoryStatusEx(platform::MEMORYSTATUSEX& status) {
    if (!osCall("GlobalMemoryStatusEx",
                "GlobalMemoryStatusEx dwLength=" + std::to_string(status.dwLength))) {
        return 0;
    }
    if (status.dwLength != sizeof(platform::MEMORYSTATUSEX)) {
        return 0;
    }
    status.dwMemoryLoad = memory.load;
    status.ullTotalPhys = memory.totalPhys;
    status.ullAvailPhys = memory.availPhys;
    status.ullTotalPageFile = memory.totalPageFile;
    status.ullAvailPageFile = memory.availPageFile;
    status.ullTotalVirtual = memory.totalVirtual;
    status.ullAvailVirtual = memory.availVirtual;
    status.ullAvailExtendedVirtual = memory.availExtendedVirtual;
    return 1;
}

std::int32_t FakeBackend::Shell_NotifyIconA(std::uint32_t dwMessage,
                                            platform::NOTIFYICONDATAA& data) {
    static constexpr const char* kNames[] = {"NIM_ADD", "NIM_MODIFY", "NIM_DELETE"};
    const std::size_t tipLength = std::find(data.szTip, data.szTip + 64, '\0') - data.szTip;
    const std::string tip(data.szTip, tipLength);
    const std::string request = dwMessage < 3 ? kNames[dwMessage] : std::to_string(dwMessage);
    const std::string entry = "Shell_NotifyIconA " + request +
                              " cbSize=" + std::to_string(data.cbSize) + " hWnd=" + hex(data.hWnd) +
                              " uID=" + std::to_string(data.uID) +
                              " uFlags=" + std::to_string(data.uFlags) +
                              " uCallbackMessage=" + std::to_string(data.uCallbackMessage) +
                              " hIcon=" + hex(data.hIcon) + " szTip=" + quoted(tip);
    trayRequests_.push_back({dwMessage, data, 0});
    if (!osCall("Shell_NotifyIconA", entry)) {
        return 0;
    }

    const bool known = windowForm(platform::widenHandle(data.hWnd)) != nullptr;
    const bool same = tray_.present && tray_.hWnd == data.hWnd && tray_.uID == data.uID;
    const auto apply = [&] {
        if (data.uFlags & platform::NIF_MESSAGE) {
            tray_.callbackMessage = data.uCallbackMessage;
        }
        if (data.uFlags & platform::NIF_ICON) {
            tray_.hIcon = data.hIcon;
        }
        if (data.uFlags & platform::NIF_TIP) {
            tray_.tip = tip;
            tray_.tipUnterminated = tray_.tipUnterminated || tipLength == 64;
        }
    };
    std::int32_t result = 0;
    if (data.cbSize >= sizeof(platform::NOTIFYICONDATAA)) {
        if (dwMessage == platform::NIM_ADD && known && !tray_.present) {
            tray_ = TrayIcon{true, data.hWnd, data.uID, 0, 0, "", tray_.tipUnterminated};
            apply();
            result = 1;
        } else if (dwMessage == platform::NIM_MODIFY && same) {
            apply();
            result = 1;
        } else if (dwMessage == platform::NIM_DELETE && same) {
            tray_.present = false;
            result = 1;
        }
    }
    trayRequests_.back().result = result;
    return result;
}

std::intptr_t FakeBackend::SetWindowLongA(platform::Hwnd hWnd, std::int32_t nIndex,
                                          std::intptr_t dwNewLong) {
    if (!osCall("SetWindowLongA", "SetWindowLongA " + hex(hWnd) + ", " + std::to_string(nIndex) +
                                      ", " + procText(dwNewLong))) {
        return 0;
    }
    const auto it = procs_.find(hWnd);
    if (it == procs_.end() || nIndex != platform::GWL_WNDPROC) {
        return 0;
    }
    return std::exchange(it->second, dwNewLong);
}

platform::LResult FakeBackend::CallWindowProcA(std::intptr_t lpPrevWndFunc, platform::Hwnd hWnd,
                                               std::uint32_t msg, platform::WParam wParam,
                                               platform::LParam lParam) {
    if (!osCall("CallWindowProcA", "CallWindowProcA " + procText(lpPrevWndFunc) + ", " + hex(hWnd) +
                                       ", " + std::to_string(msg) + ", " + std::to_string(wParam) +
                                       ", " + std::to_string(lParam))) {
        return 0;
    }
    return invoke(lpPrevWndFunc, hWnd, msg, wParam, lParam);
}

std::int32_t FakeBackend::SetWindowPos(platform::Hwnd hWnd, std::intptr_t hWndInsertAfter,
                                       std::int32_t x, std::int32_t y, std::int32_t cx,
                                       std::int32_t cy, std::uint32_t uFlags) {
    if (!osCall("SetWindowPos", "SetWindowPos " + hex(hWnd) + ", " +
                                    std::to_string(hWndInsertAfter) + ", " + std::to_string(x) +
                                    ", " + std::to_string(y) + ", " + std::to_string(cx) + ", " +
                                    std::to_string(cy) + ", " + std::to_string(uFlags))) {
        return 0;
    }
    if (windowForm(hWnd) == nullptr) {
        return 0;
    }
    if (hWndInsertAfter == platform::HWND_TOPMOST) {
        topmost_[hWnd] = true;
    } else if (hWndInsertAfter == platform::HWND_NOTOPMOST) {
        topmost_[hWnd] = false;
    }
    return 1;
}

std::int32_t FakeBackend::ReleaseCapture() {
    return osCall("ReleaseCapture", "ReleaseCapture");
}

platform::LResult FakeBackend::SendMessageA(platform::Hwnd hWnd, std::uint32_t msg,
                                            platform::WParam wParam, platform::LParam lParam) {
    if (!osCall("SendMessageA", "SendMessageA " + hex(hWnd) + ", " + std::to_string(msg) + ", " +
                                    std::to_string(wParam) + ", " + std::to_string(lParam))) {
        return 0;
    }
    return dispatch(hWnd, msg, wParam, lParam);
}

platform::LResult FakeBackend::dispatch(platform::Hwnd hWnd, std::uint32_t msg,
                                        platform::WParam wParam, platform::LParam lParam) {
    const auto it = procs_.find(hWnd);
    if (it == procs_.end()) {
        return 0;
    }
    return invoke(it->second, hWnd, msg, wParam, lParam);
}

platform::LResult FakeBackend::invoke(std::intptr_t proc, platform::Hwnd hWnd, std::uint32_t msg,
                                      platform::WParam wParam, platform::LParam lParam) {
    if (proc == 0) {
        return 0;
    }
    for (const auto& [window, value] : defaultProcs_) {
        if (value == proc) {
            // The window's own procedure: a press on the caption starts a move.
            defaultMessages_.push_back({hWnd, msg, wParam, lParam});
            if (msg == platform::WM_NCLBUTTONDOWN && wParam == platform::HTCAPTION) {
                ++drags_[hWnd];
            }
            return defaultProcResult;
        }
    }
    return reinterpret_cast<platform::WndProc>(proc)(hWnd, msg, wParam, lParam);
}

}  // namespace pelmora::fake

#include "platform/core/form.h"

#include <algorithm>
#include <exception>

#include "platform/core/accessible.h"
#include "platform/core/runtime.h"
#include "platform/core/window_policy.h"

namespace pelmora::core {

using platform::ControlKind;
using platform::ErrorCode;

namespace {

std::string elementText(platform::ControlName name, std::int16_t index) {
    std::string text(name.text());
    if (index != platform::kNoIndex) {
        text += '(';
        text += std::to_string(index);
        text += ')';
    }
    return text;
}

// Child windows are drawn in front of every windowless control of the same parent.
bool windowed(ControlKind kind) noexcept {
    return kind == ControlKind::PictureBox || kind == ControlKind::CommandButton;
}

// Where a control comes in the order focus moves in: by tab index, those without one last.
int tabPosition(const platform::ControlDef& def) noexcept {
    return def.tabIndex < 0 ? 0x7FFF : def.tabIndex;
}

}  // namespace

WidgetSpec widgetLook(const platform::ControlDef& def, WidgetId id) {
    WidgetSpec shape;
    shape.id = id;
    shape.kind = def.kind;
    shape.name = def.name.text();
    shape.index = def.index;
    shape.text = def.text;
    shape.font = def.font;
    shape.foreColour = def.foreColour;
    shape.backColour = def.backColour;
    shape.transparent = def.transparent;
    shape.alignment = def.alignment;
    shape.sizing = def.sizing;
    shape.lineWidth = std::max<int>(1, def.borderWidth);
    shape.picture = def.picture;
    shape.stretch = def.stretch;
    shape.visible = def.visible;
    shape.enabled = def.enabled;
    shape.isDefault = def.isDefault;
    shape.isCancel = def.isCancel;
    return shape;
}

WindowSpec windowLook(const platform::FormDef& def, int clientWidth, int clientHeight) {
    WindowSpec window;
    window.name = def.name;
    window.caption = def.caption;
    window.border = def.border;
    window.inTaskbar = def.showInTaskbar;
    window.backColour = def.backColour;
    window.picture = def.picture;
    window.icon = def.icon;
    window.clientWidth = clientWidth;
    window.clientHeight = clientHeight;
    return window;
}

// ---------------------------------------------------------------------------------------------
// Controls

CoreLabel::CoreLabel(CoreForm& form, WidgetId id, const platform::ControlDef& def, bool told)
    : form_(form), id_(id), caption_(def.text), alignment_(def.alignment), told_(told) {}

void CoreLabel::setCaption(std::string_view text) {
    NativeWindow& window = form_.live();
    if (text == caption_) {
        return;
    }
    // What is kept is what the screen shows: a text that failed to get there is sent again.
    window.setText(id_, text);
    if (told_) {
        window.setAccessible(id_, accessibleText(text));
    }
    caption_.assign(text);
}

void CoreLabel::setAlignment(platform::Alignment value) {
    NativeWindow& window = form_.live();
    if (value == alignment_) {
        return;
    }
    window.setAlignment(id_, value);
    alignment_ = value;
}

CorePictureBox::CorePictureBox(CoreForm& form, WidgetId id, const platform::ControlDef& def,
                               PixelRect rect, int frame)
    : form_(form),
      id_(id),
      def_(def),
      rect_(rect),
      scale_(form.perPixel(), std::max(0, rect.width - 2 * frame),
             std::max(0, rect.height - 2 * frame)),
      visible_(def.visible) {}

void CorePictureBox::setVisible(bool value) {
    NativeWindow& window = form_.live();
    if (value == visible_) {
        return;
    }
    window.setVisible(id_, value);
    visible_ = value;
}

float CorePictureBox::left() const {
    return static_cast<float>(rect_.left * form_.perPixel());
}

void CorePictureBox::setLeft(float value) {
    NativeWindow& window = form_.live();
    const int left = unitsToPixels(value, form_.perPixel());
    if (left == rect_.left) {
        return;
    }
    window.moveWidget(id_, PixelPoint{left, rect_.top});
    rect_.left = left;
}

void CorePictureBox::cls() {
    form_.live();
    drawing_.clear();
    changed();
}

void CorePictureBox::refresh() {
    form_.live();
    changed();
}

void CorePictureBox::scale(platform::UserRect corners) {
    form_.live();
    scale_.set(corners);
}

void CorePictureBox::fillBox(platform::UserRect box, platform::Colour colour) {
    form_.live();
    if (const auto area = scale_.box(box)) {
        drawing_.push_back(Fill{*area, colour});
        changed();
    }
}

void CorePictureBox::setLevel(float percent) {
    form_.live();
    if (def_.levelName.empty() || level_ == percent) {
        return;
    }
    level_ = percent;
    levelChanged_ = true;
    changed();
}

void CorePictureBox::changed() {
    if (!queued_) {
        form_.runtime().settleLater(*this);
        queued_ = true;
    }
}

bool CorePictureBox::settle() {
    if (form_.unloading) {
        return false;
    }
    queued_ = false;
    if (!form_.loaded()) {
        return true;
    }
    if (!shownKnown_ || drawing_ != shown_) {
        NativeWindow& window = form_.live();
        shownKnown_ = false;
        window.clearDrawing(id_);
        for (const Fill& fill : drawing_) {
            window.fillBox(id_, fill.area, fill.colour);
        }
        window.repaint(id_);
        shown_ = drawing_;
        shownKnown_ = true;
    }
    // A level is told as its drawing shows, and only when it changed.
    if (levelChanged_ && level_) {
        Accessible now = accessibleLevel(def_, *level_);
        if (now != told_) {
            form_.live().setAccessible(id_, now);
            told_ = std::move(now);
        }
        levelChanged_ = false;
    }
    return true;
}

CoreTimer::CoreTimer(CoreForm& form, WidgetId id, const platform::ControlDef& def)
    : form_(form),
      id_(id),
      name_(def.name),
      handler_(handlerName(form.name(), def.name.text(), "Timer")),
      interval_(def.interval),
      enabled_(def.enabled) {}

void CoreTimer::setEnabled(bool value) {
    form_.live();
    enabled_ = value;
    start();
}

void CoreTimer::start() {
    const bool ticking = enabled_ && interval_ > 0 && !stopped_;
    if (ticking == started_) {
        return;
    }
    if (ticking) {
        form_.live().startTimer(id_, interval_);
    } else {
        form_.live().stopTimer(id_);
    }
    started_ = ticking;
}

void CoreTimer::stop() {
    stopped_ = true;
    if (started_) {
        started_ = false;
        form_.live().stopTimer(id_);
    }
}

void CoreMenuItem::setChecked(bool value) {
    form_.live();
    checked_ = value;
}

// ---------------------------------------------------------------------------------------------
// The form

CoreForm::CoreForm(Runtime& runtime, const platform::FormLayout& layout,
                   platform::FormEvents& events)
    : runtime_(runtime),
      layout_(layout),
      events_(events),
      perPixel_(unitsPerPixel(layout.form.unit)),
      caption_(layout.form.caption) {
    const std::vector<WidgetSpec> shapes = widgetSpecs();
    controls_.resize(layout_.controls.size());
    controlNames_.reserve(layout_.controls.size());
    for (const platform::ControlDef& def : layout_.controls) {
        controlNames_.push_back(named(def.name, def.index, def.kind));
    }
    for (const WidgetSpec& shape : shapes) {
        const platform::ControlDef& def = layout_.controls[shape.id];
        switch (def.kind) {
            case ControlKind::Label:
                controls_[shape.id] = std::make_unique<CoreLabel>(
                    *this, shape.id, def, shape.accessible.role != AccessibleRole::None);
                break;
            case ControlKind::PictureBox:
                controls_[shape.id] =
                    std::make_unique<CorePictureBox>(*this, shape.id, def, shape.rect, shape.frame);
                break;
            case ControlKind::Timer:
                controls_[shape.id] = std::make_unique<CoreTimer>(*this, shape.id, def);
                break;
            case ControlKind::Line:
            case ControlKind::Image:
            case ControlKind::CommandButton:
                break;
        }
    }
    for (const platform::MenuDef& def : layout_.menus) {
        items_.push_back(std::make_unique<CoreMenuItem>(*this, def));
        itemNames_.push_back(named(def.name, def.index, ControlKind{}));
        menus_.push_back(def.parent.empty() ? std::make_unique<CoreMenu>(*this, def.name)
                                            : nullptr);
    }
    told_ = accessibleWindow(layout_.form, caption_, runtime_.title());
    WindowSpec window = windowLook(layout_.form, twipsToPixels(layout_.form.clientWidth),
                                   twipsToPixels(layout_.form.clientHeight));
    window.accessible = told_;
    try {
        window_ = runtime_.native().createWindow(window, *this);
        window_->build(shapes);
    } catch (const platform::Error&) {
        throw;
    } catch (const NativeFailure& failure) {
        throw errorOf(failure);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& failure) {
        throw platform::Error(ErrorCode::CannotCreateWindow,
                              std::string(name()) + ": " + failure.what());
    }
}

CoreForm::~CoreForm() = default;

std::vector<WidgetSpec> CoreForm::widgetSpecs() const {
    std::vector<WidgetSpec> shapes;
    shapes.reserve(layout_.controls.size());
    for (std::size_t i = 0; i < layout_.controls.size(); ++i) {
        const platform::ControlDef& def = layout_.controls[i];
        WidgetSpec shape = widgetLook(def, i);
        if (!def.parent.empty()) {
            const auto parent = std::find_if(
                layout_.controls.begin(), layout_.controls.end(), [&](const auto& other) {
                    return other.kind == ControlKind::PictureBox &&
                           sameName(other.name.text(), def.parent.text());
                });
            if (parent == layout_.controls.end()) {
                throw platform::Error(ErrorCode::ControlNotFound,
                                      "container " + std::string(def.parent.text()) + " of " +
                                          elementText(def.name, def.index));
            }
            shape.parent = static_cast<WidgetId>(parent - layout_.controls.begin());
        }
        if (def.kind == ControlKind::Line) {
            shape.from = {twipsToPixels(def.left), twipsToPixels(def.top)};
            shape.to = {twipsToPixels(def.width), twipsToPixels(def.height)};
        } else {
            shape.rect = {twipsToPixels(def.left), twipsToPixels(def.top), twipsToPixels(def.width),
                          twipsToPixels(def.height)};
        }
        shape.frame = def.kind == ControlKind::PictureBox && def.framed ? 1 : 0;
        shape.accessible = accessibleControl(layout_, i, runtime_.title());
        shapes.push_back(shape);
    }
    // The buttons' chain of focus: by tab index, those without one last, ties in table order.
    std::vector<WidgetId> chain;
    for (const WidgetSpec& shape : shapes) {
        if (shape.kind == ControlKind::CommandButton) {
            chain.push_back(shape.id);
        }
    }
    std::stable_sort(chain.begin(), chain.end(), [&](WidgetId a, WidgetId b) {
        return tabPosition(layout_.controls[a]) < tabPosition(layout_.controls[b]);
    });
    for (std::size_t place = 0; place < chain.size(); ++place) {
        shapes[chain[place]].tabStop = static_cast<int>(place);
    }
    return stacked(std::move(shapes));
}

std::vector<WidgetSpec> CoreForm::stacked(std::vector<WidgetSpec> shapes) const {
    // Each parent before what sits in it; within a parent the child windows in front of the
    // windowless controls, each kind front to back as the table lists them.
    std::vector<WidgetSpec> ordered;
    ordered.reserve(shapes.size());
    const auto within = [&](const auto& self, std::optional<WidgetId> parent) -> void {
        for (const bool windowedPass : {true, false}) {
            for (const WidgetSpec& shape : shapes) {
                if (shape.parent != parent || windowed(shape.kind) != windowedPass) {
                    continue;
                }
                ordered.push_back(shape);
                if (shape.kind == ControlKind::PictureBox) {
                    self(self, shape.id);
                }
            }
        }
    };
    within(within, std::nullopt);
    if (ordered.size() != shapes.size()) {
        throw platform::Error(ErrorCode::ControlNotFound,
                              std::string(name()) + ": a control sits inside itself");
    }
    return ordered;
}

std::optional<WidgetId> CoreForm::firstFocus() const noexcept {
    std::optional<WidgetId> first;
    for (std::size_t i = 0; i < layout_.controls.size(); ++i) {
        const platform::ControlDef& def = layout_.controls[i];
        if (def.kind != ControlKind::CommandButton || !def.enabled || !def.visible) {
            continue;
        }
        if (!first || tabPosition(def) < tabPosition(layout_.controls[*first])) {
            first = i;
        }
    }
    return first;
}

NativeWindow& CoreForm::live() {
    if (!loaded_) {
        throw platform::Error(ErrorCode::ObjectUnloaded, std::string(name()));
    }
    return *window_;
}

platform::Hwnd CoreForm::hWnd() const {
    return window_->handle();
}

std::uintptr_t CoreForm::iconHandle() const {
    return window_->iconHandle();
}

platform::WindowState CoreForm::windowState() const {
    return window_->state();
}

void CoreForm::setWindowState(platform::WindowState state) {
    live().setState(state);
}

void CoreForm::setFocus() {
    NativeWindow& window = live();
    // A form that is not shown yet takes the focus when it is.
    if (!shown_) {
        return;
    }
    window.bringToFront();
    window.focusWidget(firstFocus());
}

void CoreForm::bringBack() {
    NativeWindow& window = live();
    if (window.state() == platform::WindowState::Minimized) {
        window.setState(platform::WindowState::Normal);
    }
    window.bringToFront();
}

void CoreForm::keepOnScreen(std::span<const PixelRect> areas) {
    NativeWindow& window = live();
    if (!shown_ || window.state() == platform::WindowState::Minimized) {
        return;
    }
    // A modal box must be whole: its buttons are the only way on.
    if (const auto at = keptOnScreen(window.frame(), modalLoop_, areas)) {
        window.moveTo(*at);
    }
}

void CoreForm::closePopup() {
    live().closePopup();
}

void CoreForm::place() {
    NativeWindow& window = live();
    const CoreForm* owner = runtime_.ownerFor(*this);
    if (owner != nullptr && !owner->shown_) {
        owner = nullptr;
    }
    // Owned, it goes with its owner and stays in front of it.
    if (owner != nullptr) {
        window.setOwner(owner->window_.get());
    }
    shownOver_ = owner != nullptr ? owner->name() : std::string_view{};
    const platform::StartUpPosition startUp = layout_.form.startUp;
    if (startUp == platform::StartUpPosition::Manual) {
        return;
    }
    PlacementInput input{startUp, window.frame(), std::nullopt, {}};
    if (owner != nullptr) {
        input.owner = owner->window_->frame();
    } else {
        input.pointer = runtime_.native().pointerPosition();
    }
    const std::vector<PixelRect> areas = runtime_.native().workAreas();
    if (const auto at = placement(input, areas)) {
        window.moveTo(*at);
    }
}

void CoreForm::block() {
    if (blockers_++ == 0) {
        live().setEnabled(false);
    }
}

void CoreForm::unblock() noexcept {
    if (blockers_ > 0 && --blockers_ == 0 && loaded_) {
        try {
            window_->setEnabled(true);
        } catch (...) {
            // The window stays disabled; the form goes on.
        }
    }
}

void CoreForm::releaseBlocked() noexcept {
    auto blocked = std::move(blocked_);
    blocked_.clear();
    for (CoreForm* form : blocked) {
        form->unblock();
    }
}

void CoreForm::setCaption(std::string_view text) {
    NativeWindow& window = live();
    window.setCaption(text);
    caption_.assign(text);
    Accessible now = accessibleWindow(layout_.form, caption_, runtime_.title());
    if (now != told_) {
        window.setAccessible(std::nullopt, now);
        told_ = std::move(now);
    }
}

void CoreForm::show(platform::ShowMode mode) {
    NativeWindow& window = live();
    if (mode == platform::ShowMode::Modal && (modalLoop_ || shown_)) {
        throw platform::Error(ErrorCode::AlreadyShownModally, std::string(name()));
    }
    // Whatever the showing sets off (an activation handler) must not destroy this form.
    Runtime::Busy hold(runtime_);
    if (!shown_) {
        place();
        window.show(layout_.form.windowState);
    } else {
        window.show(std::nullopt);
    }
    shown_ = true;
    // An activation handler may have unloaded the form already: no loop would end.
    if (!loaded_) {
        return;
    }
    window.focusWidget(firstFocus());
    if (mode != platform::ShowMode::Modal || !loaded_) {
        return;
    }
    // However the loop ends, even by failing to run, nothing stays blocked by it.
    struct Leave {
        CoreForm& form;
        ~Leave() {
            form.modalLoop_ = false;
            std::erase(form.runtime_.modal_, &form);
            form.releaseBlocked();
            form.focusOwnerAgain();
        }
    } leave{*this};
    modalLoop_ = true;
    runtime_.modal_.push_back(this);
    // Every other form takes no input until the box goes.
    for (CoreForm* other : runtime_.otherForms(*this)) {
        other->block();
        blocked_.push_back(other);
    }
    window.runModalLoop();
}

void CoreForm::focusOwnerAgain() noexcept {
    CoreForm* owner = shownOver_.empty() ? nullptr : runtime_.find(shownOver_);
    if (owner == nullptr || owner == this || !owner->shown_ || runtime_.blockedByModal(*owner)) {
        return;
    }
    try {
        NativeWindow& window = *owner->window_;
        if (window.state() == platform::WindowState::Minimized) {
            return;
        }
        window.bringToFront();
        window.focusWidget(owner->firstFocus());
    } catch (...) {
        // The focus stays where the window system put it.
    }
}

void CoreForm::startTimers() {
    for (const auto& object : controls_) {
        if (auto* timer = dynamic_cast<CoreTimer*>(object.get())) {
            timer->start();
        }
    }
}

void CoreForm::retire() noexcept {
    if (!loaded_) {
        return;
    }
    // Each step is taken whatever the others do: a timer that will not stop must not leave
    // a modal show waiting or the window on screen. The window goes with the form anyway.
    const auto attempt = [](auto&& step) noexcept {
        try {
            step();
        } catch (...) {
        }
    };
    for (const auto& object : controls_) {
        if (auto* timer = dynamic_cast<CoreTimer*>(object.get())) {
            attempt([&] { timer->stop(); });
        }
    }
    // The forms it blocked are enabled before it hides, so that the window system activates
    // one of them and not another program.
    releaseBlocked();
    if (modalLoop_) {
        attempt([&] { window_->endModalLoop(); });
    }
    attempt([&] { window_->hide(); });
    loaded_ = false;
    // Forms shown over it go with it, as owned windows do with their owner: each is asked to
    // close once this handler has returned, and its unload handler may keep it.
    for (CoreForm* other : runtime_.otherForms(*this)) {
        if (other->shownOver_ != name()) {
            continue;
        }
        attempt([&] {
            runtime_.native().post([weak = std::weak_ptr<Runtime*>(runtime_.self_),
                                    owned = std::string(other->name())] {
                const auto self = weak.lock();
                if (CoreForm* form = self ? (*self)->find(owned) : nullptr) {
                    form->closeRequested();
                }
            });
        });
    }
}

CoreForm::Named CoreForm::named(platform::ControlName name, std::int16_t index, ControlKind kind) {
    const std::string_view text = name.text();
    return Named{text.data(), static_cast<std::uint32_t>(text.size()), index, kind};
}

CoreForm::Lookup CoreForm::lookup(const std::vector<Named>& table, platform::ControlName name,
                                  std::int16_t index) noexcept {
    bool named = false;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (!sameName(table[i].name(), name.text())) {
            continue;
        }
        named = true;
        if (table[i].index == index) {
            return {i, true};
        }
    }
    return {table.size(), named};
}

platform::RuntimeObject& CoreForm::control(platform::ControlName name, std::int16_t index,
                                           ControlKind kind) {
    const Lookup found = lookup(controlNames_, name, index);
    if (found.slot < controlNames_.size()) {
        if (controlNames_[found.slot].kind != kind || controls_[found.slot] == nullptr) {
            throw platform::Error(ErrorCode::TypeMismatch, elementText(name, index));
        }
        return *controls_[found.slot];
    }
    if (found.named) {
        throw platform::Error(ErrorCode::ControlArrayElementMissing, elementText(name, index));
    }
    throw platform::Error(ErrorCode::ControlNotFound, elementText(name, index));
}

platform::Label& CoreForm::label(platform::ControlName name, std::int16_t index) {
    return static_cast<platform::Label&>(control(name, index, ControlKind::Label));
}

platform::PictureBox& CoreForm::pictureBox(platform::ControlName name) {
    return static_cast<platform::PictureBox&>(
        control(name, platform::kNoIndex, ControlKind::PictureBox));
}

platform::Timer& CoreForm::timer(platform::ControlName name) {
    return static_cast<platform::Timer&>(control(name, platform::kNoIndex, ControlKind::Timer));
}

platform::Menu& CoreForm::menu(platform::ControlName name) {
    for (const auto& menu : menus_) {
        if (menu != nullptr && sameName(menu->name.text(), name.text())) {
            return *menu;
        }
    }
    throw platform::Error(ErrorCode::ControlNotFound, elementText(name, platform::kNoIndex));
}

platform::MenuItem& CoreForm::menuItem(platform::ControlName name, std::int16_t index) {
    const Lookup found = lookup(itemNames_, name, index);
    if (found.slot < items_.size()) {
        return *items_[found.slot];
    }
    throw platform::Error(
        found.named ? ErrorCode::ControlArrayElementMissing : ErrorCode::ControlNotFound,
        elementText(name, index));
}

void CoreForm::popupMenu(platform::Menu& target) {
    openPopup(target, std::nullopt);
}

void CoreForm::openPopup(platform::Menu& target, std::optional<PixelPoint> at) {
    NativeWindow& window = live();
    // The popup runs posted work while it is open: no form goes before it returns.
    Runtime::Busy hold(runtime_);
    auto* menu = dynamic_cast<CoreMenu*>(&target);
    if (menu == nullptr) {
        throw platform::Error(ErrorCode::InvalidProcedureCall, "not a menu of this program");
    }
    CoreForm& owner = menu->owner;
    owner.live();
    // One popup at a time: a request while one is open is dismissed.
    if (runtime_.popupOpen_) {
        return;
    }
    std::vector<const platform::MenuDef*> shown;
    std::vector<PopupRow> rows;
    for (const auto& item : owner.items_) {
        const platform::MenuDef& def = item->def;
        if (!def.visible || !sameName(def.parent.text(), menu->name.text())) {
            continue;
        }
        shown.push_back(&def);
        rows.push_back(PopupRow{def.caption, def.caption == "-", item->checked(), def.enabled});
    }
    // A row chosen later (from a menu a tray host shows itself) names these items.
    popupOwner_ = &owner;
    popupItems_ = shown;
    std::optional<std::size_t> chosen;
    {
        struct Open {
            bool& open;
            ~Open() { open = false; }
        } open{runtime_.popupOpen_};
        open.open = true;
        chosen = window.popupMenu(rows, at);
    }
    if (chosen) {
        choose(*chosen);
    }
}

void CoreForm::choose(std::size_t row) {
    CoreForm* const owner = popupOwner_;
    if (owner == nullptr || row >= popupItems_.size() || !owner->loaded()) {
        return;
    }
    const platform::MenuDef& def = *popupItems_[row];
    if (def.caption == "-" || !def.enabled) {
        return;
    }
    runtime_.dispatch(handlerName(owner->name(), def.name.text(), "Click"),
                      [&] { owner->events_.onClick(def.name, def.index); });
}

void CoreForm::popupChosen(std::size_t row) noexcept {
    if (!loaded_ || runtime_.blockedByModal(*this)) {
        return;
    }
    runtime_.dispatch(handlerName(name(), {}, "PopupMenu"), [&] { choose(row); });
}

// ---------------------------------------------------------------------------------------------
// Input from the native window

void CoreForm::mousePressed(std::optional<WidgetId> control, platform::MouseButton button,
                            platform::Modifiers modifiers, PixelPoint at) noexcept {
    if (!loaded_ || runtime_.blockedByModal(*this)) {
        return;
    }
    platform::ControlName name = platform::kFormItself;
    std::int16_t index = platform::kNoIndex;
    if (control && *control < layout_.controls.size()) {
        name = layout_.controls[*control].name;
        index = layout_.controls[*control].index;
    }
    const auto x = static_cast<float>(at.x * perPixel_);
    const auto y = static_cast<float>(at.y * perPixel_);
    runtime_.dispatch(handlerName(this->name(), name.text(), "MouseDown"),
                      [&] { events_.onMouseDown(name, index, button, modifiers, x, y); });
}

void CoreForm::buttonClicked(WidgetId button) noexcept {
    if (!loaded_ || runtime_.blockedByModal(*this) || button >= layout_.controls.size()) {
        return;
    }
    const platform::ControlDef& def = layout_.controls[button];
    runtime_.dispatch(handlerName(name(), def.name.text(), "Click"),
                      [&] { events_.onClick(def.name, def.index); });
}

void CoreForm::timerTicked(WidgetId id) noexcept {
    // The layout tells a timer's slot, which always holds a CoreTimer: no type query at
    // every tick (a costly one where type names are compared as strings).
    if (!loaded_ || id >= controls_.size() || layout_.controls[id].kind != ControlKind::Timer ||
        controls_[id] == nullptr) {
        return;
    }
    auto* timer = static_cast<CoreTimer*>(controls_[id].get());
    // A tick that arrives while the last one's handler waits in a modal loop is dropped.
    if (!timer->enabled() || timer->running) {
        return;
    }
    timer->running = true;
    runtime_.dispatch(timer->handler(), [&] { events_.onTimer(timer->name()); });
    timer->running = false;
}

std::optional<WidgetId> CoreForm::dialogButton(Key key) const noexcept {
    for (std::size_t i = 0; i < layout_.controls.size(); ++i) {
        const platform::ControlDef& def = layout_.controls[i];
        if (def.kind == ControlKind::CommandButton && def.visible && def.enabled &&
            (key == Key::Enter ? def.isDefault : def.isCancel)) {
            return i;
        }
    }
    return std::nullopt;
}

void CoreForm::keyPressed(Key key, platform::Modifiers modifiers) noexcept {
    if (!loaded_ || runtime_.blockedByModal(*this)) {
        return;
    }
    if (key == Key::Enter || key == Key::Escape) {
        if (const auto button = dialogButton(key)) {
            buttonClicked(*button);
        }
        return;
    }
    // The context-menu key, or Shift+F10, opens the form's context menu below the window.
    const bool menuKey = key == Key::ContextMenu || (key == Key::F10 && modifiers.shift &&
                                                     !modifiers.control && !modifiers.alt);
    if (!menuKey || layout_.form.contextMenu.empty()) {
        return;
    }
    runtime_.dispatch(handlerName(name(), {}, "KeyDown"), [&] {
        NativeWindow& window = live();
        const PixelRect frame = window.frame();
        openPopup(menu(layout_.form.contextMenu), PixelPoint{frame.left, frame.top + frame.height});
        if (loaded_ && shown_) {
            window.focusWidget(firstFocus());
        }
    });
}

void CoreForm::closeRequested() noexcept {
    if (!loaded_ || runtime_.blockedByModal(*this)) {
        return;
    }
    runtime_.dispatch(handlerName(name(), {}, "Close"), [&] { runtime_.unload(*this); });
}

void CoreForm::activated() noexcept {
    runtime_.dispatch(handlerName(name(), {}, "Activate"), [&] { runtime_.activated(*this); });
}

void CoreForm::blockedPress() noexcept {
    if (!loaded_) {
        return;
    }
    // A press on a window a modal box blocks brings the box back, as the user looks for it.
    runtime_.dispatch(handlerName(name(), {}, "MouseDown"), [&] { runtime_.raiseModal(); });
}

void CoreForm::screensChanged() noexcept {
    if (!loaded_) {
        return;
    }
    runtime_.dispatch(handlerName(name(), {}, "Resize"), [&] { runtime_.screensChanged(); });
}

}  // namespace pelmora::core

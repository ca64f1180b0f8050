#include "support/recording_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <utility>

namespace pelmora::recording {

namespace {

constexpr platform::Hwnd kFirstWindow = 0x1001;
constexpr std::uintptr_t kFirstIcon = 0x2001;
// A window's own default procedure is named by a value where no code can be: the first page
// of the address space. The OS calls never jump to it.
constexpr std::intptr_t kFirstDefaultProc = 0x11;

std::string iconText(platform::MsgBoxIcon icon) {
    switch (icon) {
        case platform::MsgBoxIcon::None:
            return "None";
        case platform::MsgBoxIcon::Critical:
            return "Critical";
        case platform::MsgBoxIcon::Question:
            return "Question";
        case platform::MsgBoxIcon::Exclamation:
            return "Exclamation";
        case platform::MsgBoxIcon::Information:
            return "Information";
    }
    return "?";
}

std::string rectText(const core::PixelRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width) +
           "x" + std::to_string(r.height);
}

std::string pointText(core::PixelPoint p) {
    return std::to_string(p.x) + "," + std::to_string(p.y);
}

std::string withoutAccessKey(std::string_view caption) {
    std::string out;
    for (char c : caption) {
        if (c != '&') {
            out += c;
        }
    }
    return out;
}

std::string modifiersText(platform::Modifiers m) {
    std::string out;
    if (m.shift) {
        out += "+Shift";
    }
    if (m.control) {
        out += "+Ctrl";
    }
    if (m.alt) {
        out += "+Alt";
    }
    return out;
}

// "Pelmora: error in <handler>: <number> <description>" read back into handler, number and
// description.
Report parseReport(std::string_view line) {
    Report report;
    report.line = line;
    constexpr std::string_view kMarker = "error in ";
    const std::size_t start = line.find(kMarker);
    if (start == std::string_view::npos) {
        return report;
    }
    const std::string_view rest = line.substr(start + kMarker.size());
    const std::size_t colon = rest.find(": ");
    if (colon == std::string_view::npos) {
        return report;
    }
    report.handler = rest.substr(0, colon);
    const std::string_view figures = rest.substr(colon + 2);
    const auto [end, ec] =
        std::from_chars(figures.data(), figures.data() + figures.size(), report.number);
    if (ec == std::errc() && end < figures.data() + figures.size()) {
        report.description = std::string_view(end + 1, figures.data() + figures.size() - end - 1);
    }
    return report;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The window

RecordingWindow::RecordingWindow(RecordingPlatform& platform, const core::WindowSpec& window,
                                 core::WindowInput& input, platform::Hwnd handle,
                                 std::uintptr_t icon, std::intptr_t defaultProc)
    : name(window.name),
      made(window),
      caption(window.caption),
      frameRect{0, 0, window.clientWidth, window.clientHeight},
      focused(window.name),
      windowState(platform::WindowState::Normal),
      accessible(window.accessible),
      wndProc(defaultProc),
      defaultProc(defaultProc),
      input(input),
      platform_(platform),
      handle_(handle),
      icon_(icon) {}

RecordingWindow::~RecordingWindow() {
    platform_.forget(*this);
}

void RecordingWindow::op(const std::string& what) const {
    platform_.journal.op(what);
}

Widget& RecordingWindow::at(core::WidgetId id) {
    for (Widget& w : widgets) {
        if (w.made.id == id) {
            return w;
        }
    }
    if (platform_.unbuiltWidgetFailsTest) {
        ADD_FAILURE() << "the core named widget " << id << " of " << name
                      << ", which was not built";
    }
    throw std::logic_error("no widget " + std::to_string(id));
}

Widget& RecordingWindow::widget(std::string_view control, std::int16_t index) {
    for (Widget& w : widgets) {
        if (w.made.name == control && w.made.index == index) {
            return w;
        }
    }
    throw std::logic_error(name + " has no widget " + widgetName(control, index));
}

bool RecordingWindow::showing(const Widget& w) const {
    if (!w.visible) {
        return false;
    }
    if (!w.made.parent) {
        return true;
    }
    const auto parent = std::find_if(widgets.begin(), widgets.end(),
                                     [&](const Widget& p) { return p.made.id == *w.made.parent; });
    return parent != widgets.end() && showing(*parent);
}

void RecordingWindow::build(std::span<const core::WidgetSpec> built) {
    op("build " + name + " " + std::to_string(built.size()) + " widgets");
    widgets.clear();
    for (const core::WidgetSpec& s : built) {
        Widget w;
        w.made = s;
        w.name = widgetName(s.name, s.index);
        w.text = s.text;
        w.alignment = s.alignment;
        w.visible = s.visible;
        w.rect = s.rect;
        w.accessible = s.accessible;
        widgets.push_back(std::move(w));
    }
}

void RecordingWindow::setCaption(std::string_view text) {
    op("setCaption " + name + " " + quote(text));
    caption = text;
}

void RecordingWindow::show(std::optional<platform::WindowState> state) {
    op("show " + name + (state ? " " + std::string(stateText(*state)) : std::string()));
    shown = true;
    if (state) {
        windowState = *state;
    }
    // A window shown becomes the active one, and says so at once.
    if (platform_.active_ != this) {
        platform_.activateWindow(*this);
    }
}

void RecordingWindow::hide() {
    op("hide " + name);
    shown = false;
    if (platform_.active_ != this) {
        return;
    }
    // The window system hands activation to the window that was active before.
    platform_.active_ = nullptr;
    std::erase(platform_.activation_, this);
    for (auto it = platform_.activation_.rbegin(); it != platform_.activation_.rend(); ++it) {
        if ((*it)->shown) {
            platform_.activateWindow(**it);
            return;
        }
    }
}

void RecordingWindow::setOwner(const NativeWindow* over) {
    const auto* window = dynamic_cast<const RecordingWindow*>(over);
    op("setOwner " + name + " " + (window != nullptr ? window->name : std::string("none")));
    owner = window != nullptr ? window->name : "";
}

void RecordingWindow::setEnabled(bool value) {
    op("setEnabled " + name + (value ? " true" : " false"));
    enabled = value;
}

core::PixelRect RecordingWindow::frame() const {
    op("frame " + name + " -> " + rectText(frameRect));
    return frameRect;
}

void RecordingWindow::moveTo(core::PixelPoint topLeft) {
    op("moveTo " + name + " " + pointText(topLeft));
    frameRect.left = topLeft.x;
    frameRect.top = topLeft.y;
}

void RecordingWindow::closePopup() {
    op("closePopup " + name);
    popupOpen = false;
}

void RecordingWindow::runModalLoop() {
    op("runModalLoop " + name);
    bool ended = false;
    loops_.push_back(&ended);
    struct Leave {
        std::vector<bool*>& loops;
        ~Leave() { loops.pop_back(); }
    } leave{loops_};
    // Like a real loop: what is pending runs first, then the user acts.
    platform_.runPosted();
    if (auto script = platform_.nextModalScript()) {
        script();
    }
    if (!ended && shown && !platform_.quit_) {
        platform_.journal.note("close " + name);
        input.closeRequested();
    }
    if (!ended) {
        ADD_FAILURE() << "the modal loop of " << name << " was never ended";
    }
}

void RecordingWindow::endModalLoop() {
    op("endModalLoop " + name);
    for (auto it = loops_.rbegin(); it != loops_.rend(); ++it) {
        if (!**it) {
            **it = true;
            return;
        }
    }
    ADD_FAILURE() << "endModalLoop of " << name << " without a running loop";
}

platform::WindowState RecordingWindow::state() const {
    op("state " + name + " -> " + std::string(stateText(windowState)));
    return windowState;
}

void RecordingWindow::setState(platform::WindowState value) {
    op("setState " + name + " " + std::string(stateText(value)));
    windowState = value;
}

void RecordingWindow::bringToFront() {
    op("bringToFront " + name);
    // As the window systems do, a minimised window stays so.
    if (shown && platform_.active_ != this) {
        platform_.activateWindow(*this);
    }
}

void RecordingWindow::focusWidget(std::optional<core::WidgetId> widget) {
    const std::string target = widget ? at(*widget).name : name;
    op("focusWidget " + name + " " + target);
    focused = target;
}

std::optional<std::size_t> RecordingWindow::popupMenu(std::span<const core::PopupRow> rows,
                                                      std::optional<core::PixelPoint> at) {
    lastPopupAt = at;
    std::vector<ShownRow> shownRows;
    std::string text;
    for (const core::PopupRow& row : rows) {
        shownRows.push_back({std::string(row.caption), row.separator, row.checked, row.enabled});
        text += text.empty() ? "" : ", ";
        text += row.separator ? std::string("-") : quote(row.caption);
        text += row.checked ? " checked" : "";
        text += row.enabled ? "" : " disabled";
    }
    op("popupMenu " + name + " [" + text + "]" +
       (at ? " at " + std::to_string(at->x) + "," + std::to_string(at->y) : ""));
    lastPopup = shownRows;
    const RecordingPlatform::PopupScript script = platform_.nextPopupScript();
    popupOpen = true;
    std::optional<std::size_t> choice = script ? script(shownRows) : std::nullopt;
    // A popup closed while it was open chose nothing.
    if (!popupOpen) {
        choice.reset();
    }
    popupOpen = false;
    if (!choice) {
        platform_.journal.note("popup " + name + " dismissed");
    } else if (*choice < shownRows.size()) {
        platform_.journal.note("popup " + name + " chose " + quote(shownRows[*choice].caption));
    } else {
        platform_.journal.note("popup " + name + " chose row " + std::to_string(*choice));
    }
    return choice;
}

void RecordingWindow::setText(core::WidgetId label, std::string_view text) {
    Widget& w = at(label);
    op("setText " + name + " " + w.name + " " + quote(text));
    w.text = text;
}

void RecordingWindow::setAccessible(std::optional<core::WidgetId> widget,
                                    const core::Accessible& now) {
    core::Accessible& told = widget ? at(*widget).accessible : accessible;
    op("setAccessible " + name + " " + (widget ? at(*widget).name : name) + " " + quote(now.name) +
       (now.valueText.empty() ? "" : " " + now.valueText) +
       (now.description.empty() ? "" : " " + now.description));
    told = now;
}

void RecordingWindow::setAlignment(core::WidgetId label, platform::Alignment alignment) {
    Widget& w = at(label);
    op("setAlignment " + name + " " + w.name + " " + std::string(alignmentText(alignment)));
    w.alignment = alignment;
}

void RecordingWindow::setVisible(core::WidgetId widget, bool visible) {
    Widget& w = at(widget);
    op("setVisible " + name + " " + w.name + (visible ? " true" : " false"));
    w.visible = visible;
}

void RecordingWindow::moveWidget(core::WidgetId widget, core::PixelPoint topLeft) {
    Widget& w = at(widget);
    op("moveWidget " + name + " " + w.name + " " + std::to_string(topLeft.x) + "," +
       std::to_string(topLeft.y));
    w.rect.left = topLeft.x;
    w.rect.top = topLeft.y;
}

void RecordingWindow::clearDrawing(core::WidgetId box) {
    Widget& w = at(box);
    op("clearDrawing " + name + " " + w.name);
    w.boxes.clear();
}

void RecordingWindow::fillBox(core::WidgetId box, core::PixelRect area, platform::Colour colour) {
    Widget& w = at(box);
    op("fillBox " + name + " " + w.name + " " + rectText(area) + " " + colourText(colour));
    // The core clips every box to the drawing area before it gets here.
    const int areaWidth = w.rect.width - 2 * w.made.frame;
    const int areaHeight = w.rect.height - 2 * w.made.frame;
    EXPECT_TRUE(area.left >= 0 && area.top >= 0 && area.width > 0 && area.height > 0 &&
                area.left + area.width <= areaWidth && area.top + area.height <= areaHeight)
        << "fillBox " << rectText(area) << " outside the " << areaWidth << "x" << areaHeight
        << " drawing area of " << w.name;
    w.boxes.push_back({area, colour});
}

void RecordingWindow::repaint(core::WidgetId box) {
    Widget& w = at(box);
    op("repaint " + name + " " + w.name);
    ++w.repaints;
}

void RecordingWindow::startTimer(core::WidgetId timer, int intervalMs) {
    Widget& w = at(timer);
    op("startTimer " + name + " " + w.name + " " + std::to_string(intervalMs));
    EXPECT_GT(intervalMs, 0) << w.name;
    w.timerInterval = intervalMs;
}

void RecordingWindow::stopTimer(core::WidgetId timer) {
    Widget& w = at(timer);
    op("stopTimer " + name + " " + w.name);
    w.timerInterval.reset();
}

// ---------------------------------------------------------------------------------------------
// The platform

RecordingPlatform::RecordingPlatform() = default;

RecordingPlatform::~RecordingPlatform() {
    EXPECT_TRUE(windows_.empty()) << "windows outlive their platform";
    EXPECT_TRUE(popupScripts_.empty()) << "a scripted popup never opened";
    EXPECT_TRUE(modalScripts_.empty()) << "a scripted modal loop never ran";
}

void RecordingPlatform::whilePopupOpen(PopupScript script) {
    popupScripts_.push_back(std::move(script));
}

void RecordingPlatform::chooseInNextPopup(std::string_view caption) {
    whilePopupOpen([wanted = std::string(caption)](const std::vector<ShownRow>& rows) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!rows[i].separator && withoutAccessKey(rows[i].caption) == wanted) {
                EXPECT_TRUE(rows[i].enabled) << "a user cannot choose the disabled " << wanted;
                return std::optional<std::size_t>(i);
            }
        }
        ADD_FAILURE() << "the popup has no row " << wanted;
        return std::optional<std::size_t>();
    });
}

void RecordingPlatform::chooseRowInNextPopup(std::size_t row) {
    whilePopupOpen([row](const std::vector<ShownRow>&) { return std::optional<std::size_t>(row); });
}

void RecordingPlatform::dismissNextPopup() {
    whilePopupOpen([](const std::vector<ShownRow>&) { return std::optional<std::size_t>(); });
}

void RecordingPlatform::whileModal(std::function<void()> script) {
    modalScripts_.push_back(std::move(script));
}

RecordingPlatform::PopupScript RecordingPlatform::nextPopupScript() {
    if (popupScripts_.empty()) {
        return {};
    }
    PopupScript script = std::move(popupScripts_.front());
    popupScripts_.pop_front();
    return script;
}

std::function<void()> RecordingPlatform::nextModalScript() {
    if (modalScripts_.empty()) {
        return {};
    }
    std::function<void()> script = std::move(modalScripts_.front());
    modalScripts_.pop_front();
    return script;
}

RecordingWindow* RecordingPlatform::find(std::string_view form) const noexcept {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
        if ((*it)->name == form) {
            return *it;
        }
    }
    return nullptr;
}

RecordingWindow& RecordingPlatform::window(std::string_view form) const {
    RecordingWindow* found = find(form);
    if (found == nullptr) {
        throw std::logic_error("no window " + std::string(form));
    }
    return *found;
}

RecordingWindow* RecordingPlatform::windowByHandle(platform::Hwnd handle) const noexcept {
    for (RecordingWindow* w : windows_) {
        if (w->handle() == handle) {
            return w;
        }
    }
    return nullptr;
}

RecordingWindow* RecordingPlatform::shownWindow(std::string_view form) const {
    RecordingWindow* w = find(form);
    return w != nullptr && w->shown && !quit_ ? w : nullptr;
}

void RecordingPlatform::activateWindow(RecordingWindow& window) {
    journal.note("activate " + window.name);
    active_ = &window;
    std::erase(activation_, &window);
    activation_.push_back(&window);
    window.input.activated();
}

void RecordingPlatform::forget(RecordingWindow& window) noexcept {
    journal.note("destroy " + window.name);
    std::erase(windows_, &window);
    std::erase(activation_, &window);
    if (active_ == &window) {
        active_ = nullptr;
    }
    if (windowDestroyed) {
        windowDestroyed(window.handle());
    }
}

bool RecordingPlatform::tick(std::string_view form, std::string_view timer) {
    RecordingWindow* w = quit_ ? nullptr : find(form);
    if (w == nullptr) {
        return false;
    }
    Widget& t = w->widget(timer);
    if (t.kind() != platform::ControlKind::Timer) {
        throw std::logic_error(t.name + " is not a timer");
    }
    if (!t.timerInterval) {
        return false;
    }
    journal.note("tick " + w->name + " " + t.name);
    w->input.timerTicked(t.made.id);
    return true;
}

int RecordingPlatform::tickUntilStopped(std::string_view form, std::string_view timer, int limit) {
    int ticks = 0;
    while (ticks < limit && tick(form, timer)) {
        ++ticks;
    }
    return ticks;
}

bool RecordingPlatform::blocked(RecordingWindow& window, const std::string& what) {
    if (window.enabled) {
        return false;
    }
    journal.note(what + " blocked");
    window.input.blockedPress();
    return true;
}

bool RecordingPlatform::minimize(std::string_view form) {
    RecordingWindow* w = shownWindow(form);
    if (w == nullptr) {
        return false;
    }
    journal.note("minimize " + w->name);
    w->windowState = platform::WindowState::Minimized;
    return true;
}

void RecordingPlatform::changeScreens(std::vector<core::PixelRect> areas) {
    journal.note("screens change");
    screens = std::move(areas);
    const std::vector<RecordingWindow*> all = windows_;
    for (RecordingWindow* w : all) {
        if (!quit_ && std::find(windows_.begin(), windows_.end(), w) != windows_.end()) {
            w->input.screensChanged();
        }
    }
}

bool RecordingPlatform::press(std::string_view form, std::string_view control, std::int16_t index,
                              platform::MouseButton button, platform::Modifiers modifiers,
                              core::PixelPoint at) {
    RecordingWindow* w = shownWindow(form);
    if (w == nullptr) {
        return false;
    }
    Widget& c = w->widget(control, index);
    if (!w->showing(c)) {
        return false;
    }
    const std::string what = "press " + w->name + " " + c.name + " " +
                             std::string(buttonText(button)) + modifiersText(modifiers) + " " +
                             pointText(at);
    if (blocked(*w, what)) {
        return true;
    }
    journal.note(what);
    w->input.mousePressed(c.made.id, button, modifiers, at);
    return true;
}

bool RecordingPlatform::pressBackground(std::string_view form, platform::MouseButton button,
                                        platform::Modifiers modifiers, core::PixelPoint at) {
    RecordingWindow* w = shownWindow(form);
    if (w == nullptr) {
        return false;
    }
    const std::string what = "press " + w->name + " " + std::string(buttonText(button)) +
                             modifiersText(modifiers) + " " + pointText(at);
    if (blocked(*w, what)) {
        return true;
    }
    journal.note(what);
    w->input.mousePressed(std::nullopt, button, modifiers, at);
    return true;
}

bool RecordingPlatform::key(std::string_view form, core::Key key, platform::Modifiers modifiers) {
    RecordingWindow* w = shownWindow(form);
    if (w == nullptr) {
        return false;
    }
    journal.note("key " + w->name + " " + std::to_string(static_cast<int>(key)));
    w->input.keyPressed(key, modifiers);
    return true;
}

bool RecordingPlatform::click(std::string_view form, std::string_view button) {
    RecordingWindow* w = shownWindow(form);
    if (w == nullptr) {
        return false;
    }
    Widget& b = w->widget(button);
    if (b.kind() != platform::ControlKind::CommandButton) {
        throw std::logic_error(b.name + " is not a button");
    }
    if (!w->showing(b)) {
        return false;
    }
    if (blocked(*w, "click " + w->name + " " + b.name)) {
        return true;
    }
    journal.note("click " + w->name + " " + b.name);
    w->input.buttonClicked(b.made.id);
    return true;
}

bool RecordingPlatform::close(std::string_view form) {
    RecordingWindow* w = shownWindow(form);
    if (w == nullptr) {
        return false;
    }
    journal.note("close " + w->name);
    w->input.closeRequested();
    return true;
}

bool RecordingPlatform::activate(std::string_view form) {
    RecordingWindow* w = shownWindow(form);
    if (w == nullptr) {
        return false;
    }
    activateWindow(*w);
    return true;
}

int RecordingPlatform::runPosted() {
    int ran = 0;
    while (!posted_.empty()) {
        std::function<void()> work = std::move(posted_.front());
        posted_.pop_front();
        journal.note("run posted");
        work();
        ++ran;
    }
    return ran;
}

std::unique_ptr<core::NativeWindow> RecordingPlatform::createWindow(const core::WindowSpec& made,
                                                                    core::WindowInput& input) {
    journal.op("createWindow " + std::string(made.name) + " " + std::to_string(made.clientWidth) +
               "x" + std::to_string(made.clientHeight));
    if (refuseWindows) {
        throw std::runtime_error("the toolkit made no window");
    }
    const int n = created_++;
    const std::uintptr_t icon =
        made.icon == platform::PictureId::None ? 0 : kFirstIcon + static_cast<std::uintptr_t>(n);
    auto window = std::make_unique<RecordingWindow>(*this, made, input,
                                                    kFirstWindow + static_cast<platform::Hwnd>(n),
                                                    icon, kFirstDefaultProc + n);
    windows_.push_back(window.get());
    return window;
}

bool RecordingPlatform::otherInstanceRunning() {
    journal.op(std::string("otherInstanceRunning -> ") + (otherInstance ? "true" : "false"));
    return otherInstance;
}

std::string RecordingPlatform::executableName() {
    journal.op("executableName -> " + quote(exeName));
    return exeName;
}

void RecordingPlatform::messageBox(std::string_view title, std::string_view prompt,
                                   platform::MsgBoxIcon icon) {
    journal.op("messageBox " + quote(title) + " " + quote(prompt) + " " + iconText(icon));
    boxes_.push_back({std::string(title), std::string(prompt), icon});
}

void RecordingPlatform::setPointer(platform::MousePointer value) {
    journal.op(std::string("setPointer ") +
               (value == platform::MousePointer::Hourglass ? "Hourglass" : "Default"));
    pointer_ = value;
}

std::vector<core::PixelRect> RecordingPlatform::workAreas() {
    std::string text;
    for (const core::PixelRect& area : screens) {
        text += (text.empty() ? "" : ", ") + rectText(area);
    }
    journal.op("workAreas -> " + text);
    return screens;
}

core::PixelPoint RecordingPlatform::pointerPosition() {
    journal.op("pointerPosition -> " + pointText(pointerAt));
    return pointerAt;
}

void RecordingPlatform::post(std::function<void()> work) {
    journal.op("post");
    posted_.push_back(std::move(work));
}

void RecordingPlatform::quit() {
    journal.op("quit");
    quit_ = true;
}

void RecordingPlatform::writeReportLine(std::string_view line) noexcept {
    try {
        journal.note("report " + std::string(line));
        reports_.push_back(parseReport(line));
    } catch (...) {
        // A report that cannot be kept is lost, as on a full disk.
    }
}

}  // namespace pelmora::recording

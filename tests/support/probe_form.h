// A small form of every kind of control, for the tests of the runtime core: a framed picture
// box holding a label, a label array, timers, a button, a line, an image and two menus. Its
// events write what arrives into a shared log and run whatever the test hooks onto them.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/layout.h"
#include "support/journal.h"

namespace pelmora::testing {

namespace probe_names {
using platform::ControlName;
inline constexpr ControlName picBox{"picBox"};
inline constexpr ControlName lblInner{"lblInner"};
inline constexpr ControlName lblPair{"lblPair"};
inline constexpr ControlName lblSolo{"lblSolo"};
inline constexpr ControlName tmrTick{"tmrTick"};
inline constexpr ControlName tmrIdle{"tmrIdle"};
inline constexpr ControlName tmrNone{"tmrNone"};
inline constexpr ControlName cmdGo{"cmdGo"};
inline constexpr ControlName linEdge{"linEdge"};
inline constexpr ControlName imgLogo{"imgLogo"};
inline constexpr ControlName mnuTop{"mnuTop"};
inline constexpr ControlName mnuItem{"mnuItem"};
inline constexpr ControlName mnuOther{"mnuOther"};
inline constexpr ControlName mnuSub{"mnuSub"};
}  // namespace probe_names

namespace probe_layout {

using namespace probe_names;
using platform::ControlDef;
using platform::ControlKind;

constexpr ControlDef control(platform::ControlName name, ControlKind kind,
                             std::int16_t index = -1) {
    ControlDef def{};
    def.name = name;
    def.index = index;
    def.kind = kind;
    return def;
}

constexpr ControlDef at(ControlDef def, std::int32_t left, std::int32_t top, std::int32_t width,
                        std::int32_t height) {
    def.left = left;
    def.top = top;
    def.width = width;
    def.height = height;
    return def;
}

// A control at a place in twips, inside a box or (with no parent) the form.
constexpr ControlDef placed(platform::ControlName name, ControlKind kind,
                            platform::ControlName parent, std::int32_t left, std::int32_t top,
                            std::int32_t width, std::int32_t height) {
    ControlDef def = at(control(name, kind), left, top, width, height);
    def.parent = parent;
    return def;
}

constexpr ControlDef label(platform::ControlName name, std::int16_t index, std::string_view text,
                           platform::Alignment alignment = platform::Alignment::Left,
                           platform::ControlName parent = {}) {
    ControlDef def = at(control(name, ControlKind::Label, index), 1800, 0, 900, 300);
    def.text = text;
    def.alignment = alignment;
    def.parent = parent;
    return def;
}

constexpr ControlDef box() {
    // 102 x 52 pixels with a one-pixel frame: a drawing area of 100 x 50.
    ControlDef def = at(control(picBox, ControlKind::PictureBox), 150, 150, 1530, 780);
    def.framed = true;
    return def;
}

constexpr ControlDef timer(platform::ControlName name, std::int32_t interval, bool enabled) {
    ControlDef def = control(name, ControlKind::Timer);
    def.interval = interval;
    def.enabled = enabled;
    return def;
}

inline constexpr ControlDef kControls[] = {
    box(),
    label(lblInner, -1, "inner", platform::Alignment::Left, picBox),
    label(lblPair, 0, "zero"),
    label(lblPair, 1, "one", platform::Alignment::Center),
    label(lblSolo, -1, "solo"),
    timer(tmrTick, 100, true),
    timer(tmrIdle, 50, false),
    timer(tmrNone, 0, true),
    at(control(cmdGo, ControlKind::CommandButton), 1800, 900, 900, 300),
    at(control(linEdge, ControlKind::Line), 0, 0, 3000, 0),
    at(control(imgLogo, ControlKind::Image), 0, 1200, 300, 300),
};

constexpr platform::MenuDef menu(platform::ControlName name, std::int16_t index,
                                 platform::ControlName parent, std::string_view caption,
                                 bool checked = false, bool enabled = true, bool visible = true) {
    platform::MenuDef def{};
    def.name = name;
    def.index = index;
    def.parent = parent;
    def.caption = caption;
    def.checked = checked;
    def.enabled = enabled;
    def.visible = visible;
    return def;
}

inline constexpr platform::MenuDef kMenus[] = {
    menu(mnuTop, -1, {}, "&Top", false, true, false),
    menu(mnuItem, 0, mnuTop, "&First"),
    menu(mnuItem, 1, mnuTop, "-"),
    menu(mnuItem, 2, mnuTop, "&Second", true),
    menu(mnuItem, 3, mnuTop, "&Hidden", false, true, false),
    menu(mnuItem, 4, mnuTop, "&Disabled", false, false),
    menu(mnuOther, -1, {}, "&Other", false, true, false),
    menu(mnuSub, -1, mnuOther, "&Sub"),
};

constexpr platform::FormDef form(std::string_view name, platform::ScaleUnit unit,
                                 platform::StartUpPosition startUp) {
    platform::FormDef def{};
    def.name = name;
    def.caption = name;
    def.clientWidth = 3000;  // 200 x 100 pixels
    def.clientHeight = 1500;
    def.startUp = startUp;
    def.icon = platform::PictureId::Icon;
    def.unit = unit;
    return def;
}

}  // namespace probe_layout

// Three forms of the same controls: one counted in twips, two in pixels centred on their owner.
inline constexpr platform::FormLayout kProbeA{
    probe_layout::form("frmA", platform::ScaleUnit::Twips, platform::StartUpPosition::CenterScreen),
    probe_layout::kControls, probe_layout::kMenus};
inline constexpr platform::FormLayout kProbeB{
    probe_layout::form("frmB", platform::ScaleUnit::Pixels, platform::StartUpPosition::CenterOwner),
    probe_layout::kControls, probe_layout::kMenus};
inline constexpr platform::FormLayout kProbeC{
    probe_layout::form("frmC", platform::ScaleUnit::Pixels, platform::StartUpPosition::CenterOwner),
    probe_layout::kControls, probe_layout::kMenus};

// Writes every event into the log as "frmA.Load", "frmA.Click cmdGo", "frmA.MouseDown
// lblPair(1) Right 30,45" ..., then runs the hook the test set for it.
struct Probe : platform::FormEvents {
    Probe(std::string name, std::vector<std::string>& log) : name(std::move(name)), log(log) {}

    void onLoad() override {
        log.push_back(name + ".Load");
        run(load);
    }
    void onUnload(bool& cancel) override {
        log.push_back(name + ".Unload");
        if (unload) {
            unload(cancel);
        }
    }
    void onTerminate() override {
        log.push_back(name + ".Terminate");
        run(terminate);
    }
    void onActivate() override {
        log.push_back(name + ".Activate");
        run(activate);
    }
    void onTimer(platform::ControlName timer) override {
        log.push_back(name + ".Timer " + std::string(timer.text()));
        run(tick);
    }
    void onMouseDown(platform::ControlName control, std::int16_t index,
                     platform::MouseButton button, platform::Modifiers modifiers, float x,
                     float y) override {
        char at[64];
        std::snprintf(at, sizeof at, " %g,%g", static_cast<double>(x), static_cast<double>(y));
        log.push_back(name + ".MouseDown " +
                      (control.empty() ? std::string("(form)")
                                       : recording::widgetName(control.text(), index)) +
                      " " + std::string(recording::buttonText(button)) +
                      (modifiers.shift ? "+Shift" : "") + at);
        run(mouseDown);
    }
    void onClick(platform::ControlName control, std::int16_t index) override {
        log.push_back(name + ".Click " + recording::widgetName(control.text(), index));
        run(click);
    }

    std::string name;
    std::vector<std::string>& log;
    std::function<void()> load, activate, terminate, tick, mouseDown, click;
    std::function<void(bool& cancel)> unload;

  private:
    static void run(const std::function<void()>& hook) {
        if (hook) {
            hook();
        }
    }
};

}  // namespace pelmora::testing

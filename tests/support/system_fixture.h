// A fixture that runs the program's own code on the production core over the recording layer,
// and leaves the tray module unbound afterwards, so that no test sees another test's program.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/main.h"
#include "support/rig.h"
#include "tray/api_stuff.h"
#include "ui/main/main_layout.h"

namespace pelmora::testing {

// Events of a form that the test drives itself: it only notes the clicks that arrive.
struct EventSink : platform::FormEvents {
    std::vector<std::string> seen;
    void onClick(platform::ControlName control, std::int16_t index) override {
        seen.push_back(recording::widgetName(control.text(), index) + " click");
    }
};

struct SystemFixture : ::testing::Test {
    SystemFixture() {
        rig.os.nameProc(reinterpret_cast<std::intptr_t>(&tray::Tray_WndProc), "Tray_WndProc");
    }
    ~SystemFixture() override { tray::apiStuff() = tray::ApiStuff{}; }

    // Starts the program as the backend's entry point does.
    void start() { rig.start(app::Main); }

    recording::RecordingWindow& mainWindow() { return platform.window("frmmain"); }
    std::string caption(std::string_view label, std::int16_t index) {
        return mainWindow().widget(label, index).text;
    }
    // The main window's check mark on an item of the Action menu.
    bool mark(ui::ActionItem item) {
        return rig.form("frmmain")
            .menuItem(ui::frmmain_names::mnuAction, static_cast<std::int16_t>(item))
            .checked();
    }
    // A right press on the window's background, then a choice in the menu it opens.
    bool chooseInMenu(std::string_view caption) {
        platform.chooseInNextPopup(caption);
        return platform.pressBackground("frmmain", platform::MouseButton::Right);
    }

    Rig rig;
    recording::RecordingPlatform& platform = rig.platform;
    recording::RecordingOs& os = rig.os;
    core::Runtime& runtime = rig.runtime;
    recording::Journal& journal = rig.platform.journal;
};

}  // namespace pelmora::testing

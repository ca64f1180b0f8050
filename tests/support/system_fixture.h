// A fixture that runs the program's own code on the recording fake and leaves the
// tray module unbound afterwards, so that no test sees another test's fake.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/frmmain.h"
#include "app/main.h"
#include "support/fake_backend.h"
#include "tray/api_stuff.h"

namespace pelmora::testing {

// Events of a form that the test drives itself: it only notes what arrives.
struct EventSink : platform::FormEvents {
    std::vector<std::string> seen;
    void onClick(std::string_view control, std::int16_t index) override {
        seen.push_back(fake::controlId(control, index) + " click");
    }
};

struct SystemFixture : ::testing::Test {
    SystemFixture() {
        fake.nameProc(reinterpret_cast<std::intptr_t>(&tray::Tray_WndProc), "Tray_WndProc");
    }
    ~SystemFixture() override { tray::apiStuff() = tray::ApiStuff{}; }

    // Starts the program as the backend's entry point does.
    void start() { app::Main(fake, fake); }

    fake::FakeForm& mainForm() { return fake.loadedForm("frmmain"); }
    platform::Hwnd mainWindow() { return mainForm().handle; }
    app::FrmMain& frmmain() { return static_cast<app::FrmMain&>(mainForm().events); }
    std::string caption(std::string_view label, std::int16_t index) {
        return mainForm().labelState(label, index).text;
    }

    fake::FakeBackend fake;
};

}  // namespace pelmora::testing

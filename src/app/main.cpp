#include "app/main.h"

#include <memory>
#include <string>

#include "tray/api_stuff.h"
#include "ui/main/frmmain.h"

namespace pelmora::app {

namespace {

// The main window's events outlive Main: the runtime calls them until the program ends.
std::unique_ptr<ui::FrmMain>& frmmainEvents() {
    static std::unique_ptr<ui::FrmMain> events;
    return events;
}

}  // namespace

void Main(platform::FormsRuntime& runtime, platform::OsCalls& os) {
    if (runtime.prevInstance()) {
        std::string prompt = runtime.exeName();
        prompt += " is Already running.";
        prompt += "\r\n";
        prompt += "Please check out the Window's Tray.";
        runtime.msgBox(prompt, platform::MsgBoxIcon::Critical);
        runtime.end();
        return;
    }
    tray::bindModule(runtime, os);
    auto& events = frmmainEvents();
    events = std::make_unique<ui::FrmMain>(runtime, os);
    runtime.load(ui::kMainLayout, *events).show(platform::ShowMode::Modeless);
}

}  // namespace pelmora::app

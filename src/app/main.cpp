#include "app/main.h"

#include <memory>
#include <string>

#include "app/frmmain.h"
#include "tray/api_stuff.h"
#include "ui/main/main_layout.h"

namespace pelmora::app {

namespace {

// The main window's events outlive Main: the runtime calls them until the program ends.
std::unique_ptr<FrmMain>& frmmainEvents() {
    static std::unique_ptr<FrmMain> events;
    return events;
}

}  // namespace

void Main(platform::FormsRuntime& runtime, platform::OsCalls& os) {
    if (runtime.prevInstance() != 0) {
        std::string prompt = runtime.exeName();
        prompt += " is Already running.";
        prompt += "\r\n";
        prompt += "Please check out the Window's Tray.";
        runtime.msgBox(prompt, platform::msgbox::Critical);
        runtime.end();
        return;
    }
    tray::bindModule(runtime, os);
    auto& events = frmmainEvents();
    events = std::make_unique<FrmMain>(runtime, os);
    runtime.load(ui::kMainLayout, *events).show(0);
}

}  // namespace pelmora::app

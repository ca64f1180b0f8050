// The main window's own OS requests: joining or leaving the topmost windows, and
// handing a press to the system as a press on the title bar so that it drags.
#pragma once

#include "platform/forms.h"
#include "platform/os_calls.h"

namespace pelmora::ui {

void Set_OnTop(platform::OsCalls& os, platform::Form& form);
void Set_NotOnTop(platform::OsCalls& os, platform::Form& form);
void Drag_Form(platform::OsCalls& os, platform::Form& target);

}  // namespace pelmora::ui

#include "ui/main/window_calls.h"

#include "platform/win_constants.h"

namespace pelmora::ui {

namespace {

void setZOrder(platform::OsCalls& os, platform::Form& form, std::intptr_t insertAfter) {
    const platform::Hwnd handle = form.hWnd();
    os.SetWindowPos(handle, insertAfter, 0, 0, 0, 0, platform::SWP_NOMOVE | platform::SWP_NOSIZE);
}

}  // namespace

void Set_OnTop(platform::OsCalls& os, platform::Form& form) {
    setZOrder(os, form, platform::HWND_TOPMOST);
}

void Set_NotOnTop(platform::OsCalls& os, platform::Form& form) {
    setZOrder(os, form, platform::HWND_NOTOPMOST);
}

void Drag_Form(platform::OsCalls& os, platform::Form& target) {
    os.ReleaseCapture();
    const platform::Hwnd handle = target.hWnd();
    os.SendMessageA(handle, platform::WM_NCLBUTTONDOWN, platform::HTCAPTION, 0);
}

}  // namespace pelmora::ui

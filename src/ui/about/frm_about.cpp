#include "ui/about/frm_about.h"

#include <cmath>
#include <string>

#include "ui/about/about_layout.h"

namespace pelmora::ui {

using namespace frmAbout_names;

platform::Form& FrmAbout::me() {
    return runtime_.load(kAboutLayout, *this);
}

void FrmAbout::onLoad() {
    platform::Form& form = me();
    form.setCaption("About " + runtime_.title());

    std::string version = "Version ";
    version += std::to_string(runtime_.major());
    version += '.';
    version += std::to_string(runtime_.minor());
    version += '.';
    version += std::to_string(runtime_.revision());
    form.label(lblVersion).setCaption(version);

    form.label(lblTitle).setCaption(runtime_.title());
}

void FrmAbout::onActivate() {
    runtime_.setMousePointer(platform::MousePointer::Default);
}

void FrmAbout::onTimer(platform::ControlName timer) {
    if (timer == AnimateTimer) {
        AnimateTimer_Timer();
    }
}

void FrmAbout::onClick(platform::ControlName control, std::int16_t /*index*/) {
    if (control == cmdOK) {
        runtime_.unload(me());
    }
}

void FrmAbout::AnimateTimer_Timer() {
    platform::Form& form = me();
    platform::PictureBox& panel = form.pictureBox(Container);
    const float next = panel.left() - kSlideStep;
    if (!std::isfinite(next)) {
        throw platform::Error::overflow();
    }
    panel.setLeft(next);
    // The runtime may round the position: the test is on the value read back.
    if (!(panel.left() > kSlideEnd)) {
        form.timer(AnimateTimer).setEnabled(false);
    }
}

}  // namespace pelmora::ui

#include "readout/update_display.h"

#include <array>
#include <string>

#include "meter/usage_meter.h"
#include "platform/layout.h"
#include "readout/mem_status.h"
#include "readout/size_format.h"
#include "tray/api_stuff.h"

namespace pelmora::readout {

namespace {

struct LabelRef {
    std::string_view name;
    std::int16_t index;
};

constexpr std::array<LabelRef, 6> kFigureLabels{{
    {"lblTotalRam", 0},
    {"lblTotalRam", 1},
    {"lblFreeRam", 0},
    {"lblFreeRam", 1},
    {"lblRamUsage", 0},
    {"lblRamUsage", 1},
}};

std::string compose(std::string_view head, std::int64_t number, std::string_view tail) {
    std::string text(head);
    text += std::to_string(number);
    text += tail;
    return text;
}

}  // namespace

void Update_Display(platform::Form& frmmain, MainState& state, platform::OsCalls& os) {
    Get_MemStatus(os, state.memLoad, state.totalPhys, state.availPhys);

    const ScaledSize total = scaleSize(state.totalPhys);
    state.totalUnit = total.unit;
    const ScaledSize free = scaleSize(state.availPhys);
    state.freeUnit = free.unit;

    const std::int16_t alignment =
        state.totalPhys > kAlignmentThreshold ? platform::align::Left : platform::align::Center;
    for (const LabelRef& ref : kFigureLabels) {
        frmmain.label(ref.name, ref.index).setAlignment(alignment);
    }

    const bool precise = state.preciseValues != 0;
    const std::string totalCaption = precise
                                         ? compose("Total RAM = ", state.totalPhys, " Bytes")
                                         : compose("Total RAM = ", total.shown, state.totalUnit);
    const std::string freeCaption = precise ? compose("Free RAM = ", state.availPhys, " Bytes")
                                            : compose("Free RAM = ", free.shown, state.freeUnit);
    frmmain.label("lblTotalRam", 0).setCaption(totalCaption);
    frmmain.label("lblTotalRam", 1).setCaption(totalCaption);
    frmmain.label("lblFreeRam", 0).setCaption(freeCaption);
    frmmain.label("lblFreeRam", 1).setCaption(freeCaption);

    const std::string usageCaption = compose("Usage = ", state.memLoad, " %");
    frmmain.label("lblRamUsage", 0).setCaption(usageCaption);
    frmmain.label("lblRamUsage", 1).setCaption(usageCaption);

    meter::DrawPercent_Graph(state.totalPhys, static_cast<float>(state.availPhys),
                             frmmain.pictureBox("picGraph"))
        .raise();

    std::string tip = "Pelmora  ( ";
    tip += compose("Free RAM = ", free.shown, state.freeUnit);
    tip += " )";
    tray::Tray_SetTip(tip);
}

}  // namespace pelmora::readout

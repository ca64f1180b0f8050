#include "readout/update_display.h"

#include <array>
#include <charconv>
#include <string_view>

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

// Room for the longest caption or tip: a head, a 64-bit number and a tail.
class Text {
  public:
    Text& operator<<(std::string_view part) {
        const std::size_t length = part.copy(end_, static_cast<std::size_t>(last() - end_));
        end_ += length;
        return *this;
    }
    Text& operator<<(std::int64_t number) {
        end_ = std::to_chars(end_, last(), number).ptr;
        return *this;
    }
    std::string_view view() const {
        return {buffer_.data(), static_cast<std::size_t>(end_ - buffer_.data())};
    }

  private:
    char* last() { return buffer_.data() + buffer_.size(); }

    std::array<char, 96> buffer_{};
    char* end_ = buffer_.data();
};

// Built on the stack: a refresh allocates nothing for its texts.
Text compose(std::string_view head, std::int64_t number, std::string_view tail) {
    Text text;
    text << head << number << tail;
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
    // Each label is looked up once per refresh, in the order the alignments are set.
    std::array<platform::Label*, kFigureLabels.size()> labels{};
    for (std::size_t i = 0; i < kFigureLabels.size(); ++i) {
        labels[i] = &frmmain.label(kFigureLabels[i].name, kFigureLabels[i].index);
        labels[i]->setAlignment(alignment);
    }

    const bool precise = state.preciseValues != 0;
    const Text totalCaption = precise ? compose("Total RAM = ", state.totalPhys, " Bytes")
                                      : compose("Total RAM = ", total.shown, state.totalUnit);
    const Text freeCaption = precise ? compose("Free RAM = ", state.availPhys, " Bytes")
                                     : compose("Free RAM = ", free.shown, state.freeUnit);
    labels[0]->setCaption(totalCaption.view());
    labels[1]->setCaption(totalCaption.view());
    labels[2]->setCaption(freeCaption.view());
    labels[3]->setCaption(freeCaption.view());

    const Text usageCaption = compose("Usage = ", state.memLoad, " %");
    labels[4]->setCaption(usageCaption.view());
    labels[5]->setCaption(usageCaption.view());

    meter::DrawPercent_Graph(state.totalPhys, static_cast<float>(state.availPhys),
                             frmmain.pictureBox("picGraph"))
        .raise();

    Text tip;
    tip << "Pelmora  ( "
        << "Free RAM = " << free.shown << state.freeUnit << " )";
    tray::Tray_SetTip(tip.view());
}

}  // namespace pelmora::readout

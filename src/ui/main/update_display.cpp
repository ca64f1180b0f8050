#include "ui/main/update_display.h"

#include <array>
#include <charconv>
#include <string_view>

#include "app/identity.h"
#include "meter/usage_meter.h"
#include "platform/layout.h"
#include "readout/mem_status.h"
#include "readout/size_format.h"
#include "tray/api_stuff.h"
#include "ui/main/main_layout.h"

namespace pelmora::ui {

namespace {

using namespace frmmain_names;
using readout::Get_MemStatus;
using readout::ScaledSize;
using readout::scaleSize;

struct LabelRef {
    platform::ControlName name;
    std::int16_t index;
};

constexpr std::array<LabelRef, 6> kFigureLabels{{
    {lblTotalRam, 0},
    {lblTotalRam, 1},
    {lblFreeRam, 0},
    {lblFreeRam, 1},
    {lblRamUsage, 0},
    {lblRamUsage, 1},
}};

// Room for the longest caption or tip: a head, a 64-bit number and a tail. It keeps a
// length, not a pointer into itself, so a copy is as good as the original.
class Text {
  public:
    Text& operator<<(std::string_view part) {
        length_ += part.copy(buffer_.data() + length_, buffer_.size() - length_);
        return *this;
    }
    Text& operator<<(std::int64_t number) {
        char* const end = buffer_.data() + buffer_.size();
        length_ = static_cast<std::size_t>(
            std::to_chars(buffer_.data() + length_, end, number).ptr - buffer_.data());
        return *this;
    }
    std::string_view view() const { return {buffer_.data(), length_}; }

  private:
    std::array<char, 96> buffer_{};
    std::size_t length_ = 0;
};

// Built on the stack: a refresh allocates nothing for its texts.
Text compose(std::string_view head, std::int64_t number, std::string_view tail) {
    Text text;
    text << head << number << tail;
    return text;
}

// The six labels and the meter.
void showFigures(platform::Form& frmmain, const MainState& state, const ScaledSize& total,
                 const ScaledSize& free) {
    const platform::Alignment alignment = state.totalPhys > kAlignmentThreshold
                                              ? platform::Alignment::Left
                                              : platform::Alignment::Center;
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
                             frmmain.pictureBox(picGraph))
        .raise();
}

}  // namespace

void Update_Display(platform::Form& frmmain, MainState& state, platform::OsCalls& os) {
    Get_MemStatus(os, state.memLoad, state.totalPhys, state.availPhys);

    const ScaledSize total = scaleSize(state.totalPhys);
    state.totalUnit = total.unit;
    const ScaledSize free = scaleSize(state.availPhys);
    state.freeUnit = free.unit;

    // At 33 refreshes a second the figures are mostly those already shown: the labels and
    // the meter are then left alone, which is most of a refresh's work.
    const ShownFigures figures{state.memLoad, state.totalPhys, state.availPhys,
                               state.preciseValues != 0};
    if (state.shown == figures) {
        frmmain.pictureBox(picGraph).refresh();
    } else {
        state.shown.reset();
        showFigures(frmmain, state, total, free);
        state.shown = figures;
    }

    Text tip;
    tip << app::identity::kTitle << "  ( "
        << "Free RAM = " << free.shown << state.freeUnit << " )";
    tray::Tray_SetTip(tip.view());
}

}  // namespace pelmora::ui

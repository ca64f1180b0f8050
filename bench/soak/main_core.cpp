// The soak of the portable program alone: the system and the runtime core on the recording
// layer, kept from growing with what it records, whose memory figures change every so often.
// What grows here grows on every platform. It also checks the soak's own driving (menus, the
// About box, timers) against the real core.
//
//     pelmora_soak_core [--ticks N] [--about N] [--popups N] ...
#include <cstdint>
#include <iostream>
#include <string>

#include "app/main.h"
#include "process_gauges.h"
#include "soak.h"
#include "support/rig.h"

namespace {

using namespace pelmora;

// Free memory switches between three and five eighths of 8 GiB every 97 refreshes, so that
// refreshes both repeat what is shown and redraw it.
void setFigures(recording::MemoryFigures& memory, std::int64_t refreshes) {
    memory.totalPhys = std::uint64_t{8} << 30;
    memory.availPhys = (refreshes / 97 % 2 == 0 ? 3 : 5) * (memory.totalPhys / 8);
    memory.load = static_cast<std::uint32_t>(100 - memory.availPhys * 100 / memory.totalPhys);
}

class RecordingHost final : public bench::Host {
  public:
    explicit RecordingHost(testing::Rig& rig) : rig_(rig) { setFigures(rig_.os.memory, 0); }
    std::string description() override {
        return "the system and the runtime core on the recording layer";
    }
    bench::Gauges gauges() override {
        bench::Gauges g = bench::processGauges();
        g.uiObjects = static_cast<std::int64_t>(rig_.platform.windows().size());
        return g;
    }
    void drain() override {
        rig_.platform.runPosted();
        setFigures(rig_.os.memory, ++drains_);
    }
    std::string gfxLabel() override { return "-"; }
    std::string uiLabel() override { return "windows"; }

  private:
    testing::Rig& rig_;
    std::int64_t drains_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    bench::SoakOptions options;
    if (!bench::parseOptions(argc, argv, options, std::cerr)) {
        return 2;
    }
    bench::ProbePlatform* probe = nullptr;
    testing::Rig rig(testing::builtIdentity(), bench::interposeProbe(probe, nullptr));
    rig.journal().keepEntries(false);
    RecordingHost host(rig);
    return bench::soakStarted(rig.start(app::Main), probe, host, options);
}

// The soak: drives the real program (its system, the runtime core and a backend) through a
// million refreshes, then through About box and popup menu cycles, all at full speed, and
// compares the process's memory, heap, descriptors and window-system objects at the start
// and the end of each phase.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "probe.h"

namespace pelmora::bench {

// The process at one moment; -1 where the platform cannot tell.
struct Gauges {
    std::int64_t rssBytes = -1;
    std::int64_t heapBytes = -1;   // allocated and not freed
    std::int64_t handles = -1;     // open descriptors, or kernel handles
    std::int64_t gfxObjects = -1;  // X resources, or GDI objects
    std::int64_t uiObjects = -1;   // widgets and windows, or USER objects
};

// What the soak needs from the platform it runs on.
class Host {
  public:
    virtual ~Host() = default;
    virtual std::string description() = 0;
    virtual Gauges gauges() = 0;
    // Dispatches everything the event loop has pending (paints, posted work), then returns.
    virtual void drain() = 0;
    // Labels of the two object counts in the report.
    virtual std::string gfxLabel() = 0;
    virtual std::string uiLabel() = 0;
};

struct SoakOptions {
    std::int64_t ticks = 1'000'000;
    std::int64_t tickWarmup = 2'000;
    double tickSeconds = 0;  // 0: no limit; else the tick phase ends after this long
    std::int64_t aboutCycles = 2'000;
    std::int64_t popupCycles = 2'000;
    std::int64_t cycleWarmup = 50;
    // Allowed growth from the start (after warm-up) to the end of a phase.
    double heapBytesPerCycle = 100;
    double heapBytesPerTick = 0.001;
    std::int64_t rssSlackBytes = 512 * 1024;
    std::string mainForm = "frmmain";
    std::string aboutForm = "frmAbout";
    std::string aboutCaption = "About";
};

struct PhaseResult {
    std::string name;
    std::int64_t done = 0;
    double seconds = 0;
    Gauges start;
    Gauges end;
    double heapPerOp = 0;
    std::vector<std::string> over;  // the gauges that grew past their allowance
    std::string failure;            // the phase could not run to its end
};

class Soak {
  public:
    Soak(ProbePlatform& probe, Host& host, SoakOptions options);

    PhaseResult ticks();
    PhaseResult aboutCycles();
    PhaseResult popupCycles();

  private:
    ProbeWindow& mainWindow();
    void tickMain();
    bool aboutCycle();
    bool popupCycle();
    PhaseResult cycles(const char* name, std::int64_t count, bool (Soak::*cycle)());
    void judge(PhaseResult& result, double heapAllowancePerOp) const;

    ProbePlatform& probe_;
    Host& host_;
    SoakOptions options_;
};

// Prints the results as a table with their allowances; true when every phase ran to its
// end and nothing grew past its allowance.
bool report(std::ostream& out, Host& host, const SoakOptions& options,
            const std::vector<PhaseResult>& results, const ProbePlatform& probe);

// The soak of a program its driver started: every phase, then the report. The exit status:
// 0 when flat, 1 when something grew, 2 when the program did not start.
int soakStarted(bool started, ProbePlatform* probe, Host& host, const SoakOptions& options);

// Reads --ticks N, --tick-seconds S, --about N, --popups N, --tick-warmup N,
// --cycle-warmup N; false (with a message) on anything else.
bool parseOptions(int argc, char** argv, SoakOptions& options, std::ostream& err);

}  // namespace pelmora::bench

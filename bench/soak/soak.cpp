#include "soak.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace pelmora::bench {

namespace {

using Clock = std::chrono::steady_clock;

// A right press on the main window's own background opens its menu.
constexpr core::PixelPoint kPressAt{10, 10};
// The About box slides its panel in on a timer; it stops well within this many ticks.
constexpr int kMostAnimationTicks = 500;
// Growth the refresh phase may show in all: caches that fill as new digits are drawn.
constexpr double kTickHeapAllowanceBytes = 8 * 1024;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

Soak::Soak(ProbePlatform& probe, Host& host, SoakOptions options)
    : probe_(probe), host_(host), options_(std::move(options)) {}

ProbeWindow& Soak::mainWindow() {
    ProbeWindow* window = probe_.window(options_.mainForm);
    if (window == nullptr) {
        throw std::runtime_error("the main window is not open");
    }
    return *window;
}

void Soak::tickMain() {
    ProbeWindow& window = mainWindow();
    if (window.runningTimers().empty()) {
        throw std::runtime_error("the main window runs no timer");
    }
    window.input().timerTicked(window.runningTimers().front());
    host_.drain();
}

PhaseResult Soak::ticks() {
    PhaseResult result;
    result.name = "refreshes";
    try {
        for (std::int64_t i = 0; i < options_.tickWarmup; ++i) {
            tickMain();
        }
        result.start = host_.gauges();
        const Clock::time_point start = Clock::now();
        while (result.done < options_.ticks) {
            tickMain();
            ++result.done;
            if (options_.tickSeconds > 0 && result.done % 1000 == 0 &&
                secondsSince(start) >= options_.tickSeconds) {
                break;
            }
        }
        result.seconds = secondsSince(start);
        result.end = host_.gauges();
    } catch (const std::exception& error) {
        result.failure = error.what();
        return result;
    }
    judge(result, -1);
    return result;
}

bool Soak::aboutCycle() {
    bool closed = false;
    probe_.popupMode = PopupMode::Choose;
    probe_.chooseCaption = options_.aboutCaption;
    probe_.onModalLoop = [this, &closed](ProbeWindow& about) {
        // Let it play its opening slide as a person would see it, then press OK.
        for (int i = 0; i < kMostAnimationTicks && !about.runningTimers().empty(); ++i) {
            about.input().timerTicked(about.runningTimers().front());
            host_.drain();
            ++probe_.animationTicks;
        }
        if (const auto button = about.dialogButton()) {
            about.input().buttonClicked(*button);
        } else {
            about.input().closeRequested();
        }
        closed = true;
    };
    mainWindow().input().mousePressed(std::nullopt, platform::MouseButton::Right, {}, kPressAt);
    probe_.onModalLoop = nullptr;
    probe_.popupMode = PopupMode::Native;
    host_.drain();
    return closed && probe_.window(options_.aboutForm) == nullptr;
}

bool Soak::popupCycle() {
    const std::size_t before = probe_.popupsShown;
    probe_.popupMode = PopupMode::Dismiss;
    mainWindow().input().mousePressed(std::nullopt, platform::MouseButton::Right, {}, kPressAt);
    probe_.popupMode = PopupMode::Native;
    host_.drain();
    return probe_.popupsShown == before + 1;
}

PhaseResult Soak::cycles(const char* name, std::int64_t count, bool (Soak::*cycle)()) {
    PhaseResult result;
    result.name = name;
    try {
        for (std::int64_t i = 0; i < options_.cycleWarmup; ++i) {
            if (!(this->*cycle)()) {
                throw std::runtime_error("a warm-up cycle did not complete");
            }
        }
        result.start = host_.gauges();
        const Clock::time_point start = Clock::now();
        while (result.done < count) {
            if (!(this->*cycle)()) {
                throw std::runtime_error("cycle " + std::to_string(result.done + 1) +
                                         " did not complete");
            }
            ++result.done;
        }
        result.seconds = secondsSince(start);
        result.end = host_.gauges();
    } catch (const std::exception& error) {
        result.failure = error.what();
        return result;
    }
    judge(result, options_.heapBytesPerCycle);
    return result;
}

PhaseResult Soak::aboutCycles() {
    return cycles("About cycles", options_.aboutCycles, &Soak::aboutCycle);
}

PhaseResult Soak::popupCycles() {
    return cycles("popup cycles", options_.popupCycles, &Soak::popupCycle);
}

void Soak::judge(PhaseResult& result, double heapAllowancePerOp) const {
    const Gauges& a = result.start;
    const Gauges& b = result.end;
    const auto grew = [](std::int64_t from, std::int64_t to, std::int64_t allowance) {
        return from >= 0 && to >= 0 && to - from > allowance;
    };
    if (a.heapBytes >= 0 && b.heapBytes >= 0 && result.done > 0) {
        result.heapPerOp =
            static_cast<double>(b.heapBytes - a.heapBytes) / static_cast<double>(result.done);
        const double allowance = heapAllowancePerOp >= 0
                                     ? heapAllowancePerOp * static_cast<double>(result.done)
                                     : kTickHeapAllowanceBytes;
        if (static_cast<double>(b.heapBytes - a.heapBytes) > allowance) {
            result.over.emplace_back("heap");
        }
    }
    if (grew(a.rssBytes, b.rssBytes, options_.rssSlackBytes)) {
        result.over.emplace_back("RSS");
    }
    if (grew(a.handles, b.handles, 0)) {
        result.over.emplace_back("descriptors");
    }
    if (grew(a.gfxObjects, b.gfxObjects, 0)) {
        result.over.emplace_back("graphics objects");
    }
    if (grew(a.uiObjects, b.uiObjects, 0)) {
        result.over.emplace_back("window objects");
    }
}

// ---------------------------------------------------------------------------------------------

namespace {

std::string change(std::int64_t from, std::int64_t to, std::int64_t unit = 1) {
    if (from < 0 || to < 0) {
        return "-";
    }
    std::ostringstream out;
    out << from / unit << " -> " << to / unit;
    return out.str();
}

}  // namespace

int soakStarted(bool started, ProbePlatform* probe, Host& host, const SoakOptions& options) {
    if (!started || probe == nullptr || probe->window(options.mainForm) == nullptr) {
        std::cerr << "soak: the program did not start\n";
        return 2;
    }
    host.drain();
    Soak soak(*probe, host, options);
    std::vector<PhaseResult> results;
    results.push_back(soak.ticks());
    results.push_back(soak.aboutCycles());
    results.push_back(soak.popupCycles());
    const bool flat = report(std::cout, host, options, results, *probe);
    std::cout.flush();
    return flat ? 0 : 1;
}

bool report(std::ostream& out, Host& host, const SoakOptions& options,
            const std::vector<PhaseResult>& results, const ProbePlatform& probe) {
    out << "soak: " << host.description() << "\n";
    out << std::left << "  " << std::setw(14) << "phase" << std::right << std::setw(9) << "done"
        << std::setw(10) << "time" << std::setw(13) << "per op" << std::setw(20) << "RSS KiB"
        << std::setw(24) << "heap bytes" << std::setw(12) << "heap/op" << std::setw(12) << "handles"
        << std::setw(15) << host.gfxLabel() << std::setw(15) << host.uiLabel() << "\n";
    bool ok = true;
    for (const PhaseResult& r : results) {
        std::ostringstream time;
        std::ostringstream perOp;
        std::ostringstream heapPerOp;
        time << std::fixed << std::setprecision(1) << r.seconds << " s";
        perOp << std::fixed << std::setprecision(1)
              << (r.done > 0 ? 1e6 * r.seconds / static_cast<double>(r.done) : 0.0) << " us";
        heapPerOp << std::showpos << std::fixed << std::setprecision(3) << r.heapPerOp;
        out << std::left << "  " << std::setw(14) << r.name << std::right << std::setw(9) << r.done
            << std::setw(10) << time.str() << std::setw(13) << perOp.str() << std::setw(20)
            << change(r.start.rssBytes, r.end.rssBytes, 1024) << std::setw(24)
            << change(r.start.heapBytes, r.end.heapBytes) << std::setw(12) << heapPerOp.str()
            << std::setw(12) << change(r.start.handles, r.end.handles) << std::setw(15)
            << change(r.start.gfxObjects, r.end.gfxObjects) << std::setw(15)
            << change(r.start.uiObjects, r.end.uiObjects) << "\n";
    }
    out << "  allowances after warm-up (" << options.tickWarmup << " refreshes, "
        << options.cycleWarmup << " cycles): heap +" << kTickHeapAllowanceBytes / 1024
        << " KiB over the refreshes, +" << options.heapBytesPerCycle << " bytes a cycle; RSS +"
        << options.rssSlackBytes / 1024 << " KiB; handles and objects: no growth\n";
    for (const PhaseResult& r : results) {
        if (!r.failure.empty()) {
            out << "  " << r.name << ": DID NOT COMPLETE: " << r.failure << "\n";
            ok = false;
        } else if (!r.over.empty()) {
            out << "  " << r.name << ": GREW:";
            for (const std::string& what : r.over) {
                out << " " << what;
            }
            out << "\n";
            ok = false;
        } else {
            out << "  " << r.name << ": flat\n";
        }
    }
    out << "  driven: " << probe.popupsShown << " popup menus (" << probe.popupsChosen
        << " answered by the soak), " << probe.modalLoopsRun << " modal loops, "
        << probe.animationTicks << " About box timer ticks\n";
    if (!probe.reportLines.empty()) {
        out << "  the program reported (first " << probe.reportLines.size() << " lines):\n";
        for (const std::string& line : probe.reportLines) {
            out << "    " << line << "\n";
        }
    }
    return ok;
}

bool parseOptions(int argc, char** argv, SoakOptions& options, std::ostream& err) {
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (i + 1 >= argc) {
            err << "soak: " << name << " needs a value\n";
            return false;
        }
        const char* value = argv[++i];
        char* end = nullptr;
        const double number = std::strtod(value, &end);
        if (end == value || *end != '\0' || number < 0) {
            err << "soak: " << name << " takes a number, not '" << value << "'\n";
            return false;
        }
        const auto count = static_cast<std::int64_t>(number);
        if (std::strcmp(name, "--ticks") == 0) {
            options.ticks = count;
        } else if (std::strcmp(name, "--tick-seconds") == 0) {
            options.tickSeconds = number;
        } else if (std::strcmp(name, "--tick-warmup") == 0) {
            options.tickWarmup = count;
        } else if (std::strcmp(name, "--about") == 0) {
            options.aboutCycles = count;
        } else if (std::strcmp(name, "--popups") == 0) {
            options.popupCycles = count;
        } else if (std::strcmp(name, "--cycle-warmup") == 0) {
            options.cycleWarmup = count;
        } else {
            err << "usage: soak [--ticks N] [--tick-seconds S] [--tick-warmup N] [--about N]"
                   " [--popups N] [--cycle-warmup N]\n";
            return false;
        }
    }
    return true;
}

}  // namespace pelmora::bench

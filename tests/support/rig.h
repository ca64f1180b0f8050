// The recording layer's assembly: the production runtime core over the recording native
// layer and the recording OS calls, with a clock the test moves: one program under test, for
// the unit tests and the soak alike.
#pragma once

#include <chrono>
#include <string_view>

#include "app/identity.h"
#include "platform/core/assembly.h"
#include "platform/core/runtime.h"
#include "support/recording_os.h"
#include "support/recording_platform.h"

namespace pelmora::testing {

// The error reporter's clock: it stands still unless the test moves it.
struct TestClock {
    std::chrono::steady_clock::time_point now{};
    void advance(std::chrono::seconds by) { now += by; }
    core::ErrorReporter::Clock function() {
        return [this] { return now; };
    }
};

// What the program says of itself, as the build states it.
inline core::Identity builtIdentity() {
    return core::Identity{std::string(app::identity::kTitle), app::identity::kMajor,
                          app::identity::kMinor, app::identity::kRevision};
}

// Members go in reverse: the runtime's forms and windows first, the platform last.
struct Rig {
    explicit Rig(core::Identity identity = builtIdentity(), const core::Interposer& between = {})
        : driven(platform, between), runtime(driven.get(), std::move(identity), clock.function()) {}

    // Runs the entry point as every backend does; true when the program runs on with a window.
    bool start(core::EntryPoint main) {
        return core::startProgram(runtime, os, main) && !platform.windows().empty();
    }

    // A loaded form by name; a missing one is the test's own mistake.
    platform::Form& form(std::string_view name) {
        platform::Form* found = runtime.findForm(name);
        if (found == nullptr) {
            throw std::logic_error("form not loaded: " + std::string(name));
        }
        return *found;
    }
    const std::vector<recording::Report>& reports() const { return platform.reports(); }
    recording::Journal& journal() { return platform.journal; }

    TestClock clock;
    recording::RecordingPlatform platform;
    recording::RecordingOs os{platform};
    core::DrivenPlatform driven;
    core::Runtime runtime;
};

}  // namespace pelmora::testing

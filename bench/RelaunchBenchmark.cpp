// The cost of a launch of the system and its quit, as the program runs them: the image of the
// system's code loaded afresh, the interface file read, the launch sequence, the termination
// and the unloading. Time per cycle, and whether memory (resident set, live objects of the
// model) stays flat over 1,000 cycles in one run.
//
//   build/bench/relaunch_benchmark
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <fstream>
#include <string>

#include "sim/Clock.h"
#include "sim/Desktop.h"
#include "sim/SystemProcess.h"

namespace {

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void launchAndQuit(benchmark::State& state) {
    std::string error;
    if (!sim::launchSystem(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    sim::settle();
    sim::terminateSystem();
}

void BM_LaunchQuitCycle(benchmark::State& state) {
    sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    sim::setSystemImagePath(std::string(QUENFOLD_BUNDLE_PATH) +
                            "/Contents/MacOS/QuenfoldSystem.so");
    sim::reset();
    sim::ApplicationSpec safari;
    safari.name = "Safari";
    sim::desktop().addApplication(safari);
    // The first cycle reads what the session keeps of the home folder.
    launchAndQuit(state);
    const long objectsBefore = NSObjectLiveCount();
    const long residentBefore = residentKiB();
    long residentAfterTenth = 0;
    long cycles = 0;
    for (auto _ : state) {
        launchAndQuit(state);
        if (++cycles == state.max_iterations / 10) {
            residentAfterTenth = residentKiB();
        }
    }
    state.counters["liveObjectsGrowth"] = static_cast<double>(NSObjectLiveCount() - objectsBefore);
    state.counters["residentKiBGrowth"] = static_cast<double>(residentKiB() - residentBefore);
    state.counters["residentKiBGrowthLast90pct"] =
        static_cast<double>(residentKiB() - residentAfterTenth);
    sim::reset();
    sim::setSystemImagePath("");
}
BENCHMARK(BM_LaunchQuitCycle)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

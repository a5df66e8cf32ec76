// The session as a whole: its clock, its world turn and its reset.
#include <algorithm>
#include <functional>
#include <vector>

#include "CoreFoundation/CFRunLoopInternal.h"
#include "sim/Accessibility.h"
#include "sim/Clock.h"
#include "sim/Desktop.h"
#include "sim/EventSystem.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"
#include "sim/Transcript.h"

namespace sim {
namespace {

double gNow = 0;

std::vector<std::function<void()>>& resetHooks() {
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

}  // namespace

double clockNow() {
    return gNow;
}

void advanceClockTo(double seconds) {
    gNow = std::max(gNow, seconds);
}

void resetClock() {
    gNow = 0;
}

void worldTurn() {
    desktop().applyPendingHides();
}

void reset() {
    _CFRunLoopReset(CFRunLoopGetMain());
    eventSystem().reset();
    clearFaults();
    resetCallCounts();
    resetClock();
    resetAccessibility();
    clearVirtualDirectories();
    setTranscriptListener(nullptr);
    desktop().reset(mainBundlePath());
    for (const auto& hook : resetHooks()) {
        hook();
    }
    clearTranscript();
}

void addResetHook(std::function<void()> hook) {
    resetHooks().push_back(std::move(hook));
}

}  // namespace sim
